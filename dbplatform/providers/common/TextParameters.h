// The quoted texts a plain query compares in its WHERE clause, taken out as parameters.
//
// A store sends the same query again and again with another key written into it as a text
// ('2026-01-05 04:06:00'). A driver that keeps a prepared statement only for a text with
// parameters (the SQLite driver) can run such a query again without preparing it anew once
// the key is a parameter. Only places where a parameter means exactly what the text meant
// are touched: a '...' text standing as a value in the WHERE clause of one plain SELECT
// (after a comparison, an operator, AND/OR/NOT, LIKE/GLOB/BETWEEN/IS, CASE's words, a '('
// or a ','). Neither a text that SQLite could take as a name (before a '.', after IN,
// COLLATE or AS), a select list, nor a compound select is changed; numbers stay as written,
// since the engine's own reading of a number is what the query means.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dbplatform::provider {

struct TextParameters {
    std::string sql;                  // the query, each such text replaced by ?
    std::vector<std::string> values;  // the texts in order, quotes removed and '' undone
};

// At most this many texts become parameters: a query comparing more (a long IN list) is
// not one a store runs again and again, and engines limit a statement's parameters
// (SQLite to 32,766) where they take any number of texts.
inline constexpr std::size_t kMostTextParameters = 32;

// The query with its texts as parameters; `values` is empty (and `sql` too) when there is
// none, or when `sql` is not one plain SELECT: a ';', a parameter marker of its own (?, :,
// @, $), an unterminated quote, a compound select or more than kMostTextParameters texts
// leaves the text as it is.
TextParameters TextsAsParameters(std::string_view sql);

}  // namespace dbplatform::provider
