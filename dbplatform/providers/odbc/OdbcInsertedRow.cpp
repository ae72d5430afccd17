#include <dbplatform/providers/odbc/OdbcInsertedRow.h>

#include <cassert>

#include <dbplatform/providers/common/RowTargeting.h>
#include <dbplatform/providers/odbc/OdbcCalls.h>
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
    return sql + " FROM " + QuotedName(dialect, table) + " WHERE " + dialect.identity + " = " + dialect.lastIdentity;
}

// The new row as stored (defaults included), its row identity last. The first read of a
// table under a schema version describes the full statement; later ones reuse that
// description for the statement of bare values. Any statement that may change a table's
// definition, or roll one back, forgets the descriptions (see SchemaBoundFacts).
void OdbcSession::ReadInsertedRow(const std::string& table, StoredRow* stored) {
    const RowDialect& dialect = product_.rows;
    const std::string version = SchemaVersion();
    Statement lookup(link_);
    if (const InsertedRowShape* kept = insertedRows_.Find(table, version)) {
        Run(lookup.handle(), kept->select, nullptr, link_->commandTimeout);
        ReadRows(lookup.Release(), kept->columns, kept->kinds, true, stored);
        return;
    }
    Run(lookup.handle(), SelectInsertedStatement(dialect, table), nullptr, link_->commandTimeout);
    InsertedRowShape shape;
    shape.kinds = KindsOf(lookup.handle(), &shape.columns);
    if (product_.identityReadsAsText && !shape.kinds.empty()) shape.kinds[0] = ValueKind::Text;
    ReadRows(lookup.Release(), shape.columns, shape.kinds, true, stored);
    if (product_.product != Product::SQLite) return;
    shape.select = SelectInsertedValuesStatement(dialect, table, shape.columns, shape.kinds);
    if (!shape.select.empty()) insertedRows_.Keep(table, version, std::move(shape));
}

}  // namespace dbplatform::provider::odbc
