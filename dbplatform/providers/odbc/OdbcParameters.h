// The parameters of one ODBC statement.
#pragma once

#include <deque>
#include <string>

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::odbc {

// Parameters of one statement, bound in the order they were added. Dates travel as
// canonical text: the SQLite driver stores a bound timestamp structure with ".000", which
// then never equals the same time written as text.
class ParameterList {
public:
    // Adds `value`, written for a column of `type`; returns its marker, "?".
    std::string Add(const Value& value, DataTypeEnum type);
    // Binds every parameter to `statement`; throws the driver's error when one is refused.
    // The list must outlive the statement's execution: the driver reads from it then.
    void Bind(SQLHSTMT statement);

private:
    struct Parameter {
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN columnSize = 0;
        std::string text;
        SQLBIGINT integer = 0;
        double real = 0;
        float single = 0;
        SQLLEN indicator = 0;
    };
    std::deque<Parameter> parameters_;  // a deque: bound addresses never move
};

}  // namespace dbplatform::provider::odbc
