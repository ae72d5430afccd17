// The edit of one row: values set but not yet saved, the state of AppendChunk and
// GetChunk per column, and where the cursor stood before an AddNew.
//
// Invariants, checked after each change in debug builds:
//   - with no edit, nothing is pending and no chunk append is under way;
//   - an edit in progress (not an AddNew) has at least one pending value;
//   - a column under AppendChunk has a pending value;
//   - the per-column vectors are as long as the column list.
// Whether a row is being added is the edit mode itself (adEditAdd), never a flag
// beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/ado/Provider.h>

#include "CursorNavigation.h"

namespace dbplatform::ado {

class EditBuffer {
public:
    explicit EditBuffer(std::size_t columns);

    EditModeEnum Mode() const { return mode_; }
    bool Active() const { return mode_ != adEditNone; }
    bool Adding() const { return mode_ == adEditAdd; }

    // Starts a new row; `from` is where the cursor returns if it is cancelled.
    void BeginAdd(CursorNavigation::Position from);
    CursorNavigation::Position AddedFrom() const { return addedFrom_; }
    // Follows the store when a late read puts rows in front of it.
    void RowsInFront(std::size_t count);

    const std::optional<provider::Value>& Pending(std::size_t column) const { return pending_[column]; }
    // Sets a column's value for this edit; a later AppendChunk starts afresh.
    void Put(std::size_t column, provider::Value value);
    // The first chunk of an edit replaces the value; later ones append to it.
    void Append(std::size_t column, provider::Value chunk);
    // Ends the edit (saved or dropped): nothing stays pending.
    void End();

    // Where the next GetChunk of `column` starts; it starts over on every new position
    // (`positionStamp`) and after the column is set.
    std::size_t& ChunkOffset(std::size_t column, std::uint64_t positionStamp);

private:
    void CheckInvariants() const;

    EditModeEnum mode_ = adEditNone;
    CursorNavigation::Position addedFrom_;
    std::vector<std::optional<provider::Value>> pending_;  // per column
    std::vector<bool> appendStarted_;                       // per column, in this edit
    std::vector<std::size_t> chunkOffsets_;                 // per column, at this position
    std::uint64_t chunkStamp_ = 0;                          // the position the offsets are of
};

}  // namespace dbplatform::ado
