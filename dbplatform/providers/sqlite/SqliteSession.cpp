#include <dbplatform/providers/sqlite/SqliteSession.h>

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/SingleTableSelect.h>
#include <dbplatform/providers/common/SqlTokens.h>
#include <dbplatform/providers/common/TableListing.h>
#include <dbplatform/providers/sqlite/GenericDialect.h>
#include <dbplatform/providers/sqlite/SqliteErrors.h>
#include <dbplatform/providers/sqlite/SqliteResultSet.h>

namespace dbplatform::sqlite {
using provider::IsWord;
using provider::NextToken;
using provider::OnlyBlanksFrom;
using provider::Token;

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsTrue(const std::optional<std::string>& value) {
    return value && IsTrueText(Trim(*value));
}

// The length of a command text as sqlite3_prepare takes it. A text past INT_MAX bytes is
// refused: narrowed, it would prepare only a leading part of the command.
int SqlLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX))
        ThrowError(E_INVALIDARG, "The command text of " + std::to_string(size) + " bytes is too long.");
    return static_cast<int>(size);
}

// SQL function canonical_date_text(x): the canonical form of a date text, anything else
// unchanged. Write-back compares a date column's original value through it, so that a
// row stored as '2005-12-19T08:30' by another program is still found by the value this
// provider read from it.
void CanonicalDateTextFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT) {
        sqlite3_result_value(context, arguments[0]);
        return;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    int size = sqlite3_value_bytes(arguments[0]);
    std::string canonical;
    if (text && SUCCEEDED(CanonicalDateText(std::string_view(text, static_cast<std::size_t>(size)), &canonical))) {
        sqlite3_result_text64(context, canonical.data(), canonical.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else {
        sqlite3_result_value(context, arguments[0]);
    }
}

// A file that does not exist, or exists empty, holds no database yet: nobody has chosen
// its journal mode.
bool HoldsNoDatabase(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return !error;
    return std::filesystem::is_regular_file(path, error) && std::filesystem::file_size(path, error) == 0 && !error;
}

// Puts a database this provider creates into write-ahead logging, where readers never
// block writers: a recordset read part way holds only a snapshot, so another process
// can write and commit at once. The mode is kept in the file, for every later opener.
void UseWriteAheadLog(sqlite3* db, const std::string& path) {
    sqlite3_stmt* pragma = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &pragma, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(pragma);
    std::string mode;
    if (rc == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(pragma, 0);
        mode = text ? reinterpret_cast<const char*>(text) : "";
    }
    std::string message = rc == SQLITE_ROW ? std::string() : sqlite3_errmsg(db);
    sqlite3_finalize(pragma);
    if (!EqualNoCase(mode, "wal")) {
        ThrowFailure(FailureKind::Unavailable,
                     "Cannot put the new SQLite database file \"" + path + "\" into WAL journal mode: " +
                         (message.empty() ? "SQLite kept the mode \"" + mode + "\"" : message));
    }
}

}  // namespace

void StatementCloser::operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }

// A missing file is refused before SQLite is asked, with a message naming it: SQLite
// itself would only say "unable to open database file". The busy timeout is the
// connection timeout, so that a writer in another process makes us wait, not fail. A
// database created here (Create=True on a new file) uses write-ahead logging.
std::unique_ptr<provider::Session> OpenSqliteSession(const provider::OpenRequest& request) {
    std::optional<std::string> source = request.properties.Get("Data Source");
    std::string path = source ? std::string(Trim(*source)) : std::string();
    if (path.empty()) {
        ThrowFailure(FailureKind::Unavailable,
                     "The SQLite provider needs a database file: the connection string has no Data Source.");
    }
    const bool create = IsTrue(request.properties.Get("Create"));
    const bool inMemory = path == ":memory:";
    std::error_code error;
    const bool creating = create && !inMemory && HoldsNoDatabase(path);
    if (!create && !inMemory && !std::filesystem::exists(path, error)) {
        ThrowFailure(FailureKind::Unavailable,
                     "The SQLite database file \"" + path + "\" does not exist (Create=True creates it).");
    }
    sqlite3* db = nullptr;
    // No mutex of SQLite's own on the connection: a connection and everything opened on
    // it (its statements, result sets and the statement cache) are used by one thread at
    // a time, the threading model the platform promises hosts, and the command timeout
    // is checked from inside the engine on that same thread, so no other thread ever
    // touches the connection while it works. The library's process-wide state keeps its
    // own locks, so connections on other threads stay safe. Every call and every cell
    // read would otherwise take and release the connection's lock for nothing.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create || inMemory ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        ThrowFailure(FailureKind::Unavailable, "Cannot open the SQLite database file \"" + path + "\": " + message);
    }
    auto session = std::make_unique<SqliteSession>(db);
    sqlite3_extended_result_codes(db, 1);
    long timeout = request.timeoutSeconds;
    session->SetBusyTimeout(timeout);
    // Write-back compares stored dates through this function: without it no date column
    // could be written, so a session that cannot have it is refused.
    rc = sqlite3_create_function(db, "canonical_date_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 &CanonicalDateTextFunction, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        ThrowError(HResultFromSqlite(rc, sqlite3_errmsg(db)),
                   std::string("Cannot register the SQL function canonical_date_text: ") + sqlite3_errmsg(db));
    }
    // Reading the schema now makes a file that is not a database fail here, naming it,
    // rather than at the first query.
    sqlite3_stmt* probe = nullptr;
    rc = sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &probe, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(probe);
    if (rc != SQLITE_ROW) {
        std::string message = sqlite3_errmsg(db);
        sqlite3_finalize(probe);
        ThrowFailure(FailureKind::Unavailable, "Cannot open the SQLite database file \"" + path + "\": " + message);
    }
    sqlite3_finalize(probe);
    // Only a database made here: an existing file keeps the journal mode its owner chose.
    if (creating) UseWriteAheadLog(db, path);
    return session;
}

SqliteSession::SqliteSession(sqlite3* db) : db_(db), clock_(std::make_shared<CommandClock>()) { clock_->Install(db_); }

// close_v2 defers the close until every statement is finalised, so a result set that
// outlives its session stays safe.
SqliteSession::~SqliteSession() {
    schemaVersion_.reset();
    statements_.clear();
    sqlite3_close_v2(db_);
}

Statement SqliteSession::Prepare(std::string_view sql) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.data(), SqlLength(sql.size()), &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK) ThrowSqliteError(db_, rc);
    if (!statement) ThrowError(DB_E_ERRORSINCOMMAND, "The command text is empty.");
    return statement;
}

void SqliteSession::RunToEnd(sqlite3_stmt* statement) {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(statement);
        ThrowError(HResultFromSqlite(rc, message), message);
    }
}

// The whole script, up to the last statement's first row where SQLite reads it ahead,
// runs inside one window of the command timeout.
provider::CommandResult SqliteSession::Execute(const std::string& sqlText, const provider::ExecuteOptions& options) {
    CommandClock::Window window(*clock_);
    try {
        return RunScript(sqlText, options);
    } catch (const _com_error&) {
        clock_->Rethrow();
    }
}

// Statements run one after the other, each prepared only after the previous one ran
// (a script may create the table the next statement uses). The last statement's rows,
// if it has any, are the result.
provider::CommandResult SqliteSession::RunScript(const std::string& sqlText, const provider::ExecuteOptions& options) {
    const std::string sql = RewriteGenericDialect(sqlText);
    const char* begin = sql.c_str();
    const char* end = begin + sql.size();
    const char* tail = begin;
    for (;;) {
        sqlite3_stmt* raw = nullptr;
        const char* next = nullptr;
        int rc = sqlite3_prepare_v2(db_, tail, SqlLength(static_cast<std::size_t>(end - tail)), &raw, &next);
        Statement statement(raw);
        if (rc != SQLITE_OK) ThrowSqliteError(db_, rc);
        const std::size_t consumed = static_cast<std::size_t>(next - begin);
        const bool last = OnlyBlanksFrom(sql, consumed);
        if (!statement) {
            if (last) return provider::CommandResult{};
            tail = next;
            continue;
        }
        // Nothing is ever bound to a command's parameters: SQLite would read each as NULL
        // and, say, delete nothing while reporting success.
        if (sqlite3_bind_parameter_count(statement.get()) > 0) {
            ThrowError(DB_E_ERRORSINCOMMAND,
                       "The command text has a parameter marker (?, :name, @name, $name or #name), but commands "
                       "take no parameters: \"" + std::string(sqlite3_sql(statement.get())) + "\"");
        }
        if (!last) {
            RunToEnd(statement.get());
            tail = next;
            continue;
        }
        if (sqlite3_column_count(statement.get()) > 0) {
            std::string identityTable;
            std::string identityName;
            if (options.forUpdate) {
                std::string_view text(tail, static_cast<std::size_t>(next - tail));
                if (Statement identified = WithRowIdentity(text, statement.get(), &identityTable, &identityName)) {
                    statement = std::move(identified);
                }
            }
            provider::CommandResult result;
            result.rows = std::make_unique<SqliteResultSet>(db_, clock_, std::move(statement), identityTable,
                                                           identityName);
            return result;
        }
        const sqlite3_int64 changesBefore = sqlite3_total_changes64(db_);
        RunToEnd(statement.get());
        provider::CommandResult result;
        if (sqlite3_total_changes64(db_) != changesBefore) {
            result.recordsAffected = static_cast<long>(sqlite3_changes64(db_));
        } else {
            Token first = NextToken(sqlite3_sql(statement.get()), 0);
            std::string_view text = sqlite3_sql(statement.get());
            bool changesRows = IsWord(text, first, "insert") || IsWord(text, first, "update") ||
                               IsWord(text, first, "delete") || IsWord(text, first, "replace");
            result.recordsAffected = changesRows ? 0 : -1;
        }
        return result;
    }
}

// The identity is added only where every column of the result comes straight from one
// rowid table, that table's key is not all in the result (else the key locates rows),
// and the query has the plain single-table shape.
Statement SqliteSession::WithRowIdentity(std::string_view sql, sqlite3_stmt* original, std::string* table,
                                         std::string* identityName) {
    // The FROM name is compared with the columns' bare table name: a qualified one
    // (main.t, aux.t) is not taken.
    std::optional<provider::SingleTableSelect> select = provider::FindSingleTableSelect(sql, {.schemaPrefix = false});
    if (!select) return nullptr;
    const std::string& fromTable = select->table;
    const std::size_t insertAt = select->listStart;
    const int count = sqlite3_column_count(original);
    std::string baseTable;
    std::vector<std::string> baseColumns;
    for (int i = 0; i < count; ++i) {
        const char* columnTable = sqlite3_column_table_name(original, i);
        const char* origin = sqlite3_column_origin_name(original, i);
        const char* database = sqlite3_column_database_name(original, i);
        if (!columnTable || !origin || !database || std::string_view(database) != "main") return nullptr;
        if (baseTable.empty()) baseTable = columnTable;
        if (baseTable != columnTable) return nullptr;
        baseColumns.emplace_back(origin);
    }
    if (baseTable.empty() || !EqualNoCase(baseTable, fromTable)) return nullptr;
    const TableShape& shape = ShapeOf(baseTable);
    if (!shape.hasRowid || shape.rowidName.empty()) return nullptr;
    bool keyInResult = !shape.keyColumns.empty();
    for (const std::string& key : shape.keyColumns) {
        bool found = std::any_of(baseColumns.begin(), baseColumns.end(),
                                 [&](const std::string& column) { return EqualNoCase(column, key); });
        keyInResult = keyInResult && found;
    }
    if (keyInResult) return nullptr;
    std::string identified(sql.substr(0, insertAt));
    identified += " " + shape.rowidName + " AS " + QuoteIdentifier(kRowIdentityName) + ",";
    identified += sql.substr(insertAt);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, identified.data(), SqlLength(identified.size()), &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    *table = baseTable;
    *identityName = shape.rowidName;
    return Statement(raw);
}

const TableShape& SqliteSession::ShapeOf(const std::string& table) {
    if (!schemaVersion_) schemaVersion_ = Prepare("PRAGMA schema_version");
    int rc = sqlite3_step(schemaVersion_.get());
    if (rc != SQLITE_ROW) {
        std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(schemaVersion_.get());
        ThrowError(HResultFromSqlite(rc, message), message);
    }
    const std::int64_t version = sqlite3_column_int64(schemaVersion_.get(), 0);
    sqlite3_reset(schemaVersion_.get());
    if (version != shapesVersion_) {
        shapes_.clear();
        shapesVersion_ = version;
    }
    std::string key = AsciiLowered(table);
    auto found = shapes_.find(key);
    if (found == shapes_.end()) found = shapes_.emplace(key, ReadShape(table)).first;
    return found->second;
}

TableShape SqliteSession::ReadShape(const std::string& table) {
    TableShape shape;
    std::vector<std::pair<int, std::string>> keyPositions;
    Statement info = Prepare("SELECT name, type, pk FROM pragma_table_info(?1) ORDER BY cid");
    int rc = sqlite3_bind_text64(info.get(), 1, table.data(), table.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) ThrowSqliteError(db_, rc);
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0));
        const char* type = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        shape.columns.emplace_back(name ? name : "");
        shape.declaredTypes.emplace_back(type ? type : "");
        if (int position = sqlite3_column_int(info.get(), 2); position > 0) keyPositions.emplace_back(position, name ? name : "");
    }
    std::sort(keyPositions.begin(), keyPositions.end());
    for (auto& [position, name] : keyPositions) shape.keyColumns.push_back(std::move(name));
    if (rc != SQLITE_DONE) ThrowSqliteError(db_, rc);
    if (shape.columns.empty()) ThrowFailure(FailureKind::UnknownTable, "no such table: " + table);

    Statement list = Prepare("SELECT type, wr FROM pragma_table_list(?1)");
    rc = sqlite3_bind_text64(list.get(), 1, table.data(), table.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) ThrowSqliteError(db_, rc);
    rc = sqlite3_step(list.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) ThrowSqliteError(db_, rc);
    if (rc == SQLITE_ROW) {
        const char* type = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0));
        shape.hasRowid = type && std::string_view(type) == "table" && sqlite3_column_int(list.get(), 1) == 0;
    }
    if (shape.hasRowid) {
        for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
            bool shadowed = std::any_of(shape.columns.begin(), shape.columns.end(),
                                        [&](const std::string& column) { return EqualNoCase(column, candidate); });
            if (!shadowed) {
                shape.rowidName = candidate;
                break;
            }
        }
        if (shape.keyColumns.size() == 1) {
            for (std::size_t i = 0; i < shape.columns.size(); ++i) {
                if (shape.columns[i] == shape.keyColumns[0] && EqualNoCase(shape.declaredTypes[i], "integer")) {
                    shape.integerKey = shape.columns[i];
                }
            }
        }
    }
    return shape;
}

// sqlite_% tables are SQLite's own and listed as "SYSTEM TABLE"; the schema table does
// not list itself, so it is added. Tables have neither catalog nor schema here, so a
// restriction on either admits none; names match without regard to case, as SQLite's do.
std::vector<provider::TableEntry> SqliteSession::ListTables(const provider::TableFilter& filter) {
    std::vector<provider::TableEntry> entries;
    Statement statement = Prepare("SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view')");
    auto add = [&](std::string name, std::string_view type) {
        const bool system = name.size() >= 7 && EqualNoCase(std::string_view(name).substr(0, 7), "sqlite_");
        provider::TableEntry entry;
        entry.name = std::move(name);
        entry.type = type == "view" ? (system ? "SYSTEM VIEW" : "VIEW") : (system ? "SYSTEM TABLE" : "TABLE");
        entries.push_back(std::move(entry));
    };
    add("sqlite_master", "table");
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
        const char* type = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1));
        add(name ? name : "", type ? type : "");
    }
    if (rc != SQLITE_DONE) ThrowSqliteError(db_, rc);
    return provider::FilterAndSortTables(std::move(entries), filter, provider::NameMatch::IgnoreCase);
}

std::string SqliteSession::DbmsName() { return "SQLite"; }

std::string SqliteSession::DbmsVersion() { return sqlite3_libversion(); }

// IMMEDIATE takes the write lock at once (waiting through the busy timeout): a deferred
// transaction that reads first and writes later can meet another writer and fail with
// SQLITE_BUSY without waiting at all.
void SqliteSession::BeginTransaction() { RunToEnd(Prepare("BEGIN IMMEDIATE").get()); }

void SqliteSession::CommitTransaction() { RunToEnd(Prepare("COMMIT").get()); }

void SqliteSession::RollbackTransaction() { RunToEnd(Prepare("ROLLBACK").get()); }

}  // namespace dbplatform::sqlite
