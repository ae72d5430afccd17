// Recognises the simple queries whose rows can be written back: one SELECT reading one
// table, without DISTINCT, GROUP BY, UNION or a join. Used by the providers that must add
// a row identity column (ctid, rowid) to such a query before running it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <dbplatform/providers/common/Identifiers.h>

namespace dbplatform::provider {

struct SingleTableSelect {
    std::string table;          // as written, quotes removed, without a schema prefix
    std::string schema;         // empty unless written as schema.table
    std::string written;        // the table's reference exactly as in the statement, quotes included
    std::size_t listStart = 0;  // offset of the select list in the statement
};

// The table of `sql` when it is `SELECT list FROM table [alias] [WHERE|ORDER BY|LIMIT|...]`
// with no second table, grouping or set operation; std::nullopt otherwise.
std::optional<SingleTableSelect> FindSingleTableSelect(std::string_view sql);

// `sql` with `expression AS <kRowIdentityName>` put first in the select list.
std::string WithIdentityColumn(std::string_view sql, const SingleTableSelect& shape,
                               std::string_view expression);

}  // namespace dbplatform::provider
