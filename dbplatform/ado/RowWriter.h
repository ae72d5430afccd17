// Rows written back to the cursor's table through the provider, one at a time. Every
// write must change exactly one row: anything else is DB_E_CONCURRENCYVIOLATION, and
// the caller changes nothing in the cursor.
#pragma once

#include <memory>
#include <vector>

#include <dbplatform/ado/Provider.h>

#include "CursorColumns.h"
#include "RowStore.h"

namespace dbplatform::ado {

class RowWriter {
public:
    RowWriter(std::shared_ptr<provider::Session> session, const CursorColumns& columns)
        : session_(std::move(session)), columns_(columns) {}

    // Inserts one row with the columns given (the database fills the others) and
    // returns where it is. Every insert of the cursor, immediate or held, comes here.
    provider::RowLocator Insert(const std::vector<provider::ColumnWrite>& writes);
    // Changes the row at `locator`, which the provider refreshes.
    void Update(const std::vector<provider::ColumnWrite>& writes, provider::RowLocator& locator);
    void Delete(const provider::RowLocator& locator);

    // Where row `row` of `store` is: its locator columns as read (`originals`, when the
    // row was changed in a batch) or as stored.
    provider::RowLocator LocatorOf(const RowStore& store, std::size_t row,
                                   const std::vector<provider::Value>* originals) const;
    // Takes the locator the provider gave back (a new key, a moved row identity).
    void ApplyLocator(RowStore& store, std::size_t row, const provider::RowLocator& locator) const;

private:
    std::shared_ptr<provider::Session> session_;
    const CursorColumns& columns_;
};

}  // namespace dbplatform::ado
