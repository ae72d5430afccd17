#include <dbplatform/providers/common/RowDialects.h>

#include <cstring>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/providers/common/Identifiers.h>

namespace dbplatform::provider {

Product ProductOfDbmsName(std::string_view dbmsName) {
    if (EqualNoCase(dbmsName, "PostgreSQL")) return Product::PostgreSQL;
    if (EqualNoCase(dbmsName, "SQLite")) return Product::SQLite;
    if (EqualNoCase(dbmsName, "MariaDB") || EqualNoCase(dbmsName, "MySQL")) return Product::MariaDB;
    return Product::Other;
}

RowDialect RowDialectOf(Product product) {
    RowDialect dialect;
    switch (product) {
        case Product::SQLite:
            dialect.identity = "rowid";
            dialect.oneRow = RowDialect::OneRow::IdentitySubquery;
            // The SQLite driver reads a double through its 15-digit text, so the value read
            // may differ from the one stored in the last digits: compare the same text.
            dialect.comparisons = {{ValueKind::Double, "CAST({} AS TEXT)", "CAST({} AS TEXT)"}};
            dialect.readBack = RowDialect::ReadBack::ByIdentity;
            dialect.lastIdentity = "last_insert_rowid()";
            break;
        case Product::PostgreSQL:
            // Quoted names are case-sensitive; a ctid travels as text and is cast back.
            dialect.namesIgnoreCase = false;
            dialect.identity = "ctid";
            dialect.identityCast = "tid";
            dialect.oneRow = RowDialect::OneRow::IdentitySubquery;
            dialect.readBack = RowDialect::ReadBack::Returning;
            break;
        case Product::MariaDB:
            dialect.quote = '`';
            dialect.oneRow = RowDialect::OneRow::LimitSuffix;
            dialect.generatedKey = "SELECT LAST_INSERT_ID()";
            dialect.emptyInsert = " () VALUES ()";
            break;
        case Product::Other: break;
    }
    return dialect;
}

RowDialect EmbeddedSqliteRowDialect(std::string_view rowidName, bool canLimitChanges) {
    RowDialect dialect = RowDialectOf(Product::SQLite);
    dialect.identity = rowidName;
    if (rowidName.empty()) {
        dialect.readBack = RowDialect::ReadBack::ByKey;
        dialect.oneRow = canLimitChanges ? RowDialect::OneRow::LimitSuffix : RowDialect::OneRow::Refused;
    }
    // This provider reads doubles exactly; it stores dates as canonical text (older rows
    // may hold other spellings), Booleans as 0/1 and bytes as blobs.
    dialect.comparisons = {
        {ValueKind::Date, "canonical_date_text({})", "{}"},
        {ValueKind::Boolean, "({} <> 0)", "{}"},
        {ValueKind::Bytes, "CAST({} AS BLOB)", "{}"},
    };
    return dialect;
}

bool RelationKindHasRowIdentity(std::string_view relkind) {
    return relkind.size() == 1 && std::strchr("rpm", relkind[0]) != nullptr;
}

std::string RelationKindQuery(std::string_view marker) {
    return "SELECT relkind FROM pg_class WHERE oid = to_regclass(CAST(" + std::string(marker) + " AS text))";
}

}  // namespace dbplatform::provider
