// ODBC SQL types as ADO types and cell kinds, and the reverse for parameters.
#pragma once

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <vector>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/common/ColumnType.h>

namespace dbplatform::provider::odbc {

// The ADO type of a result column described as `sqlType` with `columnSize`.
ColumnType TypeForSqlType(SQLSMALLINT sqlType, SQLULEN columnSize);

// Refuses (DB_E_CANTCONVERTVALUE) a row to write that holds a NaN, for an engine that would
// store it as NULL without a word (SQLite): the row could not be located afterwards.
void RefuseNaN(const std::vector<ColumnWrite>& columns);

}  // namespace dbplatform::provider::odbc
