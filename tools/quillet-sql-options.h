// quillet-sql: its command line.
#pragma once

#include <string>

#include "quillet-sql-format.h"

namespace quilletsql {

struct Options {
    std::string connection;  // the connection string, built from --dsn when that was given
    bool prompt = false;     // edit it in the terminal data-link prompt first
    std::string command;     // -c: run these statements and end
    std::string file;        // -f: run this script and end
    OutputFormat format = OutputFormat::Table;
};

// Parses the command line into `options`. Returns -1 when the shell is to run; otherwise
// the exit status (0 after --help or --version on standard output, 2 after a usage error
// that names the argument on standard error).
int ParseCommandLine(int argc, char** argv, Options& options);

// The connection string for the ODBC data source `name`, or empty when the name cannot be
// one (empty, or holding a character that would end or rewrite the string: ; = { }).
std::string DataSourceConnection(const std::string& name);

}  // namespace quilletsql
