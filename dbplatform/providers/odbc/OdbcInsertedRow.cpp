#include <dbplatform/providers/odbc/OdbcInsertedRow.h>

#include <cassert>
#include <optional>

#include <dbplatform/providers/common/RowTargeting.h>
#include <dbplatform/providers/odbc/OdbcCalls.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/odbc/OdbcParameters.h>
#include <dbplatform/providers/odbc/OdbcSession.h>

namespace dbplatform::provider::odbc {

std::string SelectInsertedValuesStatement(const RowDialect& dialect, const std::string& table,
                                          const std::vector<ColumnInfo>& columns, const std::vector<ValueKind>& kinds) {
    assert(columns.size() == kinds.size());
    if (columns.size() < 2 || dialect.identity.empty() || dialect.lastIdentity.empty()) return "";
    // SQLite's bracketed names: the shortest text for the engine to parse, and never
    // taken for a text literal (as a double-quoted name that names no column would be).
    std::string sql = "SELECT " + dialect.identity;
    for (std::size_t i = 1; i < columns.size(); ++i) {
        const std::string& name = columns[i].name;
        if (kinds[i] == ValueKind::Bytes || name.empty() || name.find_first_of(".]") != std::string::npos) return "";
        sql += ", +[" + name + "]";
    }
    return sql + " FROM " + QuotedName(dialect, table) + " WHERE " + dialect.identity + " = ?";
}

namespace {

// Whether the catalog lists `columns` columns of `table`, each declared with a type. The
// SQLite driver describes a column declared without one from the values it holds, so
// that the description of one row read back tells nothing of the next.
bool EveryColumnTyped(SQLHSTMT statement, const std::string& table, std::size_t columns) {
    SQLCHAR* name = reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str()));
    if (!SQL_SUCCEEDED(SQLColumns(statement, nullptr, 0, nullptr, 0, name, SQL_NTS, nullptr, 0))) return false;
    std::size_t listed = 0;
    // The name is a pattern ('_' stands for any character): other tables' columns are
    // passed over, and any doubt keeps the full read-back.
    while (SQL_SUCCEEDED(SQLFetch(statement))) {
        if (ColumnText(statement, 3) != table) continue;
        if (ColumnText(statement, 6).empty()) return false;
        ++listed;
    }
    return listed == columns;
}

}  // namespace

// The identity the connection gave the row it inserted last, if any.
std::optional<SQLBIGINT> OdbcSession::LastIdentity() {
    Statement last(link_);
    Run(last.handle(), "SELECT " + product_.rows.lastIdentity, nullptr, link_->commandTimeout);
    if (!SQL_SUCCEEDED(SQLFetch(last.handle()))) return std::nullopt;
    SQLBIGINT identity = 0;
    SQLLEN indicator = SQL_NULL_DATA;
    CheckOdbc(SQLGetData(last.handle(), 1, SQL_C_SBIGINT, &identity, sizeof identity, &indicator), SQL_HANDLE_STMT,
              last.handle());
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return identity;
}

// The row of `table` with row identity `identity` as stored (defaults included), its
// identity last; nothing where no such row is left. The first read of a table under a
// schema version describes the full statement; later ones reuse that description for
// the statement of bare values. Any statement that may change a table's definition, or
// roll one back, forgets the descriptions (see SchemaBoundFacts).
void OdbcSession::ReadInsertedRow(const std::string& table, SQLBIGINT identity, StoredRow* stored) {
    const RowDialect& dialect = product_.rows;
    const std::string version = SchemaVersion();
    if (const InsertedRowShape* kept = insertedRows_.Find(table, version))
        return ReadKeptInsertedRow(*kept, version, identity, stored);
    ParameterList parameters;
    parameters.Add(Value{ValueKind::Integer, identity, 0, {}}, adBigInt);
    Statement lookup(link_);
    Run(lookup.handle(), SelectInsertedStatement(dialect, table, "?"), &parameters, link_->commandTimeout);
    InsertedRowShape shape;
    shape.kinds = KindsOf(lookup.handle(), &shape.columns);
    if (product_.identityReadsAsText && !shape.kinds.empty()) shape.kinds[0] = ValueKind::Text;
    ReadRows(lookup.Release(), shape.columns, shape.kinds, true, stored);
    if (product_.product != Product::SQLite || version.empty()) return;
    shape.select = SelectInsertedValuesStatement(dialect, table, shape.columns, shape.kinds);
    if (shape.select.empty()) return;
    Statement catalog(link_);
    if (EveryColumnTyped(catalog.handle(), table, shape.columns.size() - 1))
        insertedRows_.Keep(table, version, std::move(shape));
}

// Reads the row with the statement of bare values, its row identity bound as the
// statement's one parameter. The driver runs a statement with parameters again without
// preparing it anew (see KeptStatements), so a row of hundreds of columns is not parsed
// and looked up in the catalog for every insert.
void OdbcSession::ReadKeptInsertedRow(const InsertedRowShape& shape, const std::string& schemaVersion,
                                      SQLBIGINT identity, StoredRow* stored) {
    auto parameters = std::make_unique<ParameterList>();
    parameters->Add(Value{ValueKind::Integer, identity, 0, {}}, adBigInt);
    QueryRun run = RunKept(shape.select, schemaVersion, std::move(parameters));
    CheckOdbc(run.rc, SQL_HANDLE_STMT, run.statement->handle());
    // The rows hold the bound value until they are read, as the driver may read it then.
    ReadRows(run.statement->Release(), shape.columns, shape.kinds, true, stored, run.keptText, run.generation,
             std::move(run.parameters));
}

}  // namespace dbplatform::provider::odbc
