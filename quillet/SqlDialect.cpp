// Database kind detection and the translator of the generic SQL dialect.
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>
#include <quillet/SqlText.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quillet {

namespace {

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Date-time literals for the products that take quoted text: every number sign outside a
// quoted string becomes a single quote. Signs inside 'Item #5' belong to the string.
void QuoteDateLiterals(std::string& text) {
    bool inString = false;
    for (char& ch : text) {
        if (ch == '\'') {
            inString = !inString;
        } else if (ch == '#' && !inString) {
            ch = '\'';
        }
    }
}

// The next number sign at or after `start` that lies outside quoted strings, or npos.
// `start` must itself be outside any string.
std::size_t NextSignOutsideStrings(const std::string& text, std::size_t start) {
    bool inString = false;
    for (std::size_t position = start; position < text.size(); ++position) {
        if (text[position] == '\'') inString = !inString;
        else if (text[position] == '#' && !inString) return position;
    }
    return std::string::npos;
}

// Oracle: each #x# pair becomes To_Date(' x','YYYY-MM-DD hh24:mi:ss') followed by a space.
// An unpaired sign stays as it is.
void OracleDateLiterals(std::string& text) {
    static const std::string opening = "To_Date('";
    static const std::string closing = "','YYYY-MM-DD hh24:mi:ss')";
    std::size_t start = 0;
    for (;;) {
        std::size_t first = NextSignOutsideStrings(text, start);
        if (first == std::string::npos) return;
        std::size_t second = text.find('#', first + 1);
        if (second == std::string::npos) return;
        text[first] = ' ';
        text[second] = ' ';
        text.insert(second, closing);
        text.insert(first, opening);
        start = second + closing.size() + opening.size() + 1;
    }
}

// Where each byte of a text stands: in code, or inside a single-quoted string or a
// bracketed name (whose quotes are part of the name), and how deep in parentheses.
// A doubled quote closes and reopens its string, so it counts as staying inside.
struct TextLayout {
    std::vector<bool> code;  // outside strings and bracketed names
    std::vector<int> depth;  // open parentheses in code before this byte
};

TextLayout LayoutOf(const std::string& sql) {
    TextLayout layout;
    layout.code.resize(sql.size());
    layout.depth.resize(sql.size());
    enum { Code, String, Bracket } state = Code;
    int depth = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char ch = sql[i];
        layout.depth[i] = depth;
        layout.code[i] = state == Code && ch != '\'' && ch != '[';
        if (state == String) {
            if (ch == '\'') state = Code;
        } else if (state == Bracket) {
            if (ch == ']') state = Code;
        } else if (ch == '\'') {
            state = String;
        } else if (ch == '[') {
            state = Bracket;
        } else if (ch == '(') {
            ++depth;
        } else if (ch == ')') {
            --depth;
        }
    }
    return layout;
}

// Is the word at `position` a whole word (no identifier character on either side) in code?
bool IsWholeWordAt(const std::string& sql, const TextLayout& layout, std::size_t position, const char* word) {
    const std::size_t length = std::strlen(word);
    if (position + length > sql.size() || !layout.code[position]) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (LowerAscii(sql[position + i]) != word[i]) return false;
    if (position > 0 && IsWordChar(sql[position - 1])) return false;
    return position + length == sql.size() || !IsWordChar(sql[position + length]);
}

// A row limit of one select: the word top after the word select, with only blanks and an
// optional distinct or all between them, then blanks and a decimal number.
struct RowLimit {
    int select = 0;     // position of select
    int wordStart = 0;  // position of top
    int numberEnd = 0;  // one past the last digit
    int count = 0;      // clamped to INT_MAX
};

// Skips blanks from `position`; returns how many there were.
int SkipBlanks(const std::string& sql, int* position) {
    const int start = *position;
    while (*position < static_cast<int>(sql.size()) && IsBlank(sql[*position])) ++*position;
    return *position - start;
}

bool RowLimitAt(const std::string& sql, const TextLayout& layout, int select, RowLimit* limit) {
    if (!IsWholeWordAt(sql, layout, select, "select")) return false;
    int position = select + 6;
    if (SkipBlanks(sql, &position) == 0) return false;
    for (const char* quantifier : {"distinct", "all"}) {
        if (IsWholeWordAt(sql, layout, position, quantifier)) {
            position += static_cast<int>(std::strlen(quantifier));
            if (SkipBlanks(sql, &position) == 0) return false;
            break;
        }
    }
    if (!IsWholeWordAt(sql, layout, position, "top")) return false;
    const int top = position;
    position += 3;
    if (SkipBlanks(sql, &position) == 0 || position >= static_cast<int>(sql.size()) || !IsDigit(sql[position]))
        return false;
    long long value = 0;
    while (position < static_cast<int>(sql.size()) && IsDigit(sql[position])) {
        value = value * 10 + (sql[position] - '0');
        if (value > INT_MAX) value = INT_MAX;
        ++position;
    }
    *limit = {select, top, position, static_cast<int>(value)};
    return true;
}

// Where the select at `select` ends: before the parenthesis that closes its subquery,
// before the ';' that ends its statement, or at the end of the text.
std::size_t EndOfSelect(const std::string& sql, const TextLayout& layout, std::size_t select) {
    const int depth = layout.depth[select];
    for (std::size_t i = select; i < sql.size(); ++i) {
        if (!layout.code[i] || layout.depth[i] != depth) continue;
        if ((sql[i] == ')' && depth > 0) || sql[i] == ';') return i;
    }
    return sql.size();
}

// The first whole `word` in code at the select's own depth between `from` and `to`, or npos.
std::size_t FindWordOfSelect(const std::string& sql, const TextLayout& layout, std::size_t from, std::size_t to,
                             int depth, const char* word) {
    for (std::size_t i = from; i < to; ++i)
        if (layout.depth[i] == depth && IsWholeWordAt(sql, layout, i, word)) return i;
    return std::string::npos;
}

// Oracle has no row-limit clause: the limit becomes a rownum condition in the where
// clause of its own select, or a new where clause after the select's first table name.
void InsertOracleLimit(std::string& sql, std::size_t select, const std::string& limit) {
    const TextLayout layout = LayoutOf(sql);
    const std::size_t end = EndOfSelect(sql, layout, select);
    const int depth = layout.depth[select];
    const std::size_t where = FindWordOfSelect(sql, layout, select, end, depth, "where");
    if (where != std::string::npos) {
        sql.insert(std::min(where + 6, end), limit + " and ");
        return;
    }
    const std::size_t from = FindWordOfSelect(sql, layout, select, end, depth, "from");
    if (from == std::string::npos) return;
    std::size_t position = from + 4;
    while (position < end && sql[position] == ' ') ++position;
    while (position < end && sql[position] != ' ') ++position;
    sql.insert(position, " where " + limit);
}

// Every select with a row limit gets its own: the words are deleted and the limit is put
// at the end of that select (inside its subquery, before a closing ';'). The selects are
// handled from the last to the first, so that the positions of those still to come stay
// where they were found.
void RewriteRowLimits(CSqlText& text, int kind) {
    std::string& sql = text.Text();
    std::vector<int> selects;
    {
        const TextLayout layout = LayoutOf(sql);
        RowLimit limit;
        for (int select = text.FindWord("select", 0); select >= 0; select = text.FindWord("select", select + 1))
            if (RowLimitAt(sql, layout, select, &limit)) selects.push_back(select);
    }
    for (auto at = selects.rbegin(); at != selects.rend(); ++at) {
        RowLimit limit;
        if (!RowLimitAt(sql, LayoutOf(sql), *at, &limit)) continue;
        assert(limit.select == *at && limit.numberEnd > limit.wordStart);
        sql.erase(limit.wordStart, limit.numberEnd - limit.wordStart);
        if (limit.count <= 0) continue;
        char words[64];
        if (kind == DB_MYSQL) std::snprintf(words, sizeof words, " limit 0, %d ", limit.count);
        else if (kind == DB_POSTGRESQL) std::snprintf(words, sizeof words, " limit %d", limit.count);
        else std::snprintf(words, sizeof words, " rownum <= %d ", limit.count);
        if (kind == DB_ORACLE) InsertOracleLimit(sql, limit.select, words);
        else sql.insert(EndOfSelect(sql, LayoutOf(sql), limit.select), words);
    }
}

// Excel names a sheet as [name$]: the whole text is lower-cased and the table after
// from is wrapped.
void RewriteExcelSheet(CSqlText& text) {
    std::string& sql = text.Text();
    for (char& ch : sql) ch = LowerAscii(ch);
    if (text.FindWord("select", 0) < 0) return;
    int from = text.FindWord("from", 0);
    if (from < 0) return;
    std::size_t start = from + 4;
    while (start < sql.size() && sql[start] == ' ') ++start;
    std::size_t end = sql.find(' ', start);
    if (end == std::string::npos) end = sql.size();
    if (start == 0 || start >= sql.size()) return;
    std::string sheet;
    for (std::size_t i = start; i < end; ++i)
        if (sql[i] != '[' && sql[i] != ']') sheet += sql[i];
    if (sheet.find('$') == std::string::npos) sheet += '$';
    sql.replace(start, end - start, "[" + sheet + "]");
}

}  // namespace

bool IsExcelConnection(const std::string& connectionString) {
    return (Contains(connectionString, "Microsoft.Jet.OLEDB") && Contains(connectionString, ".xls")) ||
           Contains(connectionString, "Microsoft Excel");
}

int DatabaseKindOf(const std::string& s) {
    if (IsExcelConnection(s)) return DB_EXCEL;
    if (Contains(s, "Microsoft.Jet.OLEDB") || Contains(s, "Microsoft Access")) return DB_ACCESS;
    if (Contains(s, "Provider=OraOLEDB.Oracle") || Contains(s, "Oracle in") || Contains(s, "Microsoft ODBC for Oracle"))
        return DB_ORACLE;
    if (Contains(s, "Driver=MySQL") || Contains(s, "MSDASQL")) return DB_MYSQL;
    if (Contains(s, "Provider=PostgreSQL") || Contains(s, "DRIVER={PostgreSQL") ||
        Contains(s, "DRIVER={Mammoth ODBCng Beta}"))
        return DB_POSTGRESQL;
    return DB_OTHER;
}

// Brackets inside string literals are text of the value and stay as they are; a quote
// inside a bracketed name is part of the name and starts no string.
CString QuoteIdentifiersForKind(const CString& sql, int kind) {
    char quote = 0;
    if (kind == DB_ORACLE || kind == DB_POSTGRESQL) quote = '"';
    else if (kind == DB_MYSQL) quote = '`';
    if (!quote) return sql;
    std::string text = sql.str();
    enum { Code, String, Bracket } state = Code;
    for (char& ch : text) {
        if (state == String) {
            if (ch == '\'') state = Code;
        } else if (ch == '\'' && state == Code) {
            state = String;
        } else if (ch == '[' || ch == ']') {
            state = ch == '[' ? Bracket : Code;
            ch = quote;
        }
    }
    return CString(text);
}

CString TranslateForKind(const CString& sql, int kind) {
    CSqlText text(sql);
    if (kind == DB_ORACLE) OracleDateLiterals(text.Text());
    else if (kind != DB_ACCESS && kind != DB_EXCEL) QuoteDateLiterals(text.Text());

    if (kind == DB_ORACLE || kind == DB_MYSQL || kind == DB_POSTGRESQL) RewriteRowLimits(text, kind);

    CString quoted = QuoteIdentifiersForKind(CString(text.Text()), kind);
    if (kind != DB_EXCEL) return quoted;
    CSqlText excel(quoted);
    RewriteExcelSheet(excel);
    return CString(excel.Text());
}

}  // namespace quillet
