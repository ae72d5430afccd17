// Recognises the simple queries whose rows can be written back: one SELECT reading one
// table, without DISTINCT, an aggregate, GROUP BY, a set operation or a join. Each result
// row of such a query stands for exactly one row of the table, which is what a row
// identity column (rowid, ctid) added to it promises. Every provider asks this one
// recogniser, on the shared tokenizer.
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

// Where the providers' readings of a select differ.
struct SelectRules {
    // Whether `FROM schema.table` is taken. The SQLite provider compares the FROM name
    // with the bare name of the table its result columns come from, and takes no prefix.
    bool schemaPrefix = true;
};

// The table of `sql` when it is `SELECT [ALL] list FROM table [[AS] alias]
// [WHERE|ORDER BY|LIMIT|OFFSET|FETCH|FOR ...] [;]` with no second table, grouping,
// aggregate or set operation; std::nullopt otherwise, and for any text it cannot read
// with certainty (an unbalanced parenthesis, an unterminated quoted name, a second
// statement). A refusal is always safe: the rows are then read without a row identity.
std::optional<SingleTableSelect> FindSingleTableSelect(std::string_view sql, const SelectRules& rules = {});

// `sql` with `expression AS <kRowIdentityName>` put first in the select list.
std::string WithIdentityColumn(std::string_view sql, const SingleTableSelect& shape,
                               std::string_view expression);

}  // namespace dbplatform::provider
