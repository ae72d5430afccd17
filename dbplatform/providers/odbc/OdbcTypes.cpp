#include <dbplatform/providers/odbc/OdbcTypes.h>

#include <algorithm>
#include <cmath>

#include <dbplatform/providers/common/Failure.h>

namespace dbplatform::provider::odbc {

ColumnType TypeForSqlType(SQLSMALLINT sqlType, SQLULEN columnSize) {
    long size = static_cast<long>(std::min<SQLULEN>(columnSize, 2147483647));
    switch (sqlType) {
        case SQL_INTEGER: return {adInteger, ValueKind::Integer, 4};
        case SQL_SMALLINT: return {adSmallInt, ValueKind::Integer, 2};
        case SQL_TINYINT: return {adTinyInt, ValueKind::Integer, 1};
        case SQL_BIGINT: return {adBigInt, ValueKind::Integer, 8};
        case SQL_DOUBLE:
        case SQL_FLOAT: return {adDouble, ValueKind::Double, 8};
        case SQL_REAL: return {adSingle, ValueKind::Double, 4};
        case SQL_NUMERIC:
        case SQL_DECIMAL: return {adNumeric, ValueKind::Double, 19};
        case SQL_BIT: return {adBoolean, ValueKind::Boolean, 2};
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TIMESTAMP:
        case SQL_DATE: return {adDBTimeStamp, ValueKind::Date, 16};
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR: return {adLongVarWChar, ValueKind::Text, size};
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: return {adLongVarBinary, ValueKind::Bytes, size};
        default: return {adVarWChar, ValueKind::Text, size};
    }
}

void RefuseNaN(const std::vector<ColumnWrite>& columns) {
    for (const ColumnWrite& column : columns)
        if (column.value.kind == ValueKind::Double && std::isnan(column.value.real))
            ThrowFailure(FailureKind::Conversion,
                         "NaN cannot be stored in column " + column.column + ": SQLite would store it as NULL.");
}

}  // namespace dbplatform::provider::odbc
