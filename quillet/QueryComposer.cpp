// The one-table select that OpenQuery composes in the generic dialect.
//
// Every name and bound comes from the host and is pasted into the text, so each one is
// checked for its kind before anything is composed: a name can only be a plain
// identifier, the suffix only a direction, a bound only one literal of the key's type.
// Whatever the values, the result is one select of one table whose where clause compares
// the key column with at most two literals.
#include <quillet/Identifiers.h>
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>
#include <quillet/SqlText.h>

#include <cassert>
#include <string>
#include <string_view>

#include <dbplatform/automation/DateTime.h>

namespace quillet {

namespace {

CString WithoutSpaces(CString text) {
    text.Remove(' ');
    return text;
}

bool IsBlankByte(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

// The text without the blanks around it (the blanks the date reader also ignores).
std::string_view TrimmedBlanks(std::string_view text) {
    while (!text.empty() && IsBlankByte(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankByte(text.back())) text.remove_suffix(1);
    return text;
}

bool IsAsciiDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Empty, asc or desc in any letter case, with blanks around it: the suffix is pasted as
// the host wrote it, so nothing but a direction and blanks may be in it.
bool IsOrderSuffix(std::string_view suffix) {
    suffix = TrimmedBlanks(suffix);
    std::string lower;
    for (char ch : suffix) lower += LowerAscii(ch);
    return lower.empty() || lower == "asc" || lower == "desc";
}

// A decimal number as the C locale writes it: sign, digits with at most one point,
// optional exponent. No nan, inf, hex, thousands separator or blank inside.
bool IsDecimalNumber(std::string_view text) {
    std::size_t i = 0;
    auto digits = [&] {
        std::size_t start = i;
        while (i < text.size() && IsAsciiDigit(text[i])) ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (digits() == 0) return false;
    } else if (mantissa == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

// MySQL reads a backslash in a string as an escape unless the session has
// NO_BACKSLASH_ESCAPES, and no spelling of a backslash reads the same in both modes
// ('\\' is one backslash in one mode and two in the other). A MySQL literal therefore
// must not hold one at all. The "other" kind is refused it too: its connection string
// does not say which product is behind it (DRIVER={MariaDB Unicode} or a data source
// name reach MySQL servers as well). The named products other than MySQL read a
// backslash as an ordinary character.
bool BackslashIsAmbiguous(int kind, std::string_view text) {
    return (kind == DB_MYSQL || kind == DB_OTHER) && text.find('\\') != std::string_view::npos;
}

// One complete single-quoted string whose inner quotes are all doubled: 'A001', 'O''Hara'.
bool IsQuotedString(std::string_view text) {
    if (text.size() < 2 || text.front() != '\'' || text.back() != '\'') return false;
    std::string_view inner = text.substr(1, text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] != '\'') continue;
        if (i + 1 >= inner.size() || inner[i + 1] != '\'') return false;
        ++i;
    }
    return true;
}

enum class KeyQuote { Text, Date, None };

KeyQuote QuoteOfKeyType(CString keyType) {
    keyType.MakeUpper();
    keyType.Remove(' ');
    if (keyType == "VARCHAR") return KeyQuote::Text;
    if (keyType == "DATETIME") return KeyQuote::Date;
    return KeyQuote::None;
}

// The literal of one bound, with its quotes, or false when the bound is not a value of
// the key's type. A text is quoted with its quotes doubled; a date must be one the
// platform's date reader accepts (its characters then are digits, '-', '/', ':', '.',
// 'T' and inner blanks only) and is used as written, trimmed, so that a fraction of a
// second is kept; any other type takes a number or a complete quoted string as it is.
bool LiteralOfBound(const CString& bound, KeyQuote quote, int kind, CString* literal) {
    const std::string& value = bound.str();
    if (value.find('\0') != std::string::npos) return false;  // would cut the text short
    switch (quote) {
        case KeyQuote::Text: {
            if (BackslashIsAmbiguous(kind, value)) return false;
            CString doubled = bound;
            doubled.Replace("'", "''");
            *literal = "'" + doubled + "'";
            return true;
        }
        case KeyQuote::Date: {
            DATE date = 0;
            if (FAILED(dbplatform::DateFromText(value, &date))) return false;
            *literal = "#" + CString(std::string(TrimmedBlanks(value))) + "#";
            assert(literal->Find('\'') < 0 && literal->Find(';') < 0);
            return true;
        }
        case KeyQuote::None: {
            std::string_view trimmed = TrimmedBlanks(value);
            if (IsDecimalNumber(trimmed) || (IsQuotedString(trimmed) && !BackslashIsAmbiguous(kind, trimmed))) {
                *literal = CString(std::string(trimmed));
                return true;
            }
            return false;
        }
    }
    return false;
}

}  // namespace

// Builds the text only when every value that goes into it passed its check, so that a
// refusal sends nothing. Values that the text does not use (bounds without a key, an
// ordering without a range) are not looked at, as they never reach the database.
QueryComposition ComposeOneTableQuery(CString table, const CStringList* columns, CString keyColumn,
                                      CString lowerBound, CString upperBound, CString keyType, CString orderColumn,
                                      const CString& orderSuffix, int top, int kind, CString* text) {
    table.Remove(' ');
    if (table.IsEmpty()) return QueryComposition::NoTable;
    if (!IsTableName(table.str())) return QueryComposition::RefusedName;

    CString sql = "select ";
    if (top > 0) sql.AppendFormat("top %d ", top);

    CString columnList;
    if (columns) {
        for (POSITION position = columns->GetHeadPosition(); position;) {
            CString column = WithoutSpaces(columns->GetNext(position));
            if (column.IsEmpty()) continue;
            if (!IsPlainIdentifier(column.str())) return QueryComposition::RefusedName;
            if (!columnList.IsEmpty()) columnList += ",";
            columnList += "[" + column + "]";
        }
    }
    sql += columnList.IsEmpty() ? CString("*") : columnList;

    if (kind == DB_EXCEL) {
        if (table.Find('$') < 0) table += "$";
        sql += " from [" + table + "]";
    } else {
        sql += " from " + table;
    }

    keyColumn.Remove(' ');
    if (!keyColumn.IsEmpty() && (!lowerBound.IsEmpty() || !upperBound.IsEmpty())) {
        if (!IsPlainIdentifier(keyColumn.str())) return QueryComposition::RefusedName;
        orderColumn.Remove(' ');
        if (!orderColumn.IsEmpty() && !IsPlainIdentifier(orderColumn.str())) return QueryComposition::RefusedName;
        if (!IsOrderSuffix(orderSuffix.str())) return QueryComposition::RefusedName;

        const KeyQuote quote = QuoteOfKeyType(keyType);
        CString lowerLiteral, upperLiteral;
        if (!lowerBound.IsEmpty() && !LiteralOfBound(lowerBound, quote, kind, &lowerLiteral))
            return QueryComposition::RefusedBound;
        if (!upperBound.IsEmpty() && !LiteralOfBound(upperBound, quote, kind, &upperLiteral))
            return QueryComposition::RefusedBound;

        CString lower, upper, where;
        if (!lowerLiteral.IsEmpty()) lower.Format("[%s] >= %s", keyColumn.GetString(), lowerLiteral.GetString());
        if (!upperLiteral.IsEmpty()) upper.Format("[%s] <= %s", keyColumn.GetString(), upperLiteral.GetString());
        if (!lower.IsEmpty() && !upper.IsEmpty()) where.Format("where %s and %s", lower.GetString(), upper.GetString());
        else where.Format("where %s ", (lower.IsEmpty() ? upper : lower).GetString());
        sql += " " + where;
        if (!orderColumn.IsEmpty()) sql += " order by [" + orderColumn + "]";
        sql += " " + orderSuffix;
    }
    *text = sql;
    return QueryComposition::Composed;
}

}  // namespace quillet
