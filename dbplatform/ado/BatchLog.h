// The changes a batch cursor holds until UpdateBatch: per changed or added row, which
// columns changed and (for rows that were read) the whole row as read. The kinds of
// change are the rows' flags in the store (kBatchNew, kBatchModified, kBatchDeleted);
// this log holds what the flags cannot.
//
// Invariants, checked after each change in debug builds:
//   - every logged row is a row of the store, with one `changed` entry per column;
//   - a row added in this batch has no originals; every other logged row has all of
//     them, and is flagged modified;
//   - a row added in this batch and not deleted again is logged.
#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

#include <dbplatform/ado/Provider.h>

#include "CursorColumns.h"
#include "CursorNavigation.h"
#include "RowWriter.h"

namespace dbplatform::ado {

class BatchLog {
public:
    // A row's place in the store, and where the database now has it.
    using Located = std::vector<std::pair<std::size_t, provider::RowLocator>>;

    BatchLog(const CursorColumns& columns, CursorNavigation& navigation) : columns_(columns), navigation_(navigation) {}

    bool Empty() const { return changes_.empty(); }
    // The row as read, or null when it was not changed (or was added in this batch).
    const std::vector<provider::Value>* OriginalsOf(std::size_t row) const;
    // True when UpdateBatch has anything to send.
    bool AnyHeld() const;

    // Holds a new row with the values given (null where nothing was set) and returns it.
    std::size_t HoldNew(const std::vector<std::optional<provider::Value>>& values);
    // Holds new values for columns of a row already in the store.
    void HoldUpdate(std::size_t row, const std::vector<std::optional<provider::Value>>& values);
    // Marks a row deleted; a row added in this batch is simply dropped.
    void HoldDelete(std::size_t row);

    // Sends every held change through `writer`, in row order; the cursor is left as it
    // was, so that a failure keeps every change pending. The caller owns the transaction.
    Located Send(RowWriter& writer) const;
    // After the commit: the sent rows take their new locators and nothing is held.
    void Settle(const Located& located, const RowWriter& writer);
    // Puts back every row as read, drops added rows and revives deleted ones.
    void Cancel();
    // Follows the store when a late read puts rows in front of it.
    void RowsInFront(std::size_t count);

private:
    struct Change {
        std::vector<provider::Value> originals;  // the whole row as read (empty for new rows)
        std::vector<bool> changed;
    };

    std::vector<provider::ColumnWrite> WritesOf(std::size_t row, const Change& change) const;
    void CheckInvariants() const;

    const CursorColumns& columns_;
    CursorNavigation& navigation_;
    std::unordered_map<std::size_t, Change> changes_;
};

}  // namespace dbplatform::ado
