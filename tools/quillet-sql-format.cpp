// quillet-sql: writing results as a table, CSV or JSON.
#include "quillet-sql-format.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

namespace quilletsql {

namespace {

// Characters on screen: UTF-8 continuation bytes do not count.
std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++width;
    return width;
}

// A cell's text in the table; line breaks and tabs would break the alignment, so they are shown escaped.
std::string TableText(const Cell& cell) {
    if (!cell.text) return "NULL";
    std::string shown;
    for (char c : *cell.text) {
        if (c == '\n') shown += "\\n";
        else if (c == '\r') shown += "\\r";
        else if (c == '\t') shown += "\\t";
        else shown += c;
    }
    return shown;
}

void Pad(std::ostream& out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out << ' ';
}

void WriteTable(std::ostream& out, const ResultTable& result) {
    const std::size_t columns = result.columns.size();
    std::vector<std::size_t> widths(columns);
    std::vector<bool> rightAligned(columns, true);
    for (std::size_t c = 0; c < columns; ++c) widths[c] = DisplayWidth(result.columns[c]);
    std::vector<std::vector<std::string>> shown;
    shown.reserve(result.rows.size());
    for (const std::vector<Cell>& row : result.rows) {
        std::vector<std::string>& texts = shown.emplace_back();
        for (std::size_t c = 0; c < columns; ++c) {
            texts.push_back(TableText(row[c]));
            widths[c] = std::max(widths[c], DisplayWidth(texts.back()));
            if (row[c].text && !row[c].bare) rightAligned[c] = false;
        }
    }
    // The last column is not padded on the right: no trailing blanks.
    for (std::size_t c = 0; c < columns; ++c) {
        out << (c ? " | " : " ") << result.columns[c];
        if (c + 1 < columns) Pad(out, widths[c] - DisplayWidth(result.columns[c]));
    }
    out << '\n';
    for (std::size_t c = 0; c < columns; ++c) out << (c ? "-+-" : "-") << std::string(widths[c], '-');
    out << "-\n";
    for (const std::vector<std::string>& texts : shown) {
        for (std::size_t c = 0; c < columns; ++c) {
            out << (c ? " | " : " ");
            const std::size_t gap = widths[c] - DisplayWidth(texts[c]);
            if (rightAligned[c]) Pad(out, gap);
            out << texts[c];
            if (!rightAligned[c] && c + 1 < columns) Pad(out, gap);
        }
        out << '\n';
    }
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void WriteCsv(std::ostream& out, const ResultTable& result) {
    for (std::size_t c = 0; c < result.columns.size(); ++c) out << (c ? "," : "") << CsvField(result.columns[c]);
    out << "\r\n";
    for (const std::vector<Cell>& row : result.rows) {
        for (std::size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << (row[c].text ? CsvField(*row[c].text) : "");
        out << "\r\n";
    }
}

void WriteJson(std::ostream& out, const ResultTable& result) {
    out << '[';
    for (std::size_t r = 0; r < result.rows.size(); ++r) {
        out << (r ? ",\n " : "\n ") << '{';
        for (std::size_t c = 0; c < result.columns.size(); ++c) {
            const Cell& cell = result.rows[r][c];
            out << (c ? ", " : "") << JsonString(result.columns[c]) << ": ";
            if (!cell.text) out << "null";
            else if (cell.bare) out << *cell.text;
            else out << JsonString(*cell.text);
        }
        out << '}';
    }
    out << (result.rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                quoted += escaped;
            } else {
                quoted += static_cast<char>(c);
            }
        }
    }
    return quoted + '"';
}

void WriteResult(std::ostream& out, const ResultTable& result, OutputFormat format) {
    for ([[maybe_unused]] const std::vector<Cell>& row : result.rows) assert(row.size() == result.columns.size());
    switch (format) {
    case OutputFormat::Table: WriteTable(out, result); break;
    case OutputFormat::Csv: WriteCsv(out, result); break;
    case OutputFormat::Json: WriteJson(out, result); break;
    }
}

}  // namespace quilletsql
