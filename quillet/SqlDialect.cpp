// Database kind detection and the translator of the generic SQL dialect.
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>
#include <quillet/SqlText.h>

#include <algorithm>
#include <climits>
#include <cstdio>

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

// Is `position` inside a single-quoted string? A doubled quote toggles twice, so it counts
// as staying inside.
bool InsideString(const std::string& text, std::size_t position) {
    bool inString = false;
    for (std::size_t i = 0; i < position && i < text.size(); ++i)
        if (text[i] == '\'') inString = !inString;
    return inString;
}

// Finds a row limit: the whole word top directly after the whole word select (blanks
// between, any letter case), then blanks and a decimal number, outside quoted strings. On success `wordStart` is
// the position of top, `numberEnd` one past the last digit and `count` the number
// (clamped to INT_MAX).
bool FindRowLimit(const CSqlText& text, int* wordStart, int* numberEnd, int* count) {
    const std::string& sql = text.Text();
    const int length = text.Length();
    for (int select = text.FindWord("select", 0); select >= 0; select = text.FindWord("select", select + 1)) {
        if (select > 0 && IsWordChar(sql[select - 1])) continue;
        if (InsideString(sql, select)) continue;
        int position = select + 6;
        int blanks = position;
        while (position < length && IsBlank(sql[position])) ++position;
        if (position == blanks) continue;
        if (position + 3 > length || text.FindWord("top", position) != position) continue;
        int top = position;
        position += 3;
        if (position < length && IsWordChar(sql[position])) continue;
        int afterWord = position;
        while (position < length && IsBlank(sql[position])) ++position;
        if (position == afterWord || position >= length || !IsDigit(sql[position])) continue;
        long long value = 0;
        while (position < length && IsDigit(sql[position])) {
            value = value * 10 + (sql[position] - '0');
            if (value > INT_MAX) value = INT_MAX;
            ++position;
        }
        *wordStart = top;
        *numberEnd = position;
        *count = static_cast<int>(value);
        return true;
    }
    return false;
}

// Oracle has no row-limit clause: the limit becomes a rownum condition in the where clause,
// or a new where clause after the first table name.
void InsertOracleLimit(CSqlText& text, const std::string& limit) {
    std::string& sql = text.Text();
    int where = text.FindWord("where", 0);
    if (where >= 0) {
        std::size_t at = std::min<std::size_t>(where + 6, sql.size());
        sql.insert(at, limit + " and ");
        return;
    }
    int from = text.FindWord("from", 0);
    if (from < 0) return;
    std::size_t position = from + 4;
    while (position < sql.size() && sql[position] == ' ') ++position;
    while (position < sql.size() && sql[position] != ' ') ++position;
    sql.insert(position, " where " + limit);
}

void RewriteRowLimit(CSqlText& text, int kind) {
    int wordStart = 0, numberEnd = 0, count = 0;
    if (!FindRowLimit(text, &wordStart, &numberEnd, &count)) return;
    text.Text().erase(wordStart, numberEnd - wordStart);
    if (count <= 0) return;
    char limit[64];
    if (kind == DB_MYSQL) std::snprintf(limit, sizeof limit, " limit 0, %d ", count);
    else if (kind == DB_POSTGRESQL) std::snprintf(limit, sizeof limit, " limit %d", count);
    else std::snprintf(limit, sizeof limit, " rownum <= %d ", count);
    if (kind == DB_ORACLE) InsertOracleLimit(text, limit);
    else text.Text() += limit;
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

CString QuoteIdentifiersForKind(const CString& sql, int kind) {
    CSqlText text(sql);
    if (kind == DB_ORACLE || kind == DB_POSTGRESQL) {
        text.ReplaceChar('[', '"');
        text.ReplaceChar(']', '"');
    } else if (kind == DB_MYSQL) {
        text.ReplaceChar('[', '`');
        text.ReplaceChar(']', '`');
    }
    return CString(text.Text());
}

CString TranslateForKind(const CString& sql, int kind) {
    CSqlText text(sql);
    if (kind == DB_ORACLE) OracleDateLiterals(text.Text());
    else if (kind != DB_ACCESS && kind != DB_EXCEL) QuoteDateLiterals(text.Text());

    if (kind == DB_ORACLE || kind == DB_MYSQL || kind == DB_POSTGRESQL) RewriteRowLimit(text, kind);

    CString quoted = QuoteIdentifiersForKind(CString(text.Text()), kind);
    if (kind != DB_EXCEL) return quoted;
    CSqlText excel(quoted);
    RewriteExcelSheet(excel);
    return CString(excel.Text());
}

}  // namespace quillet
