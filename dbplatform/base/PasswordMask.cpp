// Masking of password values in connection strings and in texts that quote them.
#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/base/AsciiText.h>

#include <cctype>

namespace dbplatform {
namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Whether the key that ends right before an '=' names a password: it ends in the word
// "password" or "pwd", not inside a longer word ("xpwd" is not a password key).
bool IsPasswordKey(std::string_view before) {
    while (!before.empty() && (before.back() == ' ' || before.back() == '\t')) before.remove_suffix(1);
    for (std::string_view word : {std::string_view("password"), std::string_view("pwd")}) {
        if (!EndsWithNoCase(before, word)) continue;
        std::size_t start = before.size() - word.size();
        if (start == 0 || !IsWordChar(before[start - 1])) return true;
    }
    return false;
}

// The end of the value starting at `at` (after the '=' and any blanks): a quoted or
// braced value ends after its closing mark (doubled marks stay inside), an unclosed one
// runs to the end, a bare one ends at the next ';'.
std::size_t ValueEnd(std::string_view text, std::size_t at) {
    if (at >= text.size()) return at;
    char open = text[at];
    if (open == '"' || open == '\'' || open == '{') {
        char close = open == '{' ? '}' : open;
        for (std::size_t i = at + 1; i < text.size(); ++i) {
            if (text[i] != close) continue;
            if (i + 1 < text.size() && text[i + 1] == close) {
                ++i;
                continue;
            }
            return i + 1;
        }
        return text.size();
    }
    std::size_t semicolon = text.find(';', at);
    return semicolon == std::string_view::npos ? text.size() : semicolon;
}

}  // namespace

// One pass: text is copied as it is until a password key's '='; its value is replaced.
std::string MaskPasswords(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=' || !IsPasswordKey(text.substr(0, i))) continue;
        std::size_t start = i + 1;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
        std::size_t end = ValueEnd(text, start);
        out.append(text.substr(copied, start - copied));
        if (end > start) out += "***";
        copied = end;
        i = end - 1;  // end > i: the loop goes on after the value
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace dbplatform
