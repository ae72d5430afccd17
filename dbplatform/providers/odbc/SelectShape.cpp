#include <dbplatform/providers/odbc/SelectShape.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace dbplatform::provider {
namespace {

enum class TokenKind { Word, QuotedName, Text, Symbol };

struct Token {
    TokenKind kind;
    std::string text;  // words in lower case; quoted names without their quotes
    std::size_t begin;
    std::size_t end;
    int depth;         // parenthesis depth at the token
};

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Splits `sql` into tokens, skipping comments and blanks. Quoted texts and names are kept
// whole so that a keyword inside them is never taken for one.
std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    int depth = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
        if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            while (i < sql.size() && sql[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            std::size_t close = sql.find("*/", i + 2);
            i = close == std::string_view::npos ? sql.size() : close + 2;
            continue;
        }
        std::size_t begin = i;
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            char closing = c == '[' ? ']' : c;
            std::string content;
            ++i;
            while (i < sql.size()) {
                if (sql[i] == closing) {
                    if (closing != ']' && i + 1 < sql.size() && sql[i + 1] == closing) {
                        content += closing;
                        i += 2;
                        continue;
                    }
                    break;
                }
                content += sql[i++];
            }
            if (i < sql.size()) ++i;
            tokens.push_back({c == '\'' ? TokenKind::Text : TokenKind::QuotedName, content, begin, i, depth});
            continue;
        }
        if (IsWordChar(c)) {
            std::string word;
            while (i < sql.size() && IsWordChar(sql[i])) {
                word += static_cast<char>(std::tolower(static_cast<unsigned char>(sql[i])));
                ++i;
            }
            tokens.push_back({TokenKind::Word, word, begin, i, depth});
            continue;
        }
        if (c == ')') depth = std::max(0, depth - 1);
        tokens.push_back({TokenKind::Symbol, std::string(1, c), begin, i + 1, depth});
        if (c == '(') ++depth;
        ++i;
    }
    return tokens;
}

bool IsOneOf(const std::string& word, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

// Words after the table that end the FROM clause without adding a second table.
bool EndsFromClause(const std::string& word) {
    return IsOneOf(word, {"where", "order", "limit", "offset", "fetch", "for"});
}

// Words anywhere at the top level that make the rows something other than one table's rows.
bool BreaksSingleTable(const std::string& word) {
    return IsOneOf(word, {"join", "group", "having", "union", "intersect", "except", "distinct",
                          "window", "natural", "cross", "into"});
}

// Aggregates fold rows together, so a per-row identity cannot be added to their list.
bool IsAggregate(const std::string& word) {
    return IsOneOf(word, {"count", "sum", "avg", "min", "max", "string_agg", "array_agg",
                          "group_concat", "bool_and", "bool_or", "every", "stddev", "variance",
                          "json_agg", "jsonb_agg", "total"});
}

bool IsName(const Token& token) {
    return token.kind == TokenKind::Word || token.kind == TokenKind::QuotedName;
}

}  // namespace

std::optional<SingleTableSelect> FindSingleTableSelect(std::string_view sql) {
    std::vector<Token> tokens = Tokenize(sql);
    if (tokens.empty() || tokens[0].kind != TokenKind::Word || tokens[0].text != "select") return std::nullopt;
    SingleTableSelect shape;
    std::size_t i = 1;
    if (i < tokens.size() && tokens[i].kind == TokenKind::Word && tokens[i].text == "all") ++i;
    shape.listStart = tokens[i - 1].end;
    std::size_t from = 0;
    for (std::size_t k = i; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        if (t.depth != 0 || t.kind != TokenKind::Word) continue;
        if (t.text == "from") { from = k; break; }
        if (BreaksSingleTable(t.text) || t.text == "top") return std::nullopt;
        if (IsAggregate(t.text) && k + 1 < tokens.size() && tokens[k + 1].text == "(") return std::nullopt;
    }
    if (from == 0 || from + 1 >= tokens.size() || !IsName(tokens[from + 1])) return std::nullopt;
    std::size_t k = from + 1;
    if (tokens[k].kind == TokenKind::Word && (EndsFromClause(tokens[k].text) || tokens[k].text == "select"))
        return std::nullopt;
    shape.table = tokens[k].text;
    if (tokens[k].kind == TokenKind::Word) shape.table = std::string(sql.substr(tokens[k].begin, tokens[k].end - tokens[k].begin));
    std::size_t writtenBegin = tokens[k].begin;
    ++k;
    if (k + 1 < tokens.size() && tokens[k].text == "." && IsName(tokens[k + 1])) {
        shape.schema = shape.table;
        const Token& name = tokens[k + 1];
        shape.table = name.kind == TokenKind::Word ? std::string(sql.substr(name.begin, name.end - name.begin)) : name.text;
        k += 2;
    }
    shape.written = std::string(sql.substr(writtenBegin, tokens[k - 1].end - writtenBegin));
    // An optional alias, with or without AS.
    if (k < tokens.size() && tokens[k].kind == TokenKind::Word && tokens[k].text == "as") {
        if (k + 1 >= tokens.size() || !IsName(tokens[k + 1])) return std::nullopt;
        k += 2;
    } else if (k < tokens.size() && IsName(tokens[k]) &&
               !(tokens[k].kind == TokenKind::Word && (EndsFromClause(tokens[k].text) || BreaksSingleTable(tokens[k].text) ||
                                                       IsOneOf(tokens[k].text, {"inner", "left", "right", "full", "on"})))) {
        ++k;
    }
    if (k < tokens.size() && !(tokens[k].kind == TokenKind::Word && EndsFromClause(tokens[k].text)) &&
        !(tokens[k].kind == TokenKind::Symbol && tokens[k].text == ";"))
        return std::nullopt;
    for (; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        if (t.depth != 0) continue;
        if (t.kind == TokenKind::Word && (BreaksSingleTable(t.text) || t.text == "from" || t.text == "select"))
            return std::nullopt;
        if (t.kind == TokenKind::Symbol && t.text == ";" && k + 1 < tokens.size()) return std::nullopt;
    }
    return shape;
}

std::string WithIdentityColumn(std::string_view sql, const SingleTableSelect& shape, std::string_view expression) {
    std::string result(sql.substr(0, shape.listStart));
    result += ' ';
    result += expression;
    result += " AS ";
    result += kRowIdentityName;
    result += ',';
    result += sql.substr(shape.listStart);
    return result;
}

}  // namespace dbplatform::provider
