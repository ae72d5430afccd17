#include <dbplatform/providers/odbc/OdbcProduct.h>

namespace dbplatform::provider::odbc {

OdbcProduct OdbcProductOf(std::string_view dbmsName) {
    OdbcProduct description;
    description.product = ProductOfDbmsName(dbmsName);
    description.rows = RowDialectOf(description.product);
    switch (description.product) {
        case Product::SQLite:
            description.identityMayBeMissing = true;
            description.storesNaNAsNull = true;
            description.readsNumbersAsText = true;
            description.bestRowIdIsKey = false;
            description.schemaVersionQuery = "PRAGMA schema_version";
            break;
        case Product::PostgreSQL:
            description.identityOnlyOnTables = true;
            description.identityReadsAsText = true;
            description.lowerCasesUnquotedNames = true;
            description.bestRowIdIsKey = false;
            break;
        case Product::MariaDB:
            description.needsFoundRowsOption = true;
            description.catalogIsDatabase = true;
            break;
        case Product::Other: break;
    }
    return description;
}

}  // namespace dbplatform::provider::odbc
