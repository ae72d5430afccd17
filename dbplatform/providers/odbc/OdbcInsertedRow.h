// Reading back the row just inserted on a product that finds it by its row identity
// (SQLite's rowid). "SELECT rowid, * ..." makes the SQLite driver look up the table's
// definition of every column while it prepares the statement, and the session then
// describes every column again: for a wide table that costs more than the insert. Once a
// table's row has been read back that way, the session keeps its description and reads
// the next rows with each column as a bare value (+[name]), which the driver prepares
// without those lookups and hands over as the same text.
#pragma once

#include <string>
#include <vector>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/common/RowDialects.h>

namespace dbplatform::provider::odbc {

struct InsertedRowShape {
    std::string select;               // the statement reading the new row, values bare
    std::vector<ColumnInfo> columns;  // as the full statement described them, identity first
    std::vector<ValueKind> kinds;     // the kinds the full statement's values were read as
};

// The SQLite statement reading the row just inserted into `table` with each of `columns`
// (the row identity first, then the table's columns) as a bare value; "" where a column's
// kind or name leaves doubt that the driver would hand its value over as it does for the
// column itself (binary values; names the driver may have given with their table), or
// where a name cannot be written in brackets.
std::string SelectInsertedValuesStatement(const RowDialect& dialect, const std::string& table,
                                          const std::vector<ColumnInfo>& columns, const std::vector<ValueKind>& kinds);

}  // namespace dbplatform::provider::odbc
