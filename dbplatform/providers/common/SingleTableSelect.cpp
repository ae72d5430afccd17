#include <dbplatform/providers/common/SingleTableSelect.h>

#include <cassert>
#include <vector>

#include <dbplatform/providers/common/SqlTokens.h>

namespace dbplatform::provider {
namespace {

struct PlacedToken {
    Token token;
    int depth;  // parenthesis depth at the token; a ')' has the depth it closes to
};

// The tokens of `sql` with their parenthesis depth. False when a ')' closes nothing or a
// ';' is followed by more text: such a text is not one statement this reading can trust.
bool Tokenize(std::string_view sql, std::vector<PlacedToken>* tokens) {
    int depth = 0;
    bool ended = false;
    for (Token token = NextToken(sql, 0); token.kind != TokenKind::End; token = NextToken(sql, token.end)) {
        assert(token.end > token.begin && token.end <= sql.size());
        if (ended) return false;
        if (token.kind == TokenKind::Close && --depth < 0) return false;
        tokens->push_back({token, depth});
        if (token.kind == TokenKind::Open) ++depth;
        if (token.kind == TokenKind::Semicolon) ended = true;
    }
    return true;
}

// Words after the table that end the FROM clause without adding a second table.
bool EndsFromClause(std::string_view sql, const Token& token) {
    return IsAnyWord(sql, token, {"where", "order", "limit", "offset", "fetch", "for"});
}

// Words anywhere at the top level that make the rows something other than one table's rows.
bool BreaksSingleTable(std::string_view sql, const Token& token) {
    return IsAnyWord(sql, token, {"join", "group", "having", "union", "intersect", "except", "distinct", "window",
                                  "natural", "cross", "into", "values"});
}

// Aggregates fold rows together, so a per-row identity cannot be added to their list.
bool IsAggregate(std::string_view sql, const Token& token) {
    return IsAnyWord(sql, token, {"count", "sum", "avg", "min", "max", "total", "string_agg", "array_agg",
                                  "group_concat", "bool_and", "bool_or", "every", "stddev", "variance", "json_agg",
                                  "jsonb_agg"});
}

// A word or quoted identifier that can name a table or an alias.
bool IsName(std::string_view sql, const Token& token) {
    std::string name;
    return NameOf(sql, token, &name);
}

// Index of the top-level FROM, or 0 when the select list has none or holds something
// that folds or multiplies rows (an aggregate is refused at any depth of the list).
std::size_t FindFrom(std::string_view sql, const std::vector<PlacedToken>& tokens, std::size_t first) {
    for (std::size_t k = first; k < tokens.size(); ++k) {
        const Token& t = tokens[k].token;
        if (t.kind == TokenKind::Open && k > 0 && IsAggregate(sql, tokens[k - 1].token)) return 0;
        if (tokens[k].depth != 0 || t.kind != TokenKind::Word) continue;
        if (IsWord(sql, t, "from")) return k;
        if (BreaksSingleTable(sql, t) || IsWord(sql, t, "top")) return 0;
    }
    return 0;
}

// Reads `[schema.]table` at `k` into `shape`; returns the index past it, or 0.
std::size_t ReadTable(std::string_view sql, const std::vector<PlacedToken>& tokens, std::size_t k,
                      const SelectRules& rules, SingleTableSelect* shape) {
    if (k >= tokens.size()) return 0;
    const Token& first = tokens[k].token;
    if (first.kind == TokenKind::Word && (EndsFromClause(sql, first) || IsWord(sql, first, "select"))) return 0;
    if (!NameOf(sql, first, &shape->table)) return 0;
    std::size_t next = k + 1;
    if (next < tokens.size() && IsByte(sql, tokens[next].token, '.')) {
        if (!rules.schemaPrefix || next + 1 >= tokens.size()) return 0;
        shape->schema = shape->table;
        if (!NameOf(sql, tokens[next + 1].token, &shape->table)) return 0;
        next += 2;
    }
    // "" names nothing in any engine, as a table or as a schema.
    if (shape->table.empty() || (next > k + 1 && shape->schema.empty())) return 0;
    shape->written.assign(sql.substr(first.begin, tokens[next - 1].token.end - first.begin));
    return next;
}

// Index past an optional alias (`AS name` or a bare name that is no keyword) at `k`;
// 0 when AS has no name after it.
std::size_t SkipAlias(std::string_view sql, const std::vector<PlacedToken>& tokens, std::size_t k) {
    if (k >= tokens.size()) return k;
    const Token& t = tokens[k].token;
    if (IsWord(sql, t, "as")) return k + 1 < tokens.size() && IsName(sql, tokens[k + 1].token) ? k + 2 : 0;
    if (!IsName(sql, t)) return k;
    if (t.kind == TokenKind::Word && (EndsFromClause(sql, t) || BreaksSingleTable(sql, t) ||
                                      IsAnyWord(sql, t, {"inner", "left", "right", "full", "on", "from", "select"})))
        return k;
    return k + 1;
}

}  // namespace

std::optional<SingleTableSelect> FindSingleTableSelect(std::string_view sql, const SelectRules& rules) {
    std::vector<PlacedToken> tokens;
    if (!Tokenize(sql, &tokens) || tokens.empty() || !IsWord(sql, tokens[0].token, "select")) return std::nullopt;
    SingleTableSelect shape;
    std::size_t k = 1;
    if (k < tokens.size() && IsWord(sql, tokens[k].token, "all")) ++k;
    shape.listStart = tokens[k - 1].token.end;
    const std::size_t from = FindFrom(sql, tokens, k);
    if (from == 0) return std::nullopt;
    k = ReadTable(sql, tokens, from + 1, rules, &shape);
    if (k == 0) return std::nullopt;
    k = SkipAlias(sql, tokens, k);
    if (k == 0) return std::nullopt;
    // Right after the table: the end, or a clause that adds no table (a ',' or a join
    // keyword would add one).
    if (k < tokens.size() && !EndsFromClause(sql, tokens[k].token) && tokens[k].token.kind != TokenKind::Semicolon)
        return std::nullopt;
    for (; k < tokens.size(); ++k) {
        const Token& t = tokens[k].token;
        if (tokens[k].depth != 0 || t.kind != TokenKind::Word) continue;
        if (BreaksSingleTable(sql, t) || IsAnyWord(sql, t, {"from", "select"})) return std::nullopt;
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
