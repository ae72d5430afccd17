#include "BatchLog.h"

#include <cassert>

namespace dbplatform::ado {

using provider::ColumnWrite;
using provider::RowLocator;
using provider::Value;

void BatchLog::CheckInvariants() const {
#ifndef NDEBUG
    // Checked in full only while it is cheap: it runs after every held change.
    const RowStore& store = navigation_.Store();
    if (changes_.size() > 1024 || store.RowCount() > 1024) return;
    for (const auto& [row, change] : changes_) {
        assert(row < store.RowCount());
        assert(change.changed.size() == columns_.Count());
        std::uint8_t flags = store.Flags(row);
        if (flags & RowStore::kBatchNew) assert(change.originals.empty());
        else assert(change.originals.size() == columns_.Count() && (flags & RowStore::kBatchModified));
    }
    for (std::size_t r = 0; r < store.RowCount(); ++r)
        if ((store.Flags(r) & RowStore::kBatchNew) && !(store.Flags(r) & RowStore::kDeleted)) assert(changes_.count(r));
#endif
}

const std::vector<Value>* BatchLog::OriginalsOf(std::size_t row) const {
    auto it = changes_.find(row);
    if (it == changes_.end() || it->second.originals.empty()) return nullptr;
    return &it->second.originals;
}

bool BatchLog::AnyHeld() const {
    if (!changes_.empty()) return true;
    const RowStore& store = navigation_.Store();
    for (std::size_t r = 0; r < store.RowCount(); ++r)
        if (store.Flags(r) & RowStore::kBatchDeleted) return true;
    return false;
}

std::size_t BatchLog::HoldNew(const std::vector<std::optional<Value>>& values) {
    assert(values.size() == columns_.Count());
    Change change;
    change.changed.assign(columns_.Count(), false);
    std::vector<Value> row(columns_.Count());
    for (std::size_t c = 0; c < columns_.Count(); ++c) {
        change.changed[c] = values[c].has_value();
        if (values[c]) row[c] = *values[c];
    }
    if (!navigation_.ForwardOnly()) navigation_.FetchAll();  // held rows go after the query's rows
    std::size_t added = navigation_.AppendRow(row, RowStore::kBatchNew);
    changes_[added] = std::move(change);
    CheckInvariants();
    return added;
}

void BatchLog::HoldUpdate(std::size_t row, const std::vector<std::optional<Value>>& values) {
    assert(values.size() == columns_.Count());
    RowStore& store = navigation_.Store();
    std::uint8_t flags = store.Flags(row);
    auto it = changes_.find(row);
    if (it == changes_.end()) {
        Change change;
        change.changed.assign(columns_.Count(), false);
        if (!(flags & RowStore::kBatchNew)) {
            change.originals.reserve(columns_.Count());
            for (std::size_t c = 0; c < columns_.Count(); ++c) change.originals.push_back(store.GetValue(row, c));
        }
        it = changes_.emplace(row, std::move(change)).first;
    }
    for (std::size_t c = 0; c < columns_.Count(); ++c) {
        if (!values[c]) continue;
        store.SetCell(row, c, values[c]->View());
        it->second.changed[c] = true;
    }
    if (!(flags & RowStore::kBatchNew)) navigation_.SetFlags(row, flags | RowStore::kBatchModified);
    CheckInvariants();
}

void BatchLog::HoldDelete(std::size_t row) {
    std::uint8_t flags = navigation_.Store().Flags(row);
    if (flags & RowStore::kBatchNew) {
        navigation_.SetFlags(row, RowStore::kDeleted);
        changes_.erase(row);
    } else {
        navigation_.SetFlags(row, flags | RowStore::kDeleted | RowStore::kBatchDeleted);
    }
    CheckInvariants();
}

// The changed columns of a held row, with their values as read where the row was read.
std::vector<ColumnWrite> BatchLog::WritesOf(std::size_t row, const Change& change) const {
    std::vector<ColumnWrite> writes;
    for (std::size_t c = 0; c < columns_.Count(); ++c) {
        if (!change.changed[c] || !columns_.Writable(c)) continue;
        ColumnWrite write;
        write.column = columns_.WriteName(c);
        write.type = columns_.Type(c);
        write.value = navigation_.Store().GetValue(row, c);
        if (!change.originals.empty()) write.original = change.originals[c];
        writes.push_back(std::move(write));
    }
    return writes;
}

BatchLog::Located BatchLog::Send(RowWriter& writer) const {
    const RowStore& store = navigation_.Store();
    Located located;
    for (std::size_t r = 0; r < store.RowCount(); ++r) {
        std::uint8_t flags = store.Flags(r);
        auto it = changes_.find(r);
        const Change* change = it == changes_.end() ? nullptr : &it->second;
        const std::vector<Value>* originals = change && !change->originals.empty() ? &change->originals : nullptr;
        if (flags & RowStore::kBatchDeleted) {
            writer.Delete(writer.LocatorOf(store, r, originals));
            continue;
        }
        if (!change || (flags & RowStore::kDeleted)) continue;
        std::vector<ColumnWrite> writes = WritesOf(r, *change);
        RowLocator locator;
        if (flags & RowStore::kBatchNew) {
            locator = writer.Insert(writes);
        } else {
            if (writes.empty()) continue;
            locator = writer.LocatorOf(store, r, originals);
            writer.Update(writes, locator);
        }
        located.emplace_back(r, std::move(locator));
    }
    return located;
}

void BatchLog::Settle(const Located& located, const RowWriter& writer) {
    RowStore& store = navigation_.Store();
    for (const auto& [row, locator] : located) writer.ApplyLocator(store, row, locator);
    for (std::size_t r = 0; r < store.RowCount(); ++r) navigation_.SetFlags(r, store.Flags(r) & RowStore::kDeleted);
    changes_.clear();
    CheckInvariants();
}

void BatchLog::Cancel() {
    RowStore& store = navigation_.Store();
    for (std::size_t r = 0; r < store.RowCount(); ++r) {
        std::uint8_t flags = store.Flags(r);
        if (flags & RowStore::kBatchNew) navigation_.SetFlags(r, RowStore::kDeleted);
        else if (flags & RowStore::kBatchDeleted) navigation_.SetFlags(r, 0);
    }
    for (auto& [row, change] : changes_) {
        if (change.originals.empty()) continue;
        for (std::size_t c = 0; c < columns_.Count(); ++c) store.SetCell(row, c, change.originals[c].View());
        navigation_.SetFlags(row, store.Flags(row) & ~RowStore::kBatchModified);
    }
    changes_.clear();
    CheckInvariants();
}

void BatchLog::RowsInFront(std::size_t count) {
    if (count == 0) return;
    std::unordered_map<std::size_t, Change> moved;
    for (auto& [row, change] : changes_) moved.emplace(row + count, std::move(change));
    changes_ = std::move(moved);
}

}  // namespace dbplatform::ado
