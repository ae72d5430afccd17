// Where the password for a data source comes from. Never from the command line, where
// every user of the machine reads it with ps: from MORVANE_PASSWORD, from the data
// source's own entry, or typed at a terminal without echo.
// unixODBC's headers declare the Windows type names the platform also defines, so this
// file stays apart from them.
#include "morvane-demo-password.h"

#include <odbcinst.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace demo {

namespace {

// True when the data source's entry (user or system odbc.ini, as the driver manager
// reads them) names a password of its own.
bool DataSourceHasPassword(const std::string& dsn) {
    for (const char* key : {"Password", "PWD"}) {
        char value[256] = {};
        if (SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "odbc.ini") > 0 && value[0] != '\0')
            return true;
    }
    return false;
}

// Reads one line from the terminal on standard input with echo off; "" at end of input.
std::string ReadHidden(const std::string& prompt) {
    std::fprintf(stderr, "%s", prompt.c_str());
    std::fflush(stderr);
    termios saved{};
    const bool canHide = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (canHide) {
        termios hidden = saved;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    if (!std::getline(std::cin, line)) line.clear();
    if (canHide) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputc('\n', stderr);
    return line;
}

}  // namespace

std::string PasswordFor(const std::string& dsn, const std::string& user) {
    if (const char* given = std::getenv("MORVANE_PASSWORD"); given != nullptr) return given;
    if (DataSourceHasPassword(dsn) || !isatty(STDIN_FILENO)) return "";
    return ReadHidden("Password for " + (user.empty() ? std::string() : user + " on ") + "the data source " + dsn + ": ");
}

}  // namespace demo
