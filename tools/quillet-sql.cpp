// quillet-sql: an SQL shell over IQuillet, for checking connection strings and seeing what
// the generic dialect becomes for a product.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include <dbplatform/dbplatform.h>
#include <quillet/Quillet.h>

#include "quillet-sql-options.h"
#include "quillet-sql-run.h"
#include "quillet-sql-session.h"

namespace {

// The history file in the user's home folder, or none without a home.
std::string HistoryFile() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return "";
    return std::string(home) + "/.quillet_sql_history";
}

// Everything after the command line: returns the exit status.
int RunShell(IQuillet& database, const quilletsql::Options& options) {
    // An unreadable script is a bad argument, found before anything is connected.
    std::ifstream script;
    if (!options.file.empty()) {
        script.open(options.file);
        if (!script) {
            std::fprintf(stderr, "quillet-sql: cannot read %s: %s\n", options.file.c_str(), std::strerror(errno));
            return 2;
        }
    }
    CString connection = options.connection.c_str();
    if (options.prompt) {
        if (!database.EditConnectionString(connection)) {
            std::fprintf(stderr, "quillet-sql: the data-link prompt gave no connection string: %s\n",
                         database.GetErrorText().GetString());
            return 1;
        }
    }
    database.SetConnectionString(connection);

    const bool interactive = options.command.empty() && options.file.empty() && isatty(STDIN_FILENO);
    quilletsql::Session session(database, options.format, std::cout, std::cerr);
    if (!session.Open() && !interactive) return 1;
    if (!options.command.empty()) return quilletsql::RunCommandText(session, options.command);
    if (!options.file.empty()) return quilletsql::RunScript(session, script);
    if (interactive) return quilletsql::RunInteractive(session, HistoryFile());
    return quilletsql::RunScript(session, std::cin);
}

}  // namespace

int main(int argc, char** argv) {
    // ODBC drivers read their data sources through libodbcinst, and unixODBC unloads both
    // after the last connection; what the library keeps for the process would then lie in
    // memory that no loaded code owns. Kept mapped, it stays attributed to the library.
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
    quilletsql::Options options;
    const int status = quilletsql::ParseCommandLine(argc, argv, options);
    if (status >= 0) return status;

    CoInitialize(nullptr);
    IQuillet* database = CreateQuillet();
    if (database == nullptr) {
        std::fprintf(stderr, "quillet-sql: no memory for a Quillet object\n");
        return 1;
    }
    const int result = RunShell(*database, options);
    std::cout.flush();
    DeleteQuillet(database);
    CoUninitialize();
    return result;
}
