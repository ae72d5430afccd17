// quillet-sql: one connection and what the user asks of it, statement by statement.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <dbplatform/base/Diagnostics.h>
#include <quillet/Quillet.h>

#include "quillet-sql-format.h"

namespace quilletsql {

// The shell's backslash commands, a line each, as --help and \help list them.
extern const char* const kShellCommands;

enum class Outcome { Done, Failed, Quit };

// Runs statements of the generic dialect (through TranslateSql) and backslash commands on
// one IQuillet object, writing results to `out` and failures with their cause to `err`.
// While it lives it takes the process's diagnostics channel, to show what failed behind
// Quillet's short error texts; the destructor gives the channel back.
class Session {
public:
    Session(IQuillet& database, OutputFormat format, std::ostream& out, std::ostream& err);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the connection with the object's connection string; false (reported) on failure.
    bool Open();
    // One statement (without its semicolon) or one backslash command.
    Outcome Run(const std::string& input);

private:
    Outcome RunStatement(const std::string& sql);
    Outcome RunCommand(const std::string& command);
    Outcome ShowRecordset(double started);
    Outcome ShowList(const char* column, CStringList& names);
    // Writes "error: <what>" and, beneath it, every cause the channel received since the last Clear.
    Outcome Fail(const std::string& what);
    void ClearCauses();

    IQuillet& database_;
    OutputFormat format_;
    std::ostream& out_;
    std::ostream& err_;
    // The summary line ("(2 rows, 1.2 ms)"): with the table, else on `err_` so that CSV
    // and JSON output stays pure data.
    std::ostream& summary_;
    std::mutex causesMutex_;
    std::vector<dbplatform::DiagnosticRecord> causes_;
    dbplatform::DiagnosticHandler previousHandler_;
};

// The name of a database kind as the shell shows it ("4 DB_MYSQL (MySQL, or any MSDASQL string)").
std::string KindText(int kind);

}  // namespace quilletsql
