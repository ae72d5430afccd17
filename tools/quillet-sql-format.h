// quillet-sql: the results of one statement as text: an aligned table, CSV or JSON.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quilletsql {

enum class OutputFormat { Table, Csv, Json };

// One cell: its text, or nothing for NULL. Numbers and booleans are marked so that the
// table aligns them right and JSON writes them bare.
struct Cell {
    std::optional<std::string> text;
    bool bare = false;  // a number or a boolean: JSON without quotes
};

// A result as read from a recordset: column names and rows of as many cells.
struct ResultTable {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

// Writes `result` to `out` in `format`. Every row must have as many cells as there are
// columns (asserted). CSV: a header line, RFC 4180 quoting, NULL as an empty field. JSON:
// one array of objects, keys in column order. Table: a header, a rule and the rows,
// columns as wide as their widest text (counted in characters, not bytes), NULL as "NULL".
void WriteResult(std::ostream& out, const ResultTable& result, OutputFormat format);

// `text` as a JSON string literal, quotes included; control characters escaped.
std::string JsonString(const std::string& text);

}  // namespace quilletsql
