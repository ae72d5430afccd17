#include <dbplatform/providers/common/TextParameters.h>

#include <dbplatform/providers/common/SqlTokens.h>

namespace dbplatform::provider {
namespace {

// The text a '...' token stands for; false when its closing quote is missing.
bool TextOf(std::string_view sql, const Token& token, std::string* value) {
    value->clear();
    std::size_t i = token.begin + 1;
    while (i < token.end) {
        if (sql[i] != '\'') {
            value->push_back(sql[i++]);
        } else if (i + 1 < token.end && sql[i + 1] == '\'') {
            value->push_back('\'');
            i += 2;
        } else {
            return i + 1 == token.end;
        }
    }
    return false;
}

// Whether a text after `previous` stands as a value that a parameter can take the place of.
bool ValueFollows(std::string_view sql, const Token& previous) {
    switch (previous.kind) {
        case TokenKind::Open:
        case TokenKind::Comma:
            return true;
        case TokenKind::Other:
            return sql[previous.begin] != '.';
        case TokenKind::Word:
            return IsAnyWord(sql, previous,
                             {"WHERE", "AND", "OR", "NOT", "LIKE", "GLOB", "BETWEEN", "IS", "CASE", "WHEN", "THEN", "ELSE"});
        default:
            return false;
    }
}

}  // namespace

TextParameters TextsAsParameters(std::string_view sql) {
    TextParameters none;
    Token token = NextToken(sql, 0);
    if (!IsWord(sql, token, "SELECT")) return none;
    TextParameters result;
    std::size_t copied = 0;
    int depth = 0;
    bool inWhere = false;
    Token previous = token;
    for (token = NextToken(sql, token.end); token.kind != TokenKind::End; previous = token, token = NextToken(sql, token.end)) {
        switch (token.kind) {
            case TokenKind::Semicolon:
                return none;
            case TokenKind::Open:
                ++depth;
                break;
            case TokenKind::Close:
                if (--depth < 0) return none;
                break;
            case TokenKind::Other: {
                const char c = sql[token.begin];
                if (c == '?' || c == ':' || c == '@' || c == '$') return none;
                break;
            }
            case TokenKind::Word:
                if (IsAnyWord(sql, token, {"UNION", "INTERSECT", "EXCEPT"})) return none;
                if (depth > 0) break;
                if (IsWord(sql, token, "WHERE")) inWhere = true;
                else if (IsAnyWord(sql, token, {"GROUP", "ORDER", "LIMIT", "HAVING", "WINDOW"})) inWhere = false;
                break;
            case TokenKind::Quoted: {
                if (sql[token.begin] != '\'') break;
                std::string value;
                if (!TextOf(sql, token, &value)) return none;
                if (!inWhere || !ValueFollows(sql, previous)) break;
                if (result.values.size() == kMostTextParameters) return none;
                const Token next = NextToken(sql, token.end);
                if (next.kind == TokenKind::Other && sql[next.begin] == '.') break;
                result.sql.append(sql.substr(copied, token.begin - copied));
                result.sql.push_back('?');
                copied = token.end;
                result.values.push_back(std::move(value));
                break;
            }
            default:
                break;
        }
    }
    if (result.values.empty()) return none;
    result.sql.append(sql.substr(copied));
    return result;
}

}  // namespace dbplatform::provider
