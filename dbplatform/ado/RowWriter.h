// Rows written back to the cursor's table through the provider, one at a time. Every
// write must change exactly one row: anything else is DB_E_CONCURRENCYVIOLATION, and
// the caller changes nothing in the cursor.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <dbplatform/ado/Provider.h>

#include "CursorColumns.h"
#include "RowStore.h"

namespace dbplatform::ado {

// Reads a row just inserted as the database stored it; see InsertedRow::storedLater.
using StoredRowReader = std::function<std::vector<std::pair<std::string, provider::Value>>()>;

class RowWriter {
public:
    RowWriter(std::shared_ptr<provider::Session> session, const CursorColumns& columns)
        : session_(std::move(session)), columns_(columns) {}

    // Inserts one row with the columns given (the database fills the others) and
    // returns where it is. Every insert of the cursor, immediate or held, comes here.
    // Where the provider leaves reading the stored row for later, the reading goes to
    // `storedLater` when one is given (see InsertedRow), else it is done now.
    provider::RowLocator Insert(const std::vector<provider::ColumnWrite>& writes,
                                StoredRowReader* storedLater = nullptr);
    // Changes the row at `locator`, which the provider refreshes.
    void Update(const std::vector<provider::ColumnWrite>& writes, provider::RowLocator& locator);
    void Delete(const provider::RowLocator& locator);

    // Where row `row` of `store` is: its locator columns as read (`originals`, when the
    // row was changed in a batch) or as stored.
    provider::RowLocator LocatorOf(const RowStore& store, std::size_t row,
                                   const std::vector<provider::Value>* originals) const;
    // Takes the locator the provider gave back (a new key, a moved row identity). Each
    // entry goes to the column CursorColumns::ColumnByWriteName names; entries naming
    // no such column are passed over.
    void ApplyLocator(RowStore& store, std::size_t row, const provider::RowLocator& locator) const;

private:
    // The column ColumnByWriteName would give for each write name, keyed by the name in
    // ASCII lower case. A provider hands back every column of an inserted row, and a
    // search per entry would cost the square of a wide table's width.
    const std::unordered_map<std::string, std::size_t>& ColumnsByWriteName() const;

    std::shared_ptr<provider::Session> session_;
    const CursorColumns& columns_;
    // Built on the first locator taken back: the columns never change after the cursor
    // opens, and a cursor that only reads never needs it.
    mutable std::unordered_map<std::string, std::size_t> columnsByWriteName_;
    mutable bool columnsByWriteNameBuilt_ = false;
};

}  // namespace dbplatform::ado
