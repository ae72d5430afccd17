#include <dbplatform/providers/common/SqlTokens.h>

#include <dbplatform/base/AsciiText.h>

namespace dbplatform::provider {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Bytes that may start an identifier: letters, '_' and every byte of a UTF-8 sequence.
bool IsWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordPart(char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }

// Offset just past the blanks and comments starting at `position`.
std::size_t SkipBlanksAndComments(std::string_view text, std::size_t position) {
    const std::size_t size = text.size();
    while (position < size) {
        char c = text[position];
        if (IsBlank(c)) {
            ++position;
        } else if (c == '-' && position + 1 < size && text[position + 1] == '-') {
            while (position < size && text[position] != '\n') ++position;
        } else if (c == '/' && position + 1 < size && text[position + 1] == '*') {
            position += 2;
            while (position < size && !(text[position] == '*' && position + 1 < size && text[position + 1] == '/')) {
                ++position;
            }
            position = position < size ? position + 2 : size;
        } else {
            break;
        }
    }
    return position;
}

// Offset just past a quoted token opened at `position` and closed by `close`; a doubled
// closing quote stands for itself except inside [...], which has no escape.
std::size_t SkipQuoted(std::string_view text, std::size_t position, char close) {
    const std::size_t size = text.size();
    const bool doubles = close != ']';
    ++position;
    while (position < size) {
        if (text[position] == close) {
            if (doubles && position + 1 < size && text[position + 1] == close) {
                position += 2;
                continue;
            }
            return position + 1;
        }
        ++position;
    }
    return size;
}

}  // namespace

// Reads one token; anything unknown is a one-byte Other so
// that the caller always advances.
Token NextToken(std::string_view text, std::size_t position) {
    const std::size_t size = text.size();
    position = SkipBlanksAndComments(text, position);
    Token token;
    token.begin = position;
    if (position >= size) {
        token.begin = token.end = size;
        return token;
    }
    char c = text[position];
    if (c == '\'' || c == '"' || c == '`') {
        token.kind = TokenKind::Quoted;
        token.end = SkipQuoted(text, position, c);
    } else if (c == '[') {
        token.kind = TokenKind::Quoted;
        token.end = SkipQuoted(text, position, ']');
    } else if (IsWordStart(c)) {
        std::size_t end = position + 1;
        while (end < size && IsWordPart(text[end])) ++end;
        token.kind = TokenKind::Word;
        token.end = end;
    } else if (IsDigit(c) || (c == '.' && position + 1 < size && IsDigit(text[position + 1]))) {
        std::size_t end = position + 1;
        while (end < size) {
            char d = text[end];
            if (IsWordPart(d) || d == '.') {
                ++end;
            } else if ((d == '+' || d == '-') && (text[end - 1] == 'e' || text[end - 1] == 'E')) {
                ++end;
            } else {
                break;
            }
        }
        token.kind = TokenKind::Number;
        token.end = end;
    } else {
        token.end = position + 1;
        switch (c) {
            case '(': token.kind = TokenKind::Open; break;
            case ')': token.kind = TokenKind::Close; break;
            case ';': token.kind = TokenKind::Semicolon; break;
            case ',': token.kind = TokenKind::Comma; break;
            case '#': token.kind = TokenKind::Hash; break;
            default: token.kind = TokenKind::Other; break;
        }
    }
    return token;
}

bool IsWord(std::string_view text, const Token& token, std::string_view word) {
    return token.kind == TokenKind::Word && EqualNoCase(text.substr(token.begin, token.end - token.begin), word);
}

bool IsAnyWord(std::string_view text, const Token& token, std::initializer_list<std::string_view> words) {
    for (std::string_view word : words) {
        if (IsWord(text, token, word)) return true;
    }
    return false;
}

bool IsByte(std::string_view text, const Token& token, char c) {
    return token.end == token.begin + 1 && text[token.begin] == c;
}

// A quoted token is terminated when it is at least two bytes long and ends with its
// closing quote not taken by a doubling (SkipQuoted stops only on a lone closing quote).
bool NameOf(std::string_view text, const Token& token, std::string* name) {
    std::string_view raw = text.substr(token.begin, token.end - token.begin);
    if (token.kind == TokenKind::Word) {
        name->assign(raw);
        return true;
    }
    if (token.kind != TokenKind::Quoted || raw.front() == '\'') return false;
    const char close = raw.front() == '[' ? ']' : raw.front();
    name->clear();
    std::size_t i = 1;
    while (i < raw.size()) {
        if (raw[i] == close) {
            if (close != ']' && i + 1 < raw.size() && raw[i + 1] == close) {
                name->push_back(close);
                i += 2;
                continue;
            }
            return i + 1 == raw.size();
        }
        name->push_back(raw[i++]);
    }
    return false;  // no closing quote
}

bool IsDigits(std::string_view text, const Token& token) {
    if (token.kind != TokenKind::Number || token.end == token.begin) return false;
    for (std::size_t i = token.begin; i < token.end; ++i) {
        if (!IsDigit(text[i])) return false;
    }
    return true;
}

bool OnlyBlanksFrom(std::string_view text, std::size_t position) {
    for (;;) {
        Token token = NextToken(text, position);
        if (token.kind == TokenKind::End) return true;
        if (token.kind != TokenKind::Semicolon) return false;
        position = token.end;
    }
}

}  // namespace dbplatform::provider
