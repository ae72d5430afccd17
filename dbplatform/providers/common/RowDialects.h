// Each product's way of finding a row again, for the providers that reach it.
#pragma once

#include <cstdint>
#include <string_view>

#include <dbplatform/providers/common/RowTargeting.h>

namespace dbplatform::provider {

// The products whose rows a provider knows how to find again; Other locates by key alone.
enum class Product : std::uint8_t { SQLite, PostgreSQL, MariaDB, Other };

// The product behind a DBMS name as a driver reports it ("PostgreSQL", "SQLite",
// "MariaDB" or "MySQL"), case-insensitive; Other for any other.
Product ProductOfDbmsName(std::string_view dbmsName);

// The row dialect of `product` reached through a driver: SQLite by its rowid, PostgreSQL
// by its ctid, MariaDB by its key with LIMIT 1, any other by its key only. Quoting is
// the driver's own: the caller sets `quote` from it.
RowDialect RowDialectOf(Product product);

// The embedded SQLite engine's row dialect for a table, with the comparisons that see
// through how that provider stores dates, Booleans and bytes (canonical_date_text is the
// provider's own SQL function). `rowidName` is the table's name for its rowid (rowid,
// _rowid_ or oid, whichever no column shadows), empty for a table without one: its rows
// are then located by key, the first match where the engine can limit a change
// (`canLimitChanges`), else not at all.
RowDialect EmbeddedSqliteRowDialect(std::string_view rowidName, bool canLimitChanges);

// Whether a table of PostgreSQL's relkind `relkind` has a ctid (tables, partitioned
// tables and materialised views; a view has none).
bool RelationKindHasRowIdentity(std::string_view relkind);

// The query asking PostgreSQL the relkind of the relation named (as written, quotes
// included) by the parameter `marker`.
std::string RelationKindQuery(std::string_view marker);

}  // namespace dbplatform::provider
