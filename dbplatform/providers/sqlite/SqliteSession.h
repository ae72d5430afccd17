// The embedded SQLite provider: one session is one sqlite3 connection.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/common/Identifiers.h>
#include <dbplatform/providers/common/SingleTableSelect.h>
#include <dbplatform/providers/sqlite/SqliteCommandClock.h>

struct sqlite3;
struct sqlite3_stmt;

namespace dbplatform::sqlite {

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const noexcept;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

// The column this provider adds to locate rows of a table without a key.
using provider::kRowIdentityName;

struct Bindings;

// What write-back needs to know about a base table.
struct TableShape {
    bool hasRowid = false;                 // false for WITHOUT ROWID tables
    std::vector<std::string> columns;      // declared columns, in order
    std::vector<std::string> declaredTypes;
    std::vector<std::string> keyColumns;   // the primary key, in key order
    std::string integerKey;                // the INTEGER PRIMARY KEY column (it is the rowid), or empty
    std::string rowidName;                 // rowid, _rowid_ or oid, whichever no column shadows; or empty
};

class SqliteSession final : public provider::Session {
public:
    // Takes ownership of an open connection.
    explicit SqliteSession(sqlite3* db);
    ~SqliteSession() override;
    SqliteSession(const SqliteSession&) = delete;
    SqliteSession& operator=(const SqliteSession&) = delete;

    provider::CommandResult Execute(const std::string& sql, const provider::ExecuteOptions& options) override;
    void SetCommandTimeout(long seconds) override { clock_->SetCommandTimeout(seconds); }
    // How long a statement waits for another connection's lock (0 = forever).
    void SetBusyTimeout(long seconds) { clock_->SetBusyTimeout(seconds); }
    std::vector<provider::TableEntry> ListTables(const provider::TableFilter& filter) override;
    std::string DbmsName() override;
    std::string DbmsVersion() override;

    void BeginTransaction() override;
    void CommitTransaction() override;
    void RollbackTransaction() override;

    provider::InsertedRow InsertRow(const std::string& table,
                                    const std::vector<provider::ColumnWrite>& columns) override;
    long UpdateRow(const std::string& table, const std::vector<provider::ColumnWrite>& columns,
                   provider::RowLocator* locator) override;
    long DeleteRow(const std::string& table, const provider::RowLocator& locator) override;

private:
    // Execute without the command timeout's window.
    provider::CommandResult RunScript(const std::string& sql, const provider::ExecuteOptions& options);
    // Prepares exactly one statement; throws the mapped error on failure.
    Statement Prepare(std::string_view sql);
    // Runs a statement that returns no rows to its end; throws on failure.
    void RunToEnd(sqlite3_stmt* statement);
    // The shape of `table`; throws DB_E_NOTABLE when there is no such table. Kept until
    // the schema changes (any connection's DDL), so that a run of inserts asks once.
    const TableShape& ShapeOf(const std::string& table);
    TableShape ReadShape(const std::string& table);
    // A prepared statement for `sql` from the session's cache, reset and unbound; the
    // returned handle stays valid until the next call. Write-back repeats the same few
    // statements row after row, and preparing costs more than running them.
    sqlite3_stmt* Cached(const std::string& sql);
    // Binds, runs to the end and returns the rows changed; throws the mapped error.
    long RunCachedChange(const std::string& sql, const Bindings& bindings);
    // The statement rewritten to carry the row identity first, when the query reads a
    // single keyless table in a form where that is safe; else null.
    Statement WithRowIdentity(std::string_view sql, sqlite3_stmt* original, std::string* table,
                              std::string* identityName);

    sqlite3* db_;
    std::shared_ptr<CommandClock> clock_;  // shared with the result sets
    Statement schemaVersion_;  // PRAGMA schema_version, prepared once
    std::int64_t shapesVersion_ = -1;
    // Unguarded: a session is used by one thread at a time (SqliteResultSet.cpp).
    std::map<std::string, TableShape> shapes_;  // by table name, ASCII lower case
    std::map<std::string, Statement> statements_;
};

// Opens "Provider=SQLite;Data Source=path[;Create=True]".
std::unique_ptr<provider::Session> OpenSqliteSession(const provider::OpenRequest& request);

// "name" with inner quotes doubled.
inline std::string QuoteIdentifier(std::string_view name) { return provider::QuoteIdentifier(name, '"'); }

}  // namespace dbplatform::sqlite
