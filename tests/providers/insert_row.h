// A row inserted through a provider session, with the new row as stored handed back the
// way the tests use it: as the locator of the row.
#pragma once

#include <string>
#include <vector>

#include <dbplatform/ado/Provider.h>

// Inserts through `session` and returns the rows changed; fills `stored` (may be null)
// with the new row as the provider read it back. A row the provider leaves to be read
// later is read at once, as the engine reads it when the row is first looked at; the
// locator taken at the insert stays where that finds nothing.
inline long InsertRowInto(dbplatform::provider::Session& session, const std::string& table,
                          const std::vector<dbplatform::provider::ColumnWrite>& columns,
                          dbplatform::provider::RowLocator* stored) {
    dbplatform::provider::InsertedRow inserted = session.InsertRow(table, columns);
    if (inserted.storedLater) {
        auto later = inserted.storedLater();
        if (!later.empty()) inserted.stored = std::move(later);
    }
    if (stored) stored->columns = std::move(inserted.stored);
    return inserted.rowsChanged;
}
