// quillet-sql: running statements and backslash commands on one IQuillet object.
#include "quillet-sql-session.h"

#include <chrono>
#include <cstdio>

#include "quillet-sql-values.h"

namespace quilletsql {

namespace {

double Now() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Elapsed(double started) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", Now() - started);
    return text;
}

// Splits "\name rest" into the name (without backslash) and the rest, trimmed.
void SplitCommand(const std::string& command, std::string& name, std::string& rest) {
    std::size_t end = command.find_first_of(" \t", 1);
    name = command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    rest.clear();
    if (end == std::string::npos) return;
    std::size_t begin = command.find_first_not_of(" \t", end);
    if (begin == std::string::npos) return;
    std::size_t last = command.find_last_not_of(" \t");
    rest = command.substr(begin, last + 1 - begin);
}

const char* const kHelpIntro =
    "Statements in the generic dialect ([name], #2026-12-08 06:00:00#, select top n ...) end with ';'.\n";

}  // namespace

const char* const kShellCommands =
    "  \\kind             the product recognised in the connection string\n"
    "  \\translate SQL    what the generic dialect becomes for it, without running it\n"
    "  \\tables           the tables and views\n"
    "  \\columns TABLE    the columns of TABLE\n"
    "  \\open [STRING]    open the connection (with another connection string)\n"
    "  \\close            close it\n"
    "  \\conninfo         the connection string, passwords masked\n"
    "  \\q                quit\n";

std::string KindText(int kind) {
    switch (kind) {
    case DB_OTHER: return "0 DB_OTHER (no product recognised; the SQL is sent as written, with #dates# quoted)";
    case DB_ACCESS: return "1 DB_ACCESS (Access through Jet)";
    case DB_ORACLE: return "2 DB_ORACLE (Oracle)";
    case DB_EXCEL: return "3 DB_EXCEL (Excel workbook)";
    case DB_MYSQL: return "4 DB_MYSQL (MySQL, or any connection string that names MSDASQL)";
    case DB_POSTGRESQL: return "5 DB_POSTGRESQL (PostgreSQL)";
    default: return std::to_string(kind) + " (unknown kind)";
    }
}

Session::Session(IQuillet& database, OutputFormat format, std::ostream& out, std::ostream& err)
    : database_(database), format_(format), out_(out), err_(err), summary_(format == OutputFormat::Table ? out : err) {
    previousHandler_ = dbplatform::SetDiagnosticHandler([this](const dbplatform::DiagnosticRecord& record) {
        std::lock_guard<std::mutex> lock(causesMutex_);
        if (causes_.size() < 16) causes_.push_back(record);
    });
}

Session::~Session() { dbplatform::SetDiagnosticHandler(std::move(previousHandler_)); }

void Session::ClearCauses() {
    std::lock_guard<std::mutex> lock(causesMutex_);
    causes_.clear();
}

Outcome Session::Fail(const std::string& what) {
    err_ << "error: " << (what.empty() ? std::string("the operation failed without a message") : what) << '\n';
    std::lock_guard<std::mutex> lock(causesMutex_);
    for (const dbplatform::DiagnosticRecord& cause : causes_) {
        std::string line = cause.description.empty() ? cause.message : cause.description;
        if (line.empty() || what.find(line) != std::string::npos) continue;  // already shown
        err_ << "cause: " << line;
        if (!cause.source.empty() || !cause.operation.empty())
            err_ << " (" << cause.source << (cause.source.empty() || cause.operation.empty() ? "" : ".")
                 << cause.operation << ')';
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(cause.hr));
        err_ << " [" << code << "]\n";
    }
    causes_.clear();
    err_.flush();
    return Outcome::Failed;
}

bool Session::Open() {
    ClearCauses();
    if (!database_.OpenDatabase()) {
        Fail(std::string("cannot open the database: ") + database_.GetErrorText().GetString());
        return false;
    }
    summary_ << "connected, kind " << KindText(database_.GetDatabaseKind()) << '\n';
    return true;
}

Outcome Session::Run(const std::string& input) {
    if (!input.empty() && input[0] == '\\') return RunCommand(input);
    return RunStatement(input);
}

Outcome Session::RunStatement(const std::string& sql) {
    ClearCauses();
    const double started = Now();
    const CString translated = database_.TranslateSql(sql.c_str());
    if (!database_.ExecuteSql(translated, adCmdText)) {
        std::string what = database_.GetErrorText().GetString();
        return Fail(what + "\n  sent: " + translated.GetString());
    }
    if (!database_.IsRecordsetOpen()) {
        summary_ << "OK (" << Elapsed(started) << ")\n";
        return Outcome::Done;
    }
    return ShowRecordset(started);
}

// Reads the current recordset to its end. A failed read or move is a failure, never an early end.
Outcome Session::ShowRecordset(double started) {
    ResultTable result;
    const long fields = database_.GetFieldCount();
    if (fields < 0) return Fail(database_.GetErrorText().GetString());
    for (long i = 0; i < fields; ++i) result.columns.push_back(database_.GetFieldName(static_cast<int>(i)).GetString());
    while (!database_.IsEOF()) {
        std::vector<Cell>& row = result.rows.emplace_back();
        for (long i = 0; i < fields; ++i) {
            VARIANT value;
            VariantInit(&value);
            if (!database_.GetFieldValueAt(i, value)) {
                VariantClear(&value);
                database_.CloseRecordset();
                return Fail("reading field " + result.columns[static_cast<std::size_t>(i)] + " of row " +
                            std::to_string(result.rows.size()) + ": " + database_.GetErrorText().GetString());
            }
            row.push_back(CellFromVariant(value));
            VariantClear(&value);
        }
        if (!database_.MoveNext()) {
            database_.CloseRecordset();
            return Fail("reading row " + std::to_string(result.rows.size() + 1) + ": " +
                        database_.GetErrorText().GetString());
        }
    }
    database_.CloseRecordset();
    WriteResult(out_, result, format_);
    const std::size_t count = result.rows.size();
    summary_ << '(' << count << (count == 1 ? " row, " : " rows, ") << Elapsed(started) << ")\n";
    return Outcome::Done;
}

Outcome Session::ShowList(const char* column, CStringList& names) {
    ResultTable result;
    result.columns.push_back(column);
    for (POSITION position = names.GetHeadPosition(); position != nullptr;)
        result.rows.push_back({Cell{std::string(names.GetNext(position).GetString()), false}});
    WriteResult(out_, result, format_);
    summary_ << '(' << result.rows.size() << (result.rows.size() == 1 ? " row)\n" : " rows)\n");
    return Outcome::Done;
}

Outcome Session::RunCommand(const std::string& command) {
    ClearCauses();
    std::string name, argument;
    SplitCommand(command, name, argument);
    if (name == "q" || name == "quit") return Outcome::Quit;
    if (name == "?" || name == "help") {
        out_ << kHelpIntro << kShellCommands;
        return Outcome::Done;
    }
    if (name == "kind") {
        out_ << KindText(database_.GetDatabaseKind()) << '\n';
        return Outcome::Done;
    }
    if (name == "conninfo") {
        out_ << dbplatform::MaskPasswords(database_.GetConnectionString().GetString()) << '\n'
             << (database_.IsDatabaseOpen() ? "open" : "not open") << '\n';
        return Outcome::Done;
    }
    if (name == "translate") {
        if (argument.empty()) return Fail("\\translate needs the SQL to translate");
        out_ << database_.TranslateSql(argument.c_str()).GetString() << '\n';
        return Outcome::Done;
    }
    if (name == "tables") {
        CStringList names;
        if (!database_.GetTableNames(&names)) return Fail(database_.GetErrorText().GetString());
        return ShowList("table", names);
    }
    if (name == "columns") {
        if (argument.empty()) return Fail("\\columns needs a table name");
        CStringList names;
        if (!database_.GetColumnNames(argument.c_str(), &names)) return Fail(database_.GetErrorText().GetString());
        return ShowList("column", names);
    }
    if (name == "open") {
        if (!argument.empty()) database_.SetConnectionString(argument.c_str());
        return Open() ? Outcome::Done : Outcome::Failed;
    }
    if (name == "close") {
        if (!database_.CloseDatabase()) return Fail(database_.GetErrorText().GetString());
        out_ << "closed\n";
        return Outcome::Done;
    }
    return Fail("unknown command \\" + name + " (\\? lists the commands)");
}

}  // namespace quilletsql
