// quillet-sql: feeding a session from a terminal or a script.
#include "quillet-sql-run.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <editline/readline.h>

#include <dbplatform/base/Diagnostics.h>

#include "quillet-sql-input.h"

namespace quilletsql {

int RunScript(Session& session, std::istream& input) {
    StatementSplitter splitter;
    std::string line;
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a script written on Windows
        for (const std::string& piece : splitter.Feed(line)) {
            Outcome outcome = session.Run(piece);
            if (outcome == Outcome::Failed) return 1;
            if (outcome == Outcome::Quit) return 0;
        }
    }
    std::string last = splitter.Finish();
    if (!last.empty() && session.Run(last) == Outcome::Failed) return 1;
    return 0;
}

int RunCommandText(Session& session, const std::string& text) {
    std::istringstream input(text);
    return RunScript(session, input);
}

int RunInteractive(Session& session, const std::string& historyFile) {
    if (!historyFile.empty()) read_history(historyFile.c_str());
    std::printf("quillet-sql: statements end with ';', \\? lists the commands, \\q quits.\n");
    StatementSplitter splitter;
    bool quit = false;
    while (!quit) {
        std::fflush(stdout);
        char* line = readline(splitter.Pending() ? "     ...> " : "quillet> ");
        if (line == nullptr) break;  // end of input (Ctrl-D)
        std::string text = line;
        std::free(line);
        // The history file outlives the session: a password typed in "\open ...;Password=x" stays out of it.
        if (text.find_first_not_of(" \t") != std::string::npos) add_history(dbplatform::MaskPasswords(text).c_str());
        for (const std::string& piece : splitter.Feed(text)) {
            std::fflush(stdout);
            if (session.Run(piece) == Outcome::Quit) {
                quit = true;
                break;
            }
        }
    }
    if (!quit) std::printf("\n");
    if (!historyFile.empty()) write_history(historyFile.c_str());
    return 0;
}

}  // namespace quilletsql
