#include <dbplatform/providers/odbc/OdbcCalls.h>

#include <algorithm>
#include <cstring>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/providers/odbc/OdbcCommandTimeout.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/odbc/OdbcParameters.h>
#include <dbplatform/providers/odbc/OdbcTypes.h>

namespace dbplatform::provider::odbc {

std::string ColumnText(SQLHSTMT statement, SQLUSMALLINT column) {
    char buffer[1024];
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    CheckOdbc(rc, SQL_HANDLE_STMT, statement);
    if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA) return "";
    // A driver that cannot tell the length (SQL_NO_TOTAL) still ends the text it wrote.
    if (indicator < 0) return std::string(buffer, strnlen(buffer, sizeof buffer - 1));
    return std::string(buffer, static_cast<std::size_t>(std::min<SQLLEN>(indicator, sizeof buffer - 1)));
}

std::string AttributeText(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    char buffer[512] = {0};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLColAttribute(statement, column, field, buffer, sizeof buffer, &length, nullptr);
    if (!SQL_SUCCEEDED(rc)) return "";
    return std::string(buffer, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(length, 0, sizeof buffer - 1)));
}

bool Run(SQLHSTMT statement, const std::string& sql, ParameterList* parameters, long timeoutSeconds) {
    if (parameters) parameters->Bind(statement);
    SQLRETURN rc = Bounded(statement, timeoutSeconds, [&] {
        return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    });
    CheckOdbc(rc, SQL_HANDLE_STMT, statement);
    return rc != SQL_NO_DATA;
}

bool HasResultSet(SQLHSTMT statement) {
    SQLSMALLINT count = 0;
    return SQL_SUCCEEDED(SQLNumResultCols(statement, &count)) && count > 0;
}

long RowCount(SQLHSTMT statement) {
    SQLLEN count = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(statement, &count))) return -1;
    return static_cast<long>(count);
}

std::vector<ValueKind> KindsOf(SQLHSTMT statement, std::vector<ColumnInfo>* columns) {
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(statement, &count), SQL_HANDLE_STMT, statement);
    std::vector<ValueKind> kinds;
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
        char name[512] = {0};
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
        SQLULEN size = 0;
        CheckOdbc(SQLDescribeCol(statement, i, reinterpret_cast<SQLCHAR*>(name), sizeof name, &nameLength, &sqlType,
                                 &size, &digits, &nullable),
                  SQL_HANDLE_STMT, statement);
        ColumnType type = TypeForSqlType(sqlType, size);
        // Drivers that lose a type in the SQL type code still name it: psqlODBC hands
        // booleans over as characters, the SQLite driver describes NUMERIC as DOUBLE.
        std::string typeName = AttributeText(statement, i, SQL_DESC_TYPE_NAME);
        if (EqualNoCase(typeName, "bool")) type = {adBoolean, ValueKind::Boolean, 2};
        if (StartsWithNoCase(typeName, "NUMERIC") || StartsWithNoCase(typeName, "DECIMAL"))
            type = {adNumeric, ValueKind::Double, 19};
        kinds.push_back(type.kind);
        if (columns) {
            ColumnInfo column;
            column.name.assign(name, static_cast<std::size_t>(std::clamp<SQLSMALLINT>(nameLength, 0, sizeof name - 1)));
            column.type = type.type;
            column.definedSize = type.definedSize;
            column.nullable = nullable != SQL_NO_NULLS;
            columns->push_back(std::move(column));
        }
    }
    return kinds;
}

}  // namespace dbplatform::provider::odbc
