#include <dbplatform/providers/sqlite/GenericDialect.h>

#include <algorithm>
#include <vector>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/providers/common/SqlTokens.h>

namespace dbplatform::sqlite {
using provider::IsDigits;
using provider::IsWord;
using provider::NextToken;
using provider::Token;
using provider::TokenKind;

namespace {

// Longest text between number signs still taken for a date ("2005-12-19 08:30:00.000"
// and a few blanks); anything longer is not a date literal.
constexpr std::size_t kLongestDateLiteral = 48;

// One change to the text: replace `length` bytes at `position` by `text`.
struct Edit {
    std::size_t position;
    std::size_t length;
    std::string text;
};

// A select whose row limit waits for the end of its parenthesis level or statement.
struct Level {
    bool hasLimit = false;
    std::string limit;
};

// If a #...# date literal starts at the '#' at `hash`, returns its end (past the closing
// '#') and sets `canonical`; else returns 0. A literal stays on one line.
std::size_t MatchDateLiteral(std::string_view sql, std::size_t hash, std::string* canonical) {
    std::size_t close = hash + 1;
    while (close < sql.size() && sql[close] != '#' && sql[close] != '\n' && close - hash <= kLongestDateLiteral) {
        ++close;
    }
    if (close >= sql.size() || sql[close] != '#') return 0;
    std::string_view inside = sql.substr(hash + 1, close - hash - 1);
    while (!inside.empty() && (inside.front() == ' ' || inside.front() == '\t')) inside.remove_prefix(1);
    while (!inside.empty() && (inside.back() == ' ' || inside.back() == '\t')) inside.remove_suffix(1);
    if (inside.empty() || FAILED(CanonicalDateText(inside, canonical))) return 0;
    return close + 1;
}

// If `select` is followed by [distinct|all] top n (or top (n)), returns the token range
// of "top n" to remove and the number; else returns false.
bool MatchTop(std::string_view sql, const Token& select, std::size_t* removeBegin, std::size_t* removeEnd,
              std::string* count) {
    Token next = NextToken(sql, select.end);
    if (IsWord(sql, next, "distinct") || IsWord(sql, next, "all")) next = NextToken(sql, next.end);
    if (!IsWord(sql, next, "top")) return false;
    const Token top = next;
    Token number = NextToken(sql, top.end);
    std::size_t end = 0;
    if (number.kind == TokenKind::Open) {
        number = NextToken(sql, number.end);
        Token close = NextToken(sql, number.end);
        if (!IsDigits(sql, number) || close.kind != TokenKind::Close) return false;
        end = close.end;
    } else {
        if (!IsDigits(sql, number)) return false;
        end = number.end;
    }
    // "top n percent" has no LIMIT equivalent: leave it for SQLite to refuse.
    if (IsWord(sql, NextToken(sql, end), "percent")) return false;
    *removeBegin = top.begin;
    *removeEnd = end;
    count->assign(sql.substr(number.begin, number.end - number.begin));
    return true;
}

// Queues the LIMIT of `level`, if any, at `position`, and clears it.
void CloseLevel(Level* level, std::size_t position, std::vector<Edit>* edits) {
    if (level->hasLimit) edits->push_back(Edit{position, 0, " LIMIT " + level->limit});
    *level = Level{};
}

std::string ApplyEdits(std::string_view sql, std::vector<Edit>* edits) {
    std::stable_sort(edits->begin(), edits->end(),
                     [](const Edit& a, const Edit& b) { return a.position < b.position; });
    std::string out;
    out.reserve(sql.size() + 16 * edits->size());
    std::size_t copied = 0;
    for (const Edit& edit : *edits) {
        out.append(sql.substr(copied, edit.position - copied));
        out.append(edit.text);
        copied = edit.position + edit.length;
    }
    out.append(sql.substr(copied));
    return out;
}

}  // namespace

// One pass over the tokens. Limits are tracked per parenthesis level: a select's LIMIT
// belongs right after the last token of its level, which is where that level closes
// (before its ')', before ';' or at the end, never after a trailing comment).
std::string RewriteGenericDialect(std::string_view sql) {
    std::vector<Edit> edits;
    std::vector<Level> levels(1);
    std::size_t lastTokenEnd = 0;
    std::size_t position = 0;
    for (;;) {
        Token token = NextToken(sql, position);
        if (token.kind == TokenKind::End) break;
        switch (token.kind) {
            case TokenKind::Hash: {
                std::string canonical;
                if (std::size_t end = MatchDateLiteral(sql, token.begin, &canonical)) {
                    edits.push_back(Edit{token.begin, end - token.begin, "'" + canonical + "'"});
                    token.end = end;
                }
                break;
            }
            case TokenKind::Word: {
                if (!IsWord(sql, token, "select")) break;
                std::size_t removeBegin = 0, removeEnd = 0;
                std::string count;
                if (levels.back().hasLimit || !MatchTop(sql, token, &removeBegin, &removeEnd, &count)) break;
                edits.push_back(Edit{removeBegin, removeEnd - removeBegin, ""});
                levels.back().hasLimit = true;
                levels.back().limit = count;
                token.end = removeEnd;
                break;
            }
            case TokenKind::Open:
                levels.emplace_back();
                break;
            case TokenKind::Close:
                if (levels.size() > 1) {
                    CloseLevel(&levels.back(), lastTokenEnd, &edits);
                    levels.pop_back();
                }
                break;
            case TokenKind::Semicolon:
                while (levels.size() > 1) {
                    CloseLevel(&levels.back(), lastTokenEnd, &edits);
                    levels.pop_back();
                }
                CloseLevel(&levels.back(), lastTokenEnd, &edits);
                break;
            default:
                break;
        }
        lastTokenEnd = token.end;
        position = token.end;
    }
    while (!levels.empty()) {
        CloseLevel(&levels.back(), lastTokenEnd, &edits);
        levels.pop_back();
    }
    if (edits.empty()) return std::string(sql);
    return ApplyEdits(sql, &edits);
}

}  // namespace dbplatform::sqlite
