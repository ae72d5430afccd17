// The ODBC calls the session makes on one statement, each with its result checked.
#pragma once

#include <string>
#include <vector>

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::odbc {

class ParameterList;

// Column `column` of the fetched row as text ("" for NULL), at most 1023 bytes: for
// catalog results (names, kinds). Throws the driver's error when the read fails.
std::string ColumnText(SQLHSTMT statement, SQLUSMALLINT column);

// A text attribute of result column `column`; "" where the driver has none.
std::string AttributeText(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field);

// Runs `sql` with `parameters` (may be null) on `statement`, for at most
// `timeoutSeconds` (0 = no limit); the statement then holds any result set. False when
// the statement touched no row (SQL_NO_DATA: no result set is open then).
bool Run(SQLHSTMT statement, const std::string& sql, ParameterList* parameters, long timeoutSeconds);

// Whether `statement` holds a result set.
bool HasResultSet(SQLHSTMT statement);

// The rows the statement changed, or -1 where the driver cannot tell.
long RowCount(SQLHSTMT statement);

// The kinds in which each column of the result is read; with `columns`, also their
// description.
std::vector<ValueKind> KindsOf(SQLHSTMT statement, std::vector<ColumnInfo>* columns);

}  // namespace dbplatform::provider::odbc
