#include <dbplatform/providers/odbc/OdbcSession.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/TableListing.h>
#include <dbplatform/providers/common/TextParameters.h>
#include <dbplatform/providers/odbc/OdbcCalls.h>
#include <dbplatform/providers/odbc/OdbcCommandTimeout.h>
#include <dbplatform/providers/odbc/OdbcConnectionText.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/odbc/OdbcParameters.h>
#include <dbplatform/providers/odbc/OdbcRows.h>

namespace dbplatform::provider::odbc {

OdbcLink::~OdbcLink() {
    // Statements go before the connection they were made on.
    keptStatements.Forget();
    if (schemaVersionStatement != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, schemaVersionStatement);
    if (connected) SQLDisconnect(connection);
    if (connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection);
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
}

Statement::Statement(const std::shared_ptr<OdbcLink>& link) {
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, link->connection, &handle_), SQL_HANDLE_DBC, link->connection);
}

Statement::~Statement() {
    if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

OdbcSession::OdbcSession(const OpenRequest& request) : link_(std::make_shared<OdbcLink>()) {
    std::string text = OdbcConnectionText(request);
    Connect(text, request.timeoutSeconds);
    dbmsName_ = Info(SQL_DBMS_NAME);
    dbmsVersion_ = Info(SQL_DBMS_VER);
    product_ = OdbcProductOf(dbmsName_);
    if (product_.needsFoundRowsOption && !request.properties.Get("OPTION")) {
        link_ = std::make_shared<OdbcLink>();
        Connect(text + ";OPTION=2", request.timeoutSeconds);
    }
    link_->numbersAsText = product_.readsNumbersAsText;
    // The driver's own quote character; none (" ") writes names as they are.
    std::string quote = Info(SQL_IDENTIFIER_QUOTE_CHAR);
    product_.rows.quote = quote.empty() || quote == " " ? '\0' : quote[0];
    if (product_.catalogIsDatabase) catalog_ = Info(SQL_DATABASE_NAME);
}

void OdbcSession::Connect(const std::string& text, long timeoutSeconds) {
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link_->environment), SQL_HANDLE_ENV, SQL_NULL_HANDLE, true);
    CheckOdbc(SQLSetEnvAttr(link_->environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, link_->environment, true);
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_DBC, link_->environment, &link_->connection), SQL_HANDLE_ENV,
              link_->environment, true);
    if (timeoutSeconds > 0)
        CheckOdbc(SQLSetConnectAttr(link_->connection, SQL_ATTR_LOGIN_TIMEOUT,
                                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0),
                  SQL_HANDLE_DBC, link_->connection, true);
    SQLCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    SQLRETURN rc = SQLDriverConnect(link_->connection, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                                    SQL_NTS, completed, sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
    CheckOdbc(rc, SQL_HANDLE_DBC, link_->connection, true);
    link_->connected = true;
}

std::string OdbcSession::Info(SQLUSMALLINT item) {
    char buffer[256] = {0};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(link_->connection, item, buffer, sizeof buffer, &length))) return "";
    return std::string(buffer, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(length, 0, sizeof buffer - 1)));
}

// The product's schema version as text; "" where it has none or cannot tell, which
// keeps nothing. A read that meets the command timeout fails as any statement does. The
// query is prepared once per connection and read to its end every time, so that it holds
// no lock between reads; a statement that failed is dropped.
std::string OdbcSession::SchemaVersion() {
    if (!product_.schemaVersionQuery) return "";
    std::optional<Statement> statement;
    if (link_->schemaVersionStatement != SQL_NULL_HSTMT) {
        statement.emplace(link_->schemaVersionStatement);
        link_->schemaVersionStatement = SQL_NULL_HSTMT;
    } else {
        statement.emplace(link_);
        SQLCHAR* query = reinterpret_cast<SQLCHAR*>(const_cast<char*>(product_.schemaVersionQuery));
        if (!SQL_SUCCEEDED(SQLPrepare(statement->handle(), query, SQL_NTS))) return "";
    }
    SQLHSTMT handle = statement->handle();
    if (!SQL_SUCCEEDED(Bounded(handle, link_->commandTimeout, [&] { return SQLExecute(handle); })) ||
        !SQL_SUCCEEDED(SQLFetch(handle)))
        return "";
    char version[64] = {};
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLGetData(handle, 1, SQL_C_CHAR, version, sizeof version, &length)) || length <= 0 ||
        length >= static_cast<SQLLEN>(sizeof version))
        return "";
    SQLRETURN rest = SQLFetch(handle);
    while (SQL_SUCCEEDED(rest)) rest = SQLFetch(handle);
    if (rest != SQL_NO_DATA) return "";
    SQLFreeStmt(handle, SQL_CLOSE);
    link_->schemaVersionStatement = statement->Release();
    return std::string(version, static_cast<std::size_t>(length));
}

// The SQLite driver describes a query's result from its preparation, which the engine makes
// with the connection's copy of the schema. After another connection changed a table, that
// copy is stale until a statement runs: the engine then prepares the query again and reads
// the table as it is now, under the description of the table as it was (one column's values
// under another's name). So a changed schema version first runs a statement that makes the
// engine read its schema again. Returns the version ("" where the product has none).
std::string OdbcSession::ReadSchemaAgainIfChanged() {
    if (product_.product != Product::SQLite) return "";
    const std::string version = SchemaVersion();
    if (version.empty() || version == seenSchemaVersion_) return version;
    Statement refresh(link_);
    Run(refresh.handle(), "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, link_->commandTimeout);
    while (SQL_SUCCEEDED(SQLFetch(refresh.handle()))) {
    }
    seenSchemaVersion_ = version;
    return version;
}

// Runs `text` with `parameters` on the statement kept prepared for it under `schemaVersion`,
// or on one prepared now (see KeptStatements). A failed preparation is returned, not thrown,
// as a failed run is.
OdbcSession::QueryRun OdbcSession::RunKept(std::string text, const std::string& schemaVersion,
                                           std::unique_ptr<ParameterList> parameters) {
    QueryRun run;
    KeptStatements& keep = link_->keptStatements;
    SQLHSTMT kept = keep.Take(text, schemaVersion);
    run.generation = keep.Generation();
    if (kept != SQL_NULL_HSTMT) {
        run.statement = std::make_unique<Statement>(kept);
    } else {
        run.statement = std::make_unique<Statement>(link_);
        run.rc = SQLPrepare(run.statement->handle(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
        if (!SQL_SUCCEEDED(run.rc)) return run;
    }
    SQLHSTMT handle = run.statement->handle();
    parameters->Bind(handle);
    run.rc = Bounded(handle, link_->commandTimeout, [&] { return SQLExecute(handle); });
    run.parameters = std::move(parameters);
    run.keptText = std::move(text);
    return run;
}

// Runs the query `text`. On SQLite, a query whose WHERE clause compares texts runs with
// those texts as parameters, on the statement kept prepared for it under `schemaVersion`,
// read just before (see KeptStatements and TextsAsParameters); any other query, and any
// query where the version is unknown (""), runs with SQLExecDirect.
OdbcSession::QueryRun OdbcSession::RunQuery(const std::string& text, const std::string& schemaVersion) {
    QueryRun run;
    TextParameters parameterized;
    if (product_.product == Product::SQLite && !schemaVersion.empty()) parameterized = TextsAsParameters(text);
    if (!parameterized.values.empty()) {
        auto parameters = std::make_unique<ParameterList>();
        for (std::string& value : parameterized.values)
            parameters->Add(Value{ValueKind::Text, 0, 0, std::move(value)}, adVarWChar);
        return RunKept(std::move(parameterized.sql), schemaVersion, std::move(parameters));
    }
    run.statement = std::make_unique<Statement>(link_);
    SQLHSTMT handle = run.statement->handle();
    CheckOdbc(SQLSetStmtAttr(handle, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0),
              SQL_HANDLE_STMT, handle);
    run.rc = Bounded(handle, link_->commandTimeout, [&] {
        return SQLExecDirect(handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS);
    });
    return run;
}

// The key columns of `table`, read again only when the schema may have changed since
// they were last read (see TableKeyCache). `schemaVersion` is the version the statement
// at hand runs under, where it was read already; "" reads it.
std::vector<std::string> OdbcSession::KeyColumns(const std::string& table, const std::string& schemaVersion) {
    const std::string version = schemaVersion.empty() ? SchemaVersion() : schemaVersion;
    if (const std::vector<std::string>* kept = tableKeys_.Find(table, version)) return *kept;
    std::vector<std::string> keys = ReadKeyColumns(table);
    tableKeys_.Keep(table, version, keys);
    return keys;
}

// The columns that locate a row of `table`: its primary key, else the driver's best row
// identifier (a unique index).
std::vector<std::string> OdbcSession::ReadKeyColumns(const std::string& table) {
    std::vector<std::string> keys;
    auto text = [](const std::string& value) {
        return reinterpret_cast<SQLCHAR*>(const_cast<char*>(value.c_str()));
    };
    SQLCHAR* catalog = catalog_.empty() ? nullptr : text(catalog_);
    SQLSMALLINT catalogLength = catalog_.empty() ? 0 : SQL_NTS;
    {
        Statement statement(link_);
        SQLRETURN rc = SQLPrimaryKeys(statement.handle(), catalog, catalogLength, nullptr, 0, text(table), SQL_NTS);
        if (SQL_SUCCEEDED(rc))
            while (SQL_SUCCEEDED(SQLFetch(statement.handle()))) keys.push_back(ColumnText(statement.handle(), 4));
    }
    if (!keys.empty() || !product_.bestRowIdIsKey) return keys;
    Statement statement(link_);
    SQLRETURN rc = SQLSpecialColumns(statement.handle(), SQL_BEST_ROWID, catalog, catalogLength, nullptr, 0, text(table),
                                     SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE);
    if (SQL_SUCCEEDED(rc))
        while (SQL_SUCCEEDED(SQLFetch(statement.handle()))) keys.push_back(ColumnText(statement.handle(), 2));
    return keys;
}

std::vector<ColumnInfo> OdbcSession::Describe(SQLHSTMT statement, bool forUpdate,
                                              const std::optional<SingleTableSelect>& shape, bool identityAdded,
                                              const std::string& schemaVersion, std::vector<ValueKind>* kinds) {
    std::vector<ColumnInfo> columns;
    *kinds = KindsOf(statement, &columns);
    if (identityAdded && !columns.empty() && EqualNoCase(columns[0].name, kRowIdentityName)) {
        columns[0].name = kRowIdentityName;
        columns[0].rowIdentity = true;
    }
    if (!forUpdate) return columns;
    std::set<std::string> tables;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        ColumnInfo& column = columns[i];
        if (column.rowIdentity) continue;
        SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
        column.baseTable = AttributeText(statement, number, SQL_DESC_BASE_TABLE_NAME);
        if (column.baseTable.empty()) column.baseTable = AttributeText(statement, number, SQL_DESC_TABLE_NAME);
        column.baseColumn = AttributeText(statement, number, SQL_DESC_BASE_COLUMN_NAME);
        if (column.baseTable.empty() && shape) {
            column.baseTable = shape->table;
            if (product_.lowerCasesUnquotedNames && !shape->written.empty() && shape->written.back() != '"')
                column.baseTable = AsciiLowered(column.baseTable);
        }
        if (column.baseColumn.empty() && !column.baseTable.empty()) column.baseColumn = column.name;
        if (!column.baseTable.empty()) tables.insert(column.baseTable);
    }
    for (const std::string& table : tables) {
        std::vector<std::string> keys = KeyColumns(table, schemaVersion);
        for (ColumnInfo& column : columns)
            if (column.baseTable == table)
                column.key = std::any_of(keys.begin(), keys.end(),
                                         [&](const std::string& key) { return EqualNoCase(key, column.baseColumn); });
    }
    return columns;
}

CommandResult OdbcSession::Execute(const std::string& sql, const ExecuteOptions& options) {
    if (SchemaBoundFacts::MayChangeSchema(sql)) {
        tableKeys_.Forget();
        insertedRows_.Forget();
        link_->keptStatements.Forget();
    }
    const std::string version =
        SchemaBoundFacts::EndsOrStartsTransaction(sql) ? std::string() : ReadSchemaAgainIfChanged();
    std::optional<SingleTableSelect> shape;
    std::string text = sql;
    if (options.forUpdate) shape = FindSingleTableSelect(sql);
    bool identityAdded = false;
    if (shape && product_.identityOnlyOnTables) {
        ParameterList parameters;
        const std::string query = RelationKindQuery(parameters.Add(Value{ValueKind::Text, 0, 0, shape->written}, adVarWChar));
        Statement probe(link_);
        Run(probe.handle(), query, &parameters, link_->commandTimeout);
        std::string kind;
        if (SQL_SUCCEEDED(SQLFetch(probe.handle()))) kind = ColumnText(probe.handle(), 1);
        if (!RelationKindHasRowIdentity(kind)) shape.reset();
    }
    if (shape && !product_.rows.identity.empty()) {
        text = WithIdentityColumn(sql, *shape, product_.rows.identity);
        identityAdded = true;
    }
    QueryRun run = RunQuery(text, version);
    if (!SQL_SUCCEEDED(run.rc) && run.rc != SQL_NO_DATA && identityAdded && product_.identityMayBeMissing) {
        // A view (or a table without rowid) has no row identity: read its rows as they are.
        identityAdded = false;
        text = sql;
        run = RunQuery(text, version);
    }
    const SQLRETURN rc = run.rc;
    const std::unique_ptr<Statement>& statement = run.statement;
    CheckOdbc(rc, SQL_HANDLE_STMT, statement->handle());
    CommandResult result;
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(statement->handle(), &count), SQL_HANDLE_STMT, statement->handle());
    if (count == 0) {
        result.recordsAffected = rc == SQL_NO_DATA ? 0 : RowCount(statement->handle());
        return result;
    }
    std::vector<ValueKind> kinds;
    std::vector<ColumnInfo> columns = Describe(statement->handle(), options.forUpdate, shape, identityAdded, version, &kinds);
    if (identityAdded && product_.identityReadsAsText && columns[0].rowIdentity) kinds[0] = ValueKind::Text;
    auto rows = std::make_unique<OdbcRows>(link_, statement->Release(), std::move(columns), std::move(kinds));
    if (!run.keptText.empty()) rows->KeepAfterUse(std::move(run.keptText), run.generation, std::move(run.parameters));
    result.rows = std::move(rows);
    return result;
}

std::vector<TableEntry> OdbcSession::ListTables(const TableFilter& filter) {
    Statement statement(link_);
    std::string catalog = filter.catalog.empty() ? catalog_ : filter.catalog;
    auto argument = [](const std::string& value) {
        return value.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(value.c_str()));
    };
    auto length = [](const std::string& value) -> SQLSMALLINT { return value.empty() ? 0 : SQL_NTS; };
    const std::string types = TypeListForCatalog(filter.type);
    CheckOdbc(SQLTables(statement.handle(), argument(catalog), length(catalog), argument(filter.schema),
                        length(filter.schema), argument(filter.name), length(filter.name), argument(types),
                        length(types)),
              SQL_HANDLE_STMT, statement.handle());
    std::vector<TableEntry> entries;
    for (;;) {
        SQLRETURN rc = SQLFetch(statement.handle());
        if (rc == SQL_NO_DATA) break;
        CheckOdbc(rc, SQL_HANDLE_STMT, statement.handle());
        TableEntry entry{ColumnText(statement.handle(), 1), ColumnText(statement.handle(), 2),
                         ColumnText(statement.handle(), 3), ColumnText(statement.handle(), 4)};
        // An engine's own tables are never listed as ordinary ones.
        bool system = entry.name.rfind("sqlite_", 0) == 0 || entry.schema == "pg_catalog" ||
                      entry.schema == "information_schema" || EqualNoCase(entry.catalog, "information_schema") ||
                      EqualNoCase(entry.catalog, "performance_schema") || EqualNoCase(entry.catalog, "mysql");
        if (system && entry.type == "TABLE") entry.type = "SYSTEM TABLE";
        if (system && entry.type == "VIEW") entry.type = "SYSTEM VIEW";
        if (product_.catalogIsDatabase && !catalog_.empty() && filter.catalog.empty() && entry.catalog != catalog_) continue;
        entries.push_back(std::move(entry));
    }
    // The catalog function takes patterns ('_' matches any character): exact names are
    // kept here.
    return FilterAndSortTables(std::move(entries), filter, NameMatch::Exact);
}

void OdbcSession::BeginTransaction() {
    CheckOdbc(SQLSetConnectAttr(link_->connection, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, link_->connection);
}

// Autocommit comes back whether or not the end succeeded. A failed end's diagnostics
// are read before the next call on the connection clears them.
void OdbcSession::EndTransaction(SQLSMALLINT completion) {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, link_->connection, completion);
    std::optional<Diagnostics> failed;
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) failed = ReadDiagnostics(SQL_HANDLE_DBC, link_->connection);
    SQLRETURN restored =
        SQLSetConnectAttr(link_->connection, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    if (failed) ThrowDiagnostics(*failed, false);
    CheckOdbc(restored, SQL_HANDLE_DBC, link_->connection);
}

void OdbcSession::CommitTransaction() { EndTransaction(SQL_COMMIT); }
// A rolled-back change of a table's definition takes its schema version back with it.
void OdbcSession::RollbackTransaction() {
    tableKeys_.Forget();
    insertedRows_.Forget();
    link_->keptStatements.Forget();
    EndTransaction(SQL_ROLLBACK);
}

// The driver's own verdict; it knows of a lost link once a call has met it.
bool OdbcSession::ConnectionLost() {
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLRETURN rc = SQLGetConnectAttr(link_->connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

}  // namespace dbplatform::provider::odbc
