// quillet-sql: the loops that feed a session, from a terminal or from a script.
#pragma once

#include <istream>
#include <string>

#include "quillet-sql-session.h"

namespace quilletsql {

// Runs every statement and command of `input` in order; stops at the first failure or
// at \q. Returns the exit status: 0, or 1 after a failure.
int RunScript(Session& session, std::istream& input);

// Runs the statements of one -c text (several may be separated by semicolons), as RunScript.
int RunCommandText(Session& session, const std::string& text);

// The interactive loop on the terminal: line editing and history (libedit), kept in
// `historyFile` when it is not empty. A failure is shown and the loop goes on; it ends at
// \q or at the end of input. Returns 0.
int RunInteractive(Session& session, const std::string& historyFile);

}  // namespace quilletsql
