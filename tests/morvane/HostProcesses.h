// Running several model hosts (morvane_result_insert_host) at once on one store, for
// the shared-store tests, and the bits of set-up those tests share.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace hosts {

// Hosts at once, and charges each of them stores (MORVANE_SHARED_CYCLES for a long run).
constexpr int kHosts = 4;

inline int Cycles() {
    const char* text = std::getenv("MORVANE_SHARED_CYCLES");
    int cycles = text ? std::atoi(text) : 0;
    return cycles > 0 ? cycles : 50;
}

// `text` as one word for the shell.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The key=value pairs of the ODBC connection string in environment variable `name`,
// keys in lower case; empty when the variable is not set.
inline std::map<std::string, std::string> ConnectionKeys(const char* name) {
    std::map<std::string, std::string> keys;
    const char* text = std::getenv(name);
    std::stringstream stream(text ? text : "");
    std::string pair;
    while (std::getline(stream, pair, ';')) {
        auto equals = pair.find('=');
        if (equals == std::string::npos) continue;
        std::string key = pair.substr(0, equals);
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        keys[key] = pair.substr(equals + 1);
    }
    return keys;
}

// Starts kHosts hosts on data source `dsn`, each storing `cycles` charges, with the
// environment `extra` added (name, value pairs), and waits for all of them. Every host
// must end with status 0: each of its calls returned 1 and nothing was shown.
inline void RunHosts(const std::string& dsn, int cycles, const std::string& user,
                     const std::vector<std::pair<std::string, std::string>>& extra) {
    std::vector<pid_t> pids;
    for (int host = 1; host <= kHosts; ++host) {
        std::string number = std::to_string(host), count = std::to_string(cycles);
        pid_t pid = fork();
        if (pid == 0) {
            for (const auto& [name, value] : extra) setenv(name.c_str(), value.c_str(), 1);
            execl(RESULT_INSERT_HOST, RESULT_INSERT_HOST, dsn.c_str(), number.c_str(), count.c_str(),
                  user.empty() ? static_cast<char*>(nullptr) : user.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(pid, 0) << "fork failed";
        pids.push_back(pid);
    }
    for (std::size_t i = 0; i < pids.size(); ++i) {
        int wstatus = 0;
        ASSERT_EQ(waitpid(pids[i], &wstatus, 0), pids[i]);
        EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0)
            << "host " << i + 1 << " ended with wait status " << wstatus;
    }
}

}  // namespace hosts
