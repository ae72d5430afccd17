// The tables listing every provider hands to OpenSchema(adSchemaTables): the entries the
// restrictions admit, in ADO's order. Each provider reads its engine's catalog and names
// the type of each entry; what is kept and in which order is decided here, once.
#pragma once

#include <string>
#include <vector>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider {

// How an engine compares the catalog, schema and table names of a restriction.
enum class NameMatch {
    Exact,       // PostgreSQL and the ODBC drivers: names are case-sensitive once created
    IgnoreCase,  // SQLite resolves names without regard to ASCII case
};

// True when `entry` meets every restriction of `filter`: an empty restriction admits
// everything; the type restriction is one type or a comma-separated list of them,
// compared without regard to case, as ADO compares it.
bool TableMatches(const TableEntry& entry, const TableFilter& filter, NameMatch names);

// The type restriction as a catalog function (SQLTables) takes it: the types upper-cased
// and trimmed, joined by ',' alone. Drivers differ on case and on blanks in the list; the
// restriction must still reach them, since some list system tables only when asked.
std::string TypeListForCatalog(const std::string& restriction);

// `entries` without those `filter` refuses, sorted by type, catalog, schema and name
// (ADO's order for this listing); entries equal in all four keep their order.
std::vector<TableEntry> FilterAndSortTables(std::vector<TableEntry> entries, const TableFilter& filter,
                                            NameMatch names);

}  // namespace dbplatform::provider
