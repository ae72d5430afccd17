#include <dbplatform/providers/sqlite/SqliteTypes.h>

#include <sqlite3.h>

#include <string>

#include <dbplatform/base/AsciiText.h>

namespace dbplatform::sqlite {

using provider::ValueKind;
namespace {

// Unbounded text and binary columns report the sizes ADO gives long columns.
constexpr long kUnboundedText = 1073741823;
constexpr long kUnboundedBinary = 2147483647;

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

}  // namespace

// Checks in an order that keeps the narrower meaning: a DATETIME is a date before it is
// anything else; BIGINT before INT; FLOAT4 before FLOA. Whatever SQLite would give
// NUMERIC affinity becomes adNumeric.
ColumnType MapDeclaredType(std::string_view declaredText) {
    const std::string declared = AsciiUppered(declaredText);
    if (Contains(declared, "DATE") || Contains(declared, "TIME")) return {adDBTimeStamp, ValueKind::Date, 16};
    if (Contains(declared, "BOOL") || declared.compare(0, 3, "BIT") == 0) return {adBoolean, ValueKind::Boolean, 2};
    if (Contains(declared, "BIGINT") || Contains(declared, "INT8")) return {adBigInt, ValueKind::Integer, 8};
    if (Contains(declared, "INT")) return {adInteger, ValueKind::Integer, 4};
    if (Contains(declared, "CHAR") || Contains(declared, "CLOB") || Contains(declared, "TEXT")) {
        return {adVarWChar, ValueKind::Text, SizeInParentheses(declared, kUnboundedText)};
    }
    if (Contains(declared, "BLOB") || Contains(declared, "IMAGE") || Contains(declared, "BINARY") ||
        Contains(declared, "BYTEA")) {
        return {adLongVarBinary, ValueKind::Bytes, SizeInParentheses(declared, kUnboundedBinary)};
    }
    if (Contains(declared, "FLOAT4") || Contains(declared, "SINGLE")) return {adSingle, ValueKind::Double, 4};
    if (Contains(declared, "REAL") || Contains(declared, "FLOA") || Contains(declared, "DOUB")) return {adDouble, ValueKind::Double, 8};
    return {adNumeric, ValueKind::Double, 19};
}

ColumnType TypeOfStorageClass(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER: return {adInteger, ValueKind::Integer, 4};
        case SQLITE_FLOAT: return {adDouble, ValueKind::Double, 8};
        case SQLITE_BLOB: return {adLongVarBinary, ValueKind::Bytes, kUnboundedBinary};
        default: return {adVarWChar, ValueKind::Text, kUnboundedText};
    }
}

}  // namespace dbplatform::sqlite
