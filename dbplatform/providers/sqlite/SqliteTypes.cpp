#include <dbplatform/providers/sqlite/SqliteTypes.h>

#include <sqlite3.h>

#include <string>

#include <dbplatform/automation/DateTime.h>

namespace dbplatform::sqlite {
namespace {

// Unbounded text and binary columns report the sizes ADO gives long columns.
constexpr long kUnboundedText = 1073741823;
constexpr long kUnboundedBinary = 2147483647;

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The first number in parentheses ("VARCHAR(20)" gives 20), or `otherwise`.
long SizeInParentheses(const std::string& declared, long otherwise) {
    std::size_t open = declared.find('(');
    if (open == std::string::npos) return otherwise;
    std::size_t position = open + 1;
    while (position < declared.size() && declared[position] == ' ') ++position;
    long size = 0;
    bool any = false;
    while (position < declared.size() && declared[position] >= '0' && declared[position] <= '9' && size < 100000000) {
        size = size * 10 + (declared[position] - '0');
        ++position;
        any = true;
    }
    return any && size > 0 ? size : otherwise;
}

// Days from 1970-01-01 to a proleptic Gregorian date (valid for any year we accept).
long DaysFromCivil(long year, long month, long day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool IsLeapYear(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

long DaysInMonth(long year, long month) {
    static const long kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads `count` decimal digits at `text`; -1 if any is not a digit.
long Digits(const char* text, int count) {
    long value = 0;
    for (int i = 0; i < count; ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The fixed "YYYY-MM-DD HH:MM:SS" form with every field in range; false otherwise, so
// that the general parser decides.
bool ReadCanonicalDate(std::string_view text, DATE* date) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':') {
        return false;
    }
    const char* p = text.data();
    long year = Digits(p, 4), month = Digits(p + 5, 2), day = Digits(p + 8, 2);
    long hour = Digits(p + 11, 2), minute = Digits(p + 14, 2), second = Digits(p + 17, 2);
    if (year < 100 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || day > DaysInMonth(year, month)) {
        return false;
    }
    // Automation dates count days from 1899-12-30, which is day -25569 of the Unix epoch.
    const double days = static_cast<double>(DaysFromCivil(year, month, day) + 25569);
    const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
    // Before the epoch day the integer part is negative but the fraction still counts
    // forward in the day: 1899-12-29 06:00 is -1.25.
    *date = days >= 0 ? days + fraction : days - fraction;
    return true;
}

}  // namespace

// Checks in an order that keeps the narrower meaning: a DATETIME is a date before it is
// anything else; BIGINT before INT; FLOAT4 before FLOA. Whatever SQLite would give
// NUMERIC affinity becomes adNumeric.
DeclaredType MapDeclaredType(std::string_view declaredText) {
    const std::string declared = UpperCase(declaredText);
    if (Contains(declared, "DATE") || Contains(declared, "TIME")) return {adDBTimeStamp, 16};
    if (Contains(declared, "BOOL") || declared.compare(0, 3, "BIT") == 0) return {adBoolean, 2};
    if (Contains(declared, "BIGINT") || Contains(declared, "INT8")) return {adBigInt, 8};
    if (Contains(declared, "INT")) return {adInteger, 4};
    if (Contains(declared, "CHAR") || Contains(declared, "CLOB") || Contains(declared, "TEXT")) {
        return {adVarWChar, SizeInParentheses(declared, kUnboundedText)};
    }
    if (Contains(declared, "BLOB") || Contains(declared, "IMAGE") || Contains(declared, "BINARY") ||
        Contains(declared, "BYTEA")) {
        return {adLongVarBinary, SizeInParentheses(declared, kUnboundedBinary)};
    }
    if (Contains(declared, "FLOAT4") || Contains(declared, "SINGLE")) return {adSingle, 4};
    if (Contains(declared, "REAL") || Contains(declared, "FLOA") || Contains(declared, "DOUB")) return {adDouble, 8};
    return {adNumeric, 19};
}

DeclaredType TypeOfStorageClass(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER: return {adInteger, 4};
        case SQLITE_FLOAT: return {adDouble, 8};
        case SQLITE_BLOB: return {adLongVarBinary, kUnboundedBinary};
        default: return {adVarWChar, kUnboundedText};
    }
}

HRESULT ReadStoredDate(std::string_view text, DATE* date) {
    if (ReadCanonicalDate(text, date)) return S_OK;
    return DateFromText(text, date);
}

}  // namespace dbplatform::sqlite
