#include "TableName.h"

#include <string>

#include <dbplatform/com/ComError.h>

namespace dbplatform::ado {
namespace {

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool IsNameCharacter(unsigned char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '$'; }

// The closing quote of an opening one, or 0 when `c` opens no quoted name.
char ClosingQuote(char c) {
    switch (c) {
        case '[': return ']';
        case '"': return '"';
        case '`': return '`';
        default: return 0;
    }
}

bool IsForbiddenInQuotes(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '`' || c == '[' || c == ']' || c == ';';
}

// Reads one part at `text[*at]` and moves past it; false when none is there.
bool ReadPart(std::string_view text, std::size_t* at) {
    std::size_t i = *at;
    if (i >= text.size()) return false;
    if (char closing = ClosingQuote(text[i])) {
        std::size_t start = ++i;
        while (i < text.size() && text[i] != closing) {
            if (IsForbiddenInQuotes(static_cast<unsigned char>(text[i]))) return false;
            ++i;
        }
        if (i >= text.size() || i == start) return false;  // unclosed or empty
        std::string_view inner = text.substr(start, i - start);
        if (inner.find("--") != std::string_view::npos || inner.find("/*") != std::string_view::npos ||
            inner.find("*/") != std::string_view::npos)
            return false;
        *at = i + 1;
        return true;
    }
    if (!IsLetter(static_cast<unsigned char>(text[i]))) return false;
    while (i < text.size() && IsNameCharacter(static_cast<unsigned char>(text[i]))) ++i;
    *at = i;
    return true;
}

}  // namespace

bool IsTableName(std::string_view source) {
    while (!source.empty() && source.front() == ' ') source.remove_prefix(1);
    while (!source.empty() && source.back() == ' ') source.remove_suffix(1);
    std::size_t at = 0;
    for (int parts = 1;; ++parts) {
        if (parts > 3 || !ReadPart(source, &at)) return false;  // catalog.schema.table at most
        if (at == source.size()) return true;
        if (source[at] != '.') return false;
        ++at;
    }
}

void RequireTableName(std::string_view source) {
    if (!IsTableName(source))
        throw _com_error(E_INVALIDARG,
                         "A table command takes one table name: an identifier, optionally qualified, or a name "
                         "quoted with [], \"\" or backquotes.");
}

void RequireNoNul(std::string_view sql) {
    if (std::size_t nul = sql.find('\0'); nul != std::string_view::npos)
        throw _com_error(E_INVALIDARG, "The command text holds a NUL character at offset " + std::to_string(nul) + ".");
}

}  // namespace dbplatform::ado
