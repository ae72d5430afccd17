// The narrow interface between the cursor engine and a database provider.
//
// A provider opens sessions, runs commands and hands back rows cell by cell; it writes
// one row back when told where that row is. It knows nothing of recordsets, cursors or
// fields. The engine knows nothing of SQLite, libpq or ODBC.
//
// Every failure is thrown as _com_error(hr, description): hr from the mapping
//   syntax or other command error   DB_E_ERRORSINCOMMAND   0x80040E14
//   unknown table                   DB_E_NOTABLE           0x80040E37
//   constraint violation            DB_E_INTEGRITYVIOLATION 0x80040E2F
//   conversion refused              DB_E_CANTCONVERTVALUE  0x80040E07 (or DISP_E_TYPEMISMATCH)
//   login, connection, busy         E_FAIL                 0x80004005
//   row to write cannot be located  DB_E_CONCURRENCYVIOLATION 0x80040E38 (on every provider)
//   CommandTimeout expired          DB_E_ABORTLIMITREACHED 0x80040E31
// and the engine's own message (UTF-8) as description.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/base/HResult.h>

namespace dbplatform::provider {

enum class ValueKind : std::uint8_t { Null, Integer, Double, Date, Text, Bytes, Boolean };

// One cell of the current row, valid until the next Fetch. Integer and Boolean use
// `integer` (Boolean: 0 or 1); Double uses `real`; Date uses `real` as an automation date;
// Text (UTF-8) and Bytes use `bytes`.
struct CellView {
    ValueKind kind = ValueKind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes;
};

// An owned value: the same encoding as CellView.
struct Value {
    ValueKind kind = ValueKind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;

    static Value FromCell(const CellView& cell) { return Value{cell.kind, cell.integer, cell.real, std::string(cell.bytes)}; }
    CellView View() const { return CellView{kind, integer, real, bytes}; }
};

struct ColumnInfo {
    std::string name;             // as the engine describes it
    DataTypeEnum type = adVarWChar;
    long definedSize = 0;         // characters for text, bytes for binary, else the type's size
    bool nullable = true;
    std::string baseTable;        // the table the column comes from; empty for expressions
    std::string baseColumn;       // its name in that table
    bool key = false;             // part of the base table's primary key
    bool rowIdentity = false;     // added by the provider to locate the row (rowid, ctid);
                                  // the engine keeps it but never shows it as a field
};

// The rows of one command, read forward once.
class ResultSet {
public:
    virtual ~ResultSet() = default;
    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    // Moves to the next row; false after the last.
    virtual bool Fetch() = 0;
    virtual CellView Cell(std::size_t column) = 0;
    // Reads the first `count` cells of the current row, as Cell would one by one; a
    // provider overrides it where a whole row reads faster. Views stay valid until the
    // next Fetch.
    virtual void ReadRow(CellView* cells, std::size_t count) {
        for (std::size_t c = 0; c < count; ++c) cells[c] = Cell(c);
    }
};

struct CommandResult {
    std::unique_ptr<ResultSet> rows;  // null when the statement produces no result set
    long recordsAffected = -1;
};

struct ExecuteOptions {
    // The caller may write rows back: where the query reads one base table without a
    // primary key, add a rowIdentity column.
    bool forUpdate = false;
};

// One row of the tables listing. `type` takes ADO's TABLE_TYPE values: "TABLE", "VIEW",
// "SYSTEM TABLE", "SYSTEM VIEW" (an engine's own tables are never "TABLE" or "VIEW").
struct TableEntry {
    std::string catalog;  // empty = NULL
    std::string schema;
    std::string name;
    std::string type;
};

// Restrictions of OpenSchema(adSchemaTables); an empty text restricts nothing.
struct TableFilter {
    std::string catalog;
    std::string schema;
    std::string name;
    std::string type;
};

// Where a row is: its key columns, or its row identity column, with their values as read.
struct RowLocator {
    std::vector<std::pair<std::string, Value>> columns;
};

// A row just inserted. `stored` is the new row as stored (defaults, generated keys and
// the row identity included) where the provider can read it back, else the key columns
// as written (every column written, where the table has no key known); it is empty
// unless exactly one row was inserted. The engine takes from it the columns it locates
// rows by, and shows the values the database filled in.
//
// Where reading the stored row costs more than the insert itself (a wide row through a
// driver that hands every value over as text), the provider may leave it for later:
// `stored` then holds only the row's locator, taken at once, and `storedLater` reads the
// row as stored by that locator. The engine calls it at most once, before anything reads
// or moves over the row, and never when the cursor closes first; it is valid while the
// session lives. It returns what `stored` would have held, or nothing where the row is
// gone by then (another statement deleted it, or a rollback took it back).
struct InsertedRow {
    long rowsChanged = 0;
    std::vector<std::pair<std::string, Value>> stored;
    std::function<std::vector<std::pair<std::string, Value>>()> storedLater;
};

// One column written back: name in the base table, its type, the value already converted
// to that type by the engine, and (for updates) the value it had when read.
struct ColumnWrite {
    std::string column;
    DataTypeEnum type = adVarWChar;
    Value value;
    Value original;
};

class Session {
public:
    virtual ~Session() = default;

    // CommandTimeout, in seconds (0 = wait forever; the connection passes ADO's default
    // 30 when it opens the session). It bounds every call that waits on the engine for a
    // command: Execute, each Fetch of its rows, and each row written back. A call past it
    // fails with kQueryTimeoutHr "Query timeout expired" (CommandTimeout.h) and leaves the
    // session usable. A recordset read lazily has its rows fetched long after Execute:
    // each fetch gets the whole timeout again, so a host that reads slowly is never cut
    // off, while a query that takes long to produce its rows (on SQLite the work of a
    // query happens in its first fetch) is still stopped. Transaction statements are not
    // bounded: a COMMIT or ROLLBACK is never abandoned half way.
    virtual void SetCommandTimeout(long seconds) = 0;

    virtual CommandResult Execute(const std::string& sql, const ExecuteOptions& options) = 0;
    // The tables `filter` admits (the type restriction: one type or a comma-separated
    // list, compared without regard to case), sorted by type, catalog, schema and name,
    // the order ADO gives this listing.
    virtual std::vector<TableEntry> ListTables(const TableFilter& filter) = 0;
    virtual std::string DbmsName() = 0;
    virtual std::string DbmsVersion() = 0;

    virtual void BeginTransaction() = 0;
    virtual void CommitTransaction() = 0;
    virtual void RollbackTransaction() = 0;
    // True once the server connection is gone (the server ended the session, or the link
    // broke): an open transaction went with it. Never changes the session's state.
    virtual bool ConnectionLost() { return false; }

    // Write-back of one row. Each reports the number of rows changed: the engine raises
    // DB_E_CONCURRENCYVIOLATION unless it is exactly 1. A provider changes at most one row
    // even where the locator matches several (identical rows without a key).
    //
    // Insert: writes the given columns (others take their defaults).
    virtual InsertedRow InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns) = 0;
    // Update: changes `columns` in the row at `locator`, which must also still hold each
    // column's original value; refreshes `locator` (a PostgreSQL UPDATE moves the ctid).
    virtual long UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns,
                           RowLocator* locator) = 0;
    virtual long DeleteRow(const std::string& table, const RowLocator& locator) = 0;
};

struct OpenRequest {
    ado::ConnectionString properties;  // the whole connection string, Provider included
    std::string userId;                 // Open's UserID, else the string's "User ID"
    std::string password;               // Open's Password, else the string's "Password"
    long timeoutSeconds = 15;           // ConnectionTimeout; 0 = wait indefinitely
};

using ProviderFactory = std::function<std::unique_ptr<Session>(const OpenRequest& request)>;

// Registers a provider under a Provider= name (case-insensitive). An empty name is the
// provider used when the connection string has no Provider key.
void RegisterProvider(std::string_view name, ProviderFactory factory);
// The factory for `name`, or an empty function (the engine then raises 3706).
ProviderFactory FindProvider(std::string_view name);

}  // namespace dbplatform::provider
