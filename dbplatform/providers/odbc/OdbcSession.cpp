#include <dbplatform/providers/odbc/OdbcSession.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <set>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/TableListing.h>
#include <dbplatform/providers/odbc/OdbcCommandTimeout.h>
#include <dbplatform/providers/odbc/OdbcConnectionText.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/odbc/OdbcRows.h>
#include <dbplatform/providers/odbc/OdbcTypes.h>

namespace dbplatform::provider::odbc {

// Parameters of one statement, bound in the order they were added. Dates travel as
// canonical text: the SQLite driver stores a bound timestamp structure with ".000", which
// then never equals the same time written as text.
class ParameterList {
public:
    void Add(const Value& value, DataTypeEnum type) {
        Parameter& p = parameters_.emplace_back();
        switch (value.kind) {
            case ValueKind::Null:
                p.cType = type == adLongVarBinary ? SQL_C_BINARY : SQL_C_CHAR;
                p.sqlType = type == adLongVarBinary ? SQL_LONGVARBINARY : SQL_VARCHAR;
                p.indicator = SQL_NULL_DATA;
                p.columnSize = 1;
                break;
            case ValueKind::Integer:
                p.cType = SQL_C_SBIGINT;
                p.sqlType = SQL_BIGINT;
                p.integer = value.integer;
                p.columnSize = 19;
                break;
            case ValueKind::Boolean:
                p.cType = SQL_C_CHAR;
                p.sqlType = SQL_BIT;
                p.text = value.integer ? "1" : "0";
                p.columnSize = 1;
                break;
            case ValueKind::Double:
                if (type == adSingle) {
                    p.cType = SQL_C_FLOAT;
                    p.sqlType = SQL_REAL;
                    p.single = static_cast<float>(value.real);
                    p.columnSize = 7;
                } else {
                    p.cType = SQL_C_DOUBLE;
                    p.sqlType = SQL_DOUBLE;
                    p.real = value.real;
                    p.columnSize = 15;
                }
                break;
            case ValueKind::Date:
                p.cType = SQL_C_CHAR;
                p.sqlType = SQL_TYPE_TIMESTAMP;
                p.text = TextFromDate(value.real);
                p.columnSize = 19;
                break;
            case ValueKind::Text:
                p.cType = SQL_C_CHAR;
                p.sqlType = value.bytes.size() > 4000 ? SQL_LONGVARCHAR : SQL_VARCHAR;
                p.text = value.bytes;
                p.columnSize = std::max<SQLULEN>(1, value.bytes.size());
                break;
            case ValueKind::Bytes:
                p.cType = SQL_C_BINARY;
                p.sqlType = SQL_LONGVARBINARY;
                p.text = value.bytes;
                p.columnSize = std::max<SQLULEN>(1, value.bytes.size());
                break;
        }
        if (p.indicator != SQL_NULL_DATA)
            p.indicator = (p.cType == SQL_C_CHAR || p.cType == SQL_C_BINARY) ? static_cast<SQLLEN>(p.text.size()) : 0;
    }

    void Bind(SQLHSTMT statement) {
        SQLUSMALLINT number = 1;
        for (Parameter& p : parameters_) {
            SQLPOINTER data = nullptr;
            SQLLEN length = 0;
            if (p.cType == SQL_C_SBIGINT) data = &p.integer;
            else if (p.cType == SQL_C_DOUBLE) data = &p.real;
            else if (p.cType == SQL_C_FLOAT) data = &p.single;
            else {
                data = p.text.data();
                length = static_cast<SQLLEN>(p.text.size());
            }
            CheckOdbc(SQLBindParameter(statement, number++, SQL_PARAM_INPUT, p.cType, p.sqlType, p.columnSize, 0, data,
                                       length, &p.indicator),
                      SQL_HANDLE_STMT, statement);
        }
    }

private:
    struct Parameter {
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN columnSize = 0;
        std::string text;
        SQLBIGINT integer = 0;
        double real = 0;
        float single = 0;
        SQLLEN indicator = 0;
    };
    std::deque<Parameter> parameters_;
};

namespace {

bool IsIdentity(const std::string& column) { return column == kRowIdentityColumn; }

const Value* IdentityOf(const RowLocator& locator) {
    for (const auto& [column, value] : locator.columns)
        if (IsIdentity(column)) return &value;
    return nullptr;
}

std::string ColumnText(SQLHSTMT statement, SQLUSMALLINT column) {
    char buffer[1024];
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) return "";
    return std::string(buffer, static_cast<std::size_t>(std::min<SQLLEN>(indicator, sizeof buffer - 1)));
}

std::string AttributeText(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    char buffer[512] = {0};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLColAttribute(statement, column, field, buffer, sizeof buffer, &length, nullptr);
    if (!SQL_SUCCEEDED(rc)) return "";
    return std::string(buffer, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(length, 0, sizeof buffer - 1)));
}

// Runs `sql` with `parameters` on `statement`, for at most `timeoutSeconds` (0 = no
// limit); the statement then holds any result set. False when the statement touched no
// row (SQL_NO_DATA: no result set is open then).
bool Run(SQLHSTMT statement, const std::string& sql, ParameterList* parameters, long timeoutSeconds) {
    if (parameters) parameters->Bind(statement);
    SQLRETURN rc = Bounded(statement, timeoutSeconds, [&] {
        return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    });
    CheckOdbc(rc, SQL_HANDLE_STMT, statement);
    return rc != SQL_NO_DATA;
}

bool HasResultSet(SQLHSTMT statement) {
    SQLSMALLINT count = 0;
    return SQL_SUCCEEDED(SQLNumResultCols(statement, &count)) && count > 0;
}

long RowCount(SQLHSTMT statement) {
    SQLLEN count = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(statement, &count))) return -1;
    return static_cast<long>(count);
}

// The kinds in which each column of a result is read.
std::vector<ValueKind> KindsOf(SQLHSTMT statement, std::vector<ColumnInfo>* columns) {
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(statement, &count), SQL_HANDLE_STMT, statement);
    std::vector<ValueKind> kinds;
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
        char name[512] = {0};
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
        SQLULEN size = 0;
        CheckOdbc(SQLDescribeCol(statement, i, reinterpret_cast<SQLCHAR*>(name), sizeof name, &nameLength, &sqlType,
                                 &size, &digits, &nullable),
                  SQL_HANDLE_STMT, statement);
        OdbcType type = TypeForSqlType(sqlType, size);
        // Drivers that lose a type in the SQL type code still name it: psqlODBC hands
        // booleans over as characters, the SQLite driver describes NUMERIC as DOUBLE.
        std::string typeName = AttributeText(statement, i, SQL_DESC_TYPE_NAME);
        if (EqualNoCase(typeName, "bool")) type = {adBoolean, ValueKind::Boolean, 2};
        if (StartsWithNoCase(typeName, "NUMERIC") || StartsWithNoCase(typeName, "DECIMAL"))
            type = {adNumeric, ValueKind::Double, 19};
        kinds.push_back(type.kind);
        if (columns) {
            ColumnInfo column;
            column.name.assign(name, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(nameLength, 0, sizeof name - 1)));
            column.type = type.type;
            column.definedSize = type.definedSize;
            column.nullable = nullable != SQL_NO_NULLS;
            columns->push_back(std::move(column));
        }
    }
    return kinds;
}

}  // namespace

OdbcLink::~OdbcLink() {
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
    if (EqualNoCase(dbmsName_, "PostgreSQL")) dbms_ = Dbms::PostgreSQL;
    else if (EqualNoCase(dbmsName_, "SQLite")) dbms_ = Dbms::SQLite;
    else if (EqualNoCase(dbmsName_, "MariaDB") || EqualNoCase(dbmsName_, "MySQL")) dbms_ = Dbms::MariaDB;
    if (dbms_ == Dbms::MariaDB && !request.properties.Get("OPTION")) {
        // By default the server counts an UPDATE that writes the values a row already has
        // as no change; write-back needs the count of rows found (the FOUND_ROWS flag).
        link_ = std::make_shared<OdbcLink>();
        Connect(text + ";OPTION=2", request.timeoutSeconds);
    }
    std::string quote = Info(SQL_IDENTIFIER_QUOTE_CHAR);
    quote_ = quote.empty() || quote == " " ? '\0' : quote[0];
    if (dbms_ == Dbms::MariaDB) catalog_ = Info(SQL_DATABASE_NAME);
}

void OdbcSession::Connect(const std::string& text, long timeoutSeconds) {
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link_->environment), SQL_HANDLE_ENV, SQL_NULL_HANDLE, true);
    CheckOdbc(SQLSetEnvAttr(link_->environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, link_->environment, true);
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_DBC, link_->environment, &link_->connection), SQL_HANDLE_ENV,
              link_->environment, true);
    if (timeoutSeconds > 0)
        SQLSetConnectAttr(link_->connection, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0);
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

std::string OdbcSession::Name(const std::string& identifier) const {
    if (quote_ == '\0') return identifier;
    return QuoteIdentifier(identifier, quote_);
}

// The columns that locate a row of `table`: its primary key, else the driver's best row
// identifier (a unique index).
std::vector<std::string> OdbcSession::KeyColumns(const std::string& table) {
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
    if (!keys.empty() || dbms_ == Dbms::PostgreSQL || dbms_ == Dbms::SQLite) return keys;
    Statement statement(link_);
    SQLRETURN rc = SQLSpecialColumns(statement.handle(), SQL_BEST_ROWID, catalog, catalogLength, nullptr, 0, text(table),
                                     SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE);
    if (SQL_SUCCEEDED(rc))
        while (SQL_SUCCEEDED(SQLFetch(statement.handle()))) keys.push_back(ColumnText(statement.handle(), 2));
    return keys;
}

std::vector<ColumnInfo> OdbcSession::Describe(SQLHSTMT statement, bool forUpdate,
                                              const std::optional<SingleTableSelect>& shape, bool identityAdded,
                                              std::vector<ValueKind>* kinds) {
    std::vector<ColumnInfo> columns;
    *kinds = KindsOf(statement, &columns);
    if (identityAdded && !columns.empty() && EqualNoCase(columns[0].name, kRowIdentityColumn)) {
        columns[0].name = kRowIdentityColumn;
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
            // PostgreSQL stores a name written without quotes in lower case.
            if (dbms_ == Dbms::PostgreSQL && !shape->written.empty() && shape->written.back() != '"')
                column.baseTable = AsciiLowered(column.baseTable);
        }
        if (column.baseColumn.empty() && !column.baseTable.empty()) column.baseColumn = column.name;
        if (!column.baseTable.empty()) tables.insert(column.baseTable);
    }
    for (const std::string& table : tables) {
        std::vector<std::string> keys = KeyColumns(table);
        for (ColumnInfo& column : columns)
            if (column.baseTable == table)
                column.key = std::any_of(keys.begin(), keys.end(),
                                         [&](const std::string& key) { return EqualNoCase(key, column.baseColumn); });
    }
    return columns;
}

CommandResult OdbcSession::Execute(const std::string& sql, const ExecuteOptions& options) {
    std::optional<SingleTableSelect> shape;
    std::string text = sql;
    if (options.forUpdate) shape = FindSingleTableSelect(sql);
    bool identityAdded = false;
    if (shape && dbms_ == Dbms::PostgreSQL) {
        // Only tables have a ctid; asked first, since a failing statement would abort
        // the caller's transaction.
        ParameterList parameters;
        parameters.Add(Value{ValueKind::Text, 0, 0, shape->written}, adVarWChar);
        Statement probe(link_);
        Run(probe.handle(), "SELECT relkind FROM pg_class WHERE oid = to_regclass(CAST(? AS text))", &parameters,
            link_->commandTimeout);
        std::string kind;
        if (SQL_SUCCEEDED(SQLFetch(probe.handle()))) kind = ColumnText(probe.handle(), 1);
        if (kind.empty() || std::strchr("rpm", kind[0]) == nullptr) shape.reset();
    }
    if (shape && (dbms_ == Dbms::PostgreSQL || dbms_ == Dbms::SQLite)) {
        text = WithIdentityColumn(sql, *shape, dbms_ == Dbms::PostgreSQL ? "ctid" : "rowid");
        identityAdded = true;
    }
    auto statement = std::make_unique<Statement>(link_);
    SQLSetStmtAttr(statement->handle(), SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
    auto runText = [&] {
        SQLHSTMT handle = statement->handle();
        return Bounded(handle, link_->commandTimeout,
                       [&] { return SQLExecDirect(handle, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS); });
    };
    SQLRETURN rc = runText();
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA && identityAdded && dbms_ == Dbms::SQLite) {
        // A SQLite view (or a table without rowid) has no row identity: read its rows as
        // they are.
        identityAdded = false;
        text = sql;
        statement = std::make_unique<Statement>(link_);
        rc = runText();
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, statement->handle());
    CommandResult result;
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(statement->handle(), &count), SQL_HANDLE_STMT, statement->handle());
    if (count == 0) {
        result.recordsAffected = rc == SQL_NO_DATA ? 0 : RowCount(statement->handle());
        return result;
    }
    std::vector<ValueKind> kinds;
    std::vector<ColumnInfo> columns = Describe(statement->handle(), options.forUpdate, shape, identityAdded, &kinds);
    // The PostgreSQL row identity (a tid) reads as text whatever the driver calls it.
    if (identityAdded && dbms_ == Dbms::PostgreSQL && columns[0].rowIdentity) kinds[0] = ValueKind::Text;
    result.rows = std::make_unique<OdbcRows>(link_, statement->Release(), std::move(columns), std::move(kinds));
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
        if (dbms_ == Dbms::MariaDB && !catalog_.empty() && filter.catalog.empty() && entry.catalog != catalog_) continue;
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

void OdbcSession::EndTransaction(SQLSMALLINT completion) {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, link_->connection, completion);
    SQLSetConnectAttr(link_->connection, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    CheckOdbc(rc, SQL_HANDLE_DBC, link_->connection);
}

void OdbcSession::CommitTransaction() { EndTransaction(SQL_COMMIT); }
void OdbcSession::RollbackTransaction() { EndTransaction(SQL_ROLLBACK); }

// The driver's own verdict; it knows of a lost link once a call has met it.
bool OdbcSession::ConnectionLost() {
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLRETURN rc = SQLGetConnectAttr(link_->connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

// The WHERE clause that picks exactly the row at `locator` and checks the original values
// of the columns being changed. Without a unique locator, the first matching row is taken:
// a keyless table may hold identical rows and only one of them may change.
std::string OdbcSession::RowCondition(const std::string& table, const RowLocator& locator,
                                      const std::vector<ColumnWrite>* changed, ParameterList* parameters) const {
    std::string conditions;
    auto add = [&](const std::string& column, const Value& value, DataTypeEnum type) {
        if (!conditions.empty()) conditions += " AND ";
        if (value.kind == ValueKind::Null) {
            conditions += Name(column) + " IS NULL";
        } else if (value.kind == ValueKind::Double && dbms_ == Dbms::SQLite) {
            // The SQLite driver reads a double through its 15-digit text, so the value read
            // may differ from the one stored in the last digits: compare the same text.
            conditions += "CAST(" + Name(column) + " AS TEXT) = CAST(? AS TEXT)";
            parameters->Add(value, type);
        } else {
            conditions += Name(column) + " = ?";
            parameters->Add(value, type);
        }
    };
    const Value* identity = IdentityOf(locator);
    if (identity) {
        std::string where;
        if (dbms_ == Dbms::PostgreSQL) where = "ctid = CAST(? AS tid)";
        else if (dbms_ == Dbms::SQLite) where = "rowid = ?";
        if (!where.empty()) {
            parameters->Add(*identity, adVarWChar);
            if (changed)
                for (const ColumnWrite& write : *changed) add(write.column, write.original, write.type);
            return conditions.empty() ? where : where + " AND " + conditions;
        }
    }
    for (const auto& [column, value] : locator.columns)
        if (!IsIdentity(column)) add(column, value, adVarWChar);
    if (changed)
        for (const ColumnWrite& write : *changed) add(write.column, write.original, write.type);
    if (conditions.empty()) throw _com_error(DB_E_CONCURRENCYVIOLATION, "the row has no locator");
    if (dbms_ == Dbms::PostgreSQL)
        return "ctid = (SELECT ctid FROM " + Name(table) + " WHERE " + conditions + " LIMIT 1)";
    if (dbms_ == Dbms::SQLite)
        return "rowid = (SELECT rowid FROM " + Name(table) + " WHERE " + conditions + " LIMIT 1)";
    if (dbms_ == Dbms::MariaDB) return conditions + " LIMIT 1";
    return conditions;
}

long OdbcSession::InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    if (dbms_ == Dbms::SQLite) RefuseNaN(columns);
    ParameterList parameters;
    std::string sql = "INSERT INTO " + Name(table);
    if (columns.empty()) {
        sql += dbms_ == Dbms::MariaDB ? " () VALUES ()" : " DEFAULT VALUES";
    } else {
        std::string names, marks;
        for (const ColumnWrite& write : columns) {
            if (!names.empty()) { names += ", "; marks += ", "; }
            names += Name(write.column);
            marks += "?";
            parameters.Add(write.value, write.type);
        }
        sql += " (" + names + ") VALUES (" + marks + ")";
    }
    // PostgreSQL and SQLite give the stored row back with its identity, so that defaults
    // and generated keys reach the cursor.
    if (dbms_ == Dbms::PostgreSQL) sql += " RETURNING ctid, *";
    Statement statement(link_);
    bool touched = Run(statement.handle(), sql, &parameters, link_->commandTimeout);
    long inserted = 0;
    RowLocator found;
    // Reads the single row of `source`: its first column is the identity when `identity`.
    auto readRow = [&](SQLHSTMT source, bool identity) {
        std::vector<ColumnInfo> described;
        std::vector<ValueKind> kinds = KindsOf(source, &described);
        if (identity && dbms_ == Dbms::PostgreSQL && !kinds.empty()) kinds[0] = ValueKind::Text;
        OdbcRows rows(link_, source, described, kinds);
        long count = 0;
        while (rows.Fetch()) {
            if (++count > 1) continue;
            found.columns.clear();
            for (std::size_t i = identity ? 1 : 0; i < kinds.size(); ++i)
                found.columns.emplace_back(described[i].name, Value::FromCell(rows.Cell(i)));
            if (identity) found.columns.emplace_back(kRowIdentityColumn, Value::FromCell(rows.Cell(0)));
        }
        return count;
    };
    if (!touched) {
        inserted = 0;
    } else if (dbms_ == Dbms::PostgreSQL) {
        inserted = HasResultSet(statement.handle()) ? readRow(statement.Release(), true) : 0;
    } else {
        inserted = RowCount(statement.handle());
        if (inserted == 1 && dbms_ == Dbms::SQLite) {
            Statement lookup(link_);
            Run(lookup.handle(), "SELECT rowid, * FROM " + Name(table) + " WHERE rowid = last_insert_rowid()", nullptr,
                link_->commandTimeout);
            readRow(lookup.Release(), true);
        } else if (inserted == 1) {
            // The key as written, or the one the server generated; without a key, the
            // values written are all that locate the row.
            std::vector<std::string> keys = KeyColumns(table);
            bool keyKnown = !keys.empty();
            for (const std::string& key : keys) {
                auto written = std::find_if(columns.begin(), columns.end(),
                                            [&](const ColumnWrite& write) { return EqualNoCase(write.column, key); });
                if (written == columns.end()) keyKnown = false;
                else found.columns.emplace_back(key, written->value);
            }
            if (!keyKnown && keys.size() == 1 && dbms_ == Dbms::MariaDB) {
                found.columns.clear();
                Statement lookup(link_);
                Run(lookup.handle(), "SELECT LAST_INSERT_ID()", nullptr, link_->commandTimeout);
                if (SQL_SUCCEEDED(SQLFetch(lookup.handle()))) {
                    SQLBIGINT id = 0;
                    SQLLEN indicator = 0;
                    SQLGetData(lookup.handle(), 1, SQL_C_SBIGINT, &id, sizeof id, &indicator);
                    found.columns.emplace_back(keys[0], Value{ValueKind::Integer, id, 0, {}});
                    keyKnown = id != 0;
                }
            }
            if (keyKnown) {
                // The stored row, defaults included, read back by its key.
                ParameterList keyValues;
                std::string where;
                for (const auto& [column, value] : found.columns) {
                    if (!where.empty()) where += " AND ";
                    where += Name(column) + " = ?";
                    keyValues.Add(value, adVarWChar);
                }
                Statement lookup(link_);
                std::string query = "SELECT * FROM " + Name(table) + " WHERE " + where;
                if (dbms_ == Dbms::MariaDB) query += " LIMIT 1";
                Run(lookup.handle(), query, &keyValues, link_->commandTimeout);
                RowLocator keyOnly = found;
                if (readRow(lookup.Release(), false) != 1) found = std::move(keyOnly);
            } else if (keys.empty()) {
                for (const ColumnWrite& write : columns) found.columns.emplace_back(write.column, write.value);
            }
        }
    }
    if (locator && inserted == 1) *locator = std::move(found);
    return inserted;
}

long OdbcSession::UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    if (columns.empty()) return 1;
    if (dbms_ == Dbms::SQLite) RefuseNaN(columns);
    ParameterList parameters;
    std::string sets;
    for (const ColumnWrite& write : columns) {
        if (!sets.empty()) sets += ", ";
        sets += Name(write.column) + " = ?";
        parameters.Add(write.value, write.type);
    }
    std::string sql = "UPDATE " + Name(table) + " SET " + sets + " WHERE " +
                      RowCondition(table, *locator, &columns, &parameters);
    bool returning = dbms_ == Dbms::PostgreSQL;
    if (returning) sql += " RETURNING ctid";
    Statement statement(link_);
    bool touched = Run(statement.handle(), sql, &parameters, link_->commandTimeout);
    long updated = 0;
    std::string newIdentity;
    if (!touched) {
        updated = 0;
    } else if (returning) {
        if (!HasResultSet(statement.handle())) return 0;
        OdbcRows rows(link_, statement.Release(), std::vector<ColumnInfo>(1), {ValueKind::Text});
        while (rows.Fetch())
            if (++updated == 1) newIdentity = std::string(rows.Cell(0).bytes);
    } else {
        updated = RowCount(statement.handle());
    }
    if (updated == 1) {
        // An UPDATE on PostgreSQL writes a new row version with a new ctid; a changed key
        // or located column moves the locator too.
        for (auto& [column, value] : locator->columns) {
            if (IsIdentity(column)) {
                if (returning) value = Value{ValueKind::Text, 0, 0, newIdentity};
                continue;
            }
            for (const ColumnWrite& write : columns)
                if (EqualNoCase(write.column, column)) value = write.value;
        }
    }
    return updated;
}

long OdbcSession::DeleteRow(const std::string& table, const RowLocator& locator) {
    ParameterList parameters;
    std::string sql = "DELETE FROM " + Name(table) + " WHERE " + RowCondition(table, locator, nullptr, &parameters);
    Statement statement(link_);
    if (!Run(statement.handle(), sql, &parameters, link_->commandTimeout)) return 0;
    return RowCount(statement.handle());
}

}  // namespace dbplatform::provider::odbc
