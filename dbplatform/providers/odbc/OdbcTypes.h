// ODBC SQL types as ADO types and cell kinds, and the reverse for parameters.
#pragma once

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::odbc {

struct OdbcType {
    DataTypeEnum type;
    ValueKind kind;
    long definedSize;
};

// The ADO type of a result column described as `sqlType` with `columnSize`.
OdbcType TypeForSqlType(SQLSMALLINT sqlType, SQLULEN columnSize);

}  // namespace dbplatform::provider::odbc
