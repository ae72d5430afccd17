// A row inserted through a provider session, with the new row as stored handed back the
// way the tests use it: as the locator of the row.
#pragma once

#include <string>
#include <vector>

#include <dbplatform/ado/Provider.h>

// Inserts through `session` and returns the rows changed; fills `stored` (may be null)
// with the new row as the provider read it back.
inline long InsertRowInto(dbplatform::provider::Session& session, const std::string& table,
                          const std::vector<dbplatform::provider::ColumnWrite>& columns,
                          dbplatform::provider::RowLocator* stored) {
    dbplatform::provider::InsertedRow inserted = session.InsertRow(table, columns);
    if (stored) stored->columns = std::move(inserted.stored);
    return inserted.rowsChanged;
}
