// The command line of quillet-sql, parsed with CLI11. The help text is also the manual
// page's source (help2man reads --help and --version at build time).
#include "quillet-sql-options.h"
#include "quillet-sql-session.h"

#include <CLI/CLI.hpp>

#ifndef QUILLET_SQL_VERSION
#error "QUILLET_SQL_VERSION is set by the build"
#endif

namespace quilletsql {

namespace {

constexpr const char* kDescription =
    "quillet-sql: an SQL shell over Quillet. It checks a connection string, shows which\n"
    "product Quillet recognises in it, and runs statements written in Quillet's generic\n"
    "dialect ([name], #2026-12-08 06:00:00#, select top n ...) after translating them for\n"
    "that product. Without -c or -f it reads standard input; on a terminal, with line\n"
    "editing and history.";

constexpr const char* kFooterAfterCommands =
    "\n"
    "Examples:\n"
    "  quillet-sql \"Provider=SQLite;Data Source=plant.db\" -c \"select top 2 * from [t]\"\n"
    "  quillet-sql \"Driver=MySQL;Server=127.0.0.1;Port=3306;Database=burden;Uid=model;Pwd=...\"\n"
    "  quillet-sql --dsn burden_pg --csv -f report.sql\n"
    "\n"
    "Files:\n"
    "  ~/.quillet_sql_history  the lines typed on a terminal, passwords masked\n"
    "\n"
    "Environment:\n"
    "  ODBCSYSINI, ODBCINI  where unixODBC finds its drivers and data sources\n"
    "\n"
    "Exit status:\n"
    "  0 done; 1 the connection or a statement failed (with -c, -f or piped input the first\n"
    "  failure ends the run; the cause is printed); 2 a bad argument.";

}  // namespace

std::string DataSourceConnection(const std::string& name) {
    if (name.empty() || name.find_first_of(";={}") != std::string::npos) return "";
    return "Provider=MSDASQL.1;Data Source=" + name;
}

int ParseCommandLine(int argc, char** argv, Options& options) {
    CLI::App app(kDescription, "quillet-sql");
    app.footer(std::string("Commands (a line that starts with a backslash):\n") + kShellCommands +
               kFooterAfterCommands);
    app.get_formatter()->column_width(28);
    app.set_version_flag("--version", std::string("quillet-sql ") + QUILLET_SQL_VERSION, "print the version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");

    std::string dsn;
    bool csv = false, json = false;
    CLI::Option* connection =
        app.add_option("connection", options.connection, "the connection string (\"Provider=PostgreSQL;Data Source=...\")")
            ->type_name("STRING");
    CLI::Option* dsnOption =
        app.add_option("--dsn", dsn, "connect to the ODBC data source NAME")->type_name("NAME")->excludes(connection);
    dsnOption->check(CLI::Validator(
        [](std::string& name) {
            return DataSourceConnection(name).empty() ? "'" + name + "' is not a data source name" : std::string();
        },
        "", "dsn"));
    app.add_flag("--prompt", options.prompt, "edit the connection string in the data-link prompt first");
    CLI::Option* command = app.add_option("-c,--command", options.command, "run SQL (statements separated by ;) and end")
                               ->type_name("SQL");
    app.add_option("-f,--file", options.file, "run the statements of FILE and end")
        ->type_name("FILE")
        ->excludes(command);
    CLI::Option* csvOption = app.add_flag("--csv", csv, "results as CSV (the row count goes to stderr)");
    app.add_flag("--json", json, "results as JSON arrays (the row count goes to stderr)")->excludes(csvOption);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("quillet-sql: ") + error.what() + "\nRun 'quillet-sql --help' for the options.\n";
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);  // help and version on stdout, errors on stderr
        return status == 0 ? 0 : 2;
    }
    if (!dsn.empty()) options.connection = DataSourceConnection(dsn);
    if (options.connection.empty() && !options.prompt) {
        std::fprintf(stderr,
                     "quillet-sql: no connection string: give one, --dsn NAME or --prompt\n"
                     "Run 'quillet-sql --help' for the options.\n");
        return 2;
    }
    options.format = csv ? OutputFormat::Csv : json ? OutputFormat::Json : OutputFormat::Table;
    return -1;
}

}  // namespace quilletsql
