#include "EditBuffer.h"

#include <algorithm>
#include <cassert>

namespace dbplatform::ado {

using provider::Value;
using provider::ValueKind;

EditBuffer::EditBuffer(std::size_t columns)
    : pending_(columns, std::nullopt), appendStarted_(columns, false), chunkOffsets_(columns, 0) {}

void EditBuffer::CheckInvariants() const {
#ifndef NDEBUG
    assert(appendStarted_.size() == pending_.size() && chunkOffsets_.size() == pending_.size());
    bool anyPending = false;
    for (std::size_t c = 0; c < pending_.size(); ++c) {
        anyPending = anyPending || pending_[c].has_value();
        assert(!appendStarted_[c] || pending_[c].has_value());
    }
    assert(mode_ == adEditNone || mode_ == adEditInProgress || mode_ == adEditAdd);
    assert(mode_ != adEditNone || !anyPending);
    assert(mode_ != adEditInProgress || anyPending);
#endif
}

void EditBuffer::BeginAdd(CursorNavigation::Position from) {
    assert(mode_ == adEditNone);
    addedFrom_ = from;
    mode_ = adEditAdd;
    std::fill(pending_.begin(), pending_.end(), std::nullopt);
    std::fill(appendStarted_.begin(), appendStarted_.end(), false);
    std::fill(chunkOffsets_.begin(), chunkOffsets_.end(), 0);
    CheckInvariants();
}

void EditBuffer::RowsInFront(std::size_t count) {
    if (Adding() && addedFrom_.where == CursorNavigation::Where::Row) addedFrom_.row += count;
}

void EditBuffer::Put(std::size_t column, Value value) {
    pending_[column] = std::move(value);
    appendStarted_[column] = false;
    chunkOffsets_[column] = 0;
    if (mode_ == adEditNone) mode_ = adEditInProgress;
    CheckInvariants();
}

void EditBuffer::Append(std::size_t column, Value chunk) {
    std::optional<Value>& pending = pending_[column];
    if (!appendStarted_[column] || !pending || pending->kind == ValueKind::Null) {
        pending = std::move(chunk);
    } else if (chunk.kind != ValueKind::Null) {
        pending->bytes += chunk.bytes;
    }
    appendStarted_[column] = true;
    if (mode_ == adEditNone) mode_ = adEditInProgress;
    CheckInvariants();
}

void EditBuffer::End() {
    mode_ = adEditNone;
    std::fill(pending_.begin(), pending_.end(), std::nullopt);
    std::fill(appendStarted_.begin(), appendStarted_.end(), false);
    CheckInvariants();
}

std::size_t& EditBuffer::ChunkOffset(std::size_t column, std::uint64_t positionStamp) {
    if (positionStamp != chunkStamp_) {
        std::fill(chunkOffsets_.begin(), chunkOffsets_.end(), 0);
        chunkStamp_ = positionStamp;
    }
    return chunkOffsets_[column];
}

}  // namespace dbplatform::ado
