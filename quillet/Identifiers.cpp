#include <quillet/Identifiers.h>
#include <quillet/SqlText.h>

#include <cassert>
#include <string>

namespace quillet {

// Nothing here could close a bracket or quote, start a comment, end the statement or
// separate two words. Non-ASCII bytes are kept so that names in other scripts (Chinese
// column names) stay allowed.
bool IsIdentifierByte(char ch) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    return byte >= 0x80 || IsWordChar(ch) || ch == '$';
}

bool IsPlainIdentifier(std::string_view name) {
    if (name.empty()) return false;
    for (char ch : name)
        if (!IsIdentifierByte(ch)) return false;
    return true;
}

// An empty part (a leading, trailing or doubled dot) is no name.
bool IsTableName(std::string_view name) {
    for (;;) {
        std::size_t dot = name.find('.');
        if (!IsPlainIdentifier(name.substr(0, dot))) return false;
        if (dot == std::string_view::npos) return true;
        name.remove_prefix(dot + 1);
    }
}

// Type words are keywords of the products, which are all ASCII, so non-ASCII bytes are
// refused: they are never needed, and in a multi-byte code page a trailing byte may read
// as a quote or bracket to a server that decodes the text differently. A parenthesis
// holds sizes only, so nothing in it can name a table, call a function or close the
// column list early.
bool IsColumnWords(std::string_view words) {
    bool inParentheses = false;
    for (char ch : words) {
        if (ch == '(') {
            if (inParentheses) return false;
            inParentheses = true;
        } else if (ch == ')') {
            if (!inParentheses) return false;
            inParentheses = false;
        } else if (inParentheses) {
            if (!IsDigit(ch) && ch != ',' && !IsBlank(ch)) return false;
        } else if (!IsWordChar(ch) && !IsBlank(ch)) {
            return false;
        }
    }
    return !inParentheses;
}

CString BracketedTableName(const CString& table) {
    assert(IsTableName(table.str()));
    std::string bracketed = "[";
    for (char ch : table.str()) {
        if (ch == '.') bracketed += "].[";
        else bracketed += ch;
    }
    return CString(bracketed + "]");
}

}  // namespace quillet
