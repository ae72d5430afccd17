#include <dbplatform/providers/odbc/OdbcParameters.h>

#include <algorithm>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>

namespace dbplatform::provider::odbc {

std::string ParameterList::Add(const Value& value, DataTypeEnum type) {
    Parameter& p = parameters_.emplace_back();
    switch (value.kind) {
        case ValueKind::Null:
            p.cType = type == adLongVarBinary ? SQL_C_BINARY : SQL_C_CHAR;
            p.sqlType = type == adLongVarBinary ? SQL_LONGVARBINARY : SQL_VARCHAR;
            p.indicator = SQL_NULL_DATA;
            p.columnSize = 1;
            break;
        case ValueKind::Integer:
            p.cType = SQL_C_SBIGINT;
            p.sqlType = SQL_BIGINT;
            p.integer = value.integer;
            p.columnSize = 19;
            break;
        case ValueKind::Boolean:
            p.cType = SQL_C_CHAR;
            p.sqlType = SQL_BIT;
            p.text.assign(1, value.integer ? '1' : '0');
            p.columnSize = 1;
            break;
        case ValueKind::Double:
            if (type == adSingle) {
                p.cType = SQL_C_FLOAT;
                p.sqlType = SQL_REAL;
                p.single = static_cast<float>(value.real);
                p.columnSize = 7;
            } else {
                p.cType = SQL_C_DOUBLE;
                p.sqlType = SQL_DOUBLE;
                p.real = value.real;
                p.columnSize = 15;
            }
            break;
        case ValueKind::Date:
            p.cType = SQL_C_CHAR;
            p.sqlType = SQL_TYPE_TIMESTAMP;
            p.text = TextFromDate(value.real);
            p.columnSize = 19;
            break;
        case ValueKind::Text:
            p.cType = SQL_C_CHAR;
            p.sqlType = value.bytes.size() > 4000 ? SQL_LONGVARCHAR : SQL_VARCHAR;
            p.text = value.bytes;
            p.columnSize = std::max<SQLULEN>(1, value.bytes.size());
            break;
        case ValueKind::Bytes:
            p.cType = SQL_C_BINARY;
            p.sqlType = SQL_LONGVARBINARY;
            p.text = value.bytes;
            p.columnSize = std::max<SQLULEN>(1, value.bytes.size());
            break;
    }
    if (p.indicator != SQL_NULL_DATA)
        p.indicator = (p.cType == SQL_C_CHAR || p.cType == SQL_C_BINARY) ? static_cast<SQLLEN>(p.text.size()) : 0;
    return "?";
}

// Binds the last parameter first. The drivers grow their table of bound parameters to the
// highest number bound so far: bound from the first, a statement of n parameters reallocated
// that table n times (the SQLite driver copied about 6 MB for an insert of 253 values, on
// every insert, since each runs on a new statement handle).
void ParameterList::Bind(SQLHSTMT statement) {
    if (parameters_.size() > 0xFFFF) throw _com_error(E_FAIL, "A statement takes at most 65535 parameters.");
    SQLUSMALLINT number = static_cast<SQLUSMALLINT>(parameters_.size());
    for (auto p = parameters_.rbegin(); p != parameters_.rend(); ++p, --number) {
        SQLPOINTER data = nullptr;
        SQLLEN length = 0;
        if (p->cType == SQL_C_SBIGINT) data = &p->integer;
        else if (p->cType == SQL_C_DOUBLE) data = &p->real;
        else if (p->cType == SQL_C_FLOAT) data = &p->single;
        else {
            data = p->text.data();
            length = static_cast<SQLLEN>(p->text.size());
        }
        CheckOdbc(SQLBindParameter(statement, number, SQL_PARAM_INPUT, p->cType, p->sqlType, p->columnSize, 0, data,
                                   length, &p->indicator),
                  SQL_HANDLE_STMT, statement);
    }
}

}  // namespace dbplatform::provider::odbc
