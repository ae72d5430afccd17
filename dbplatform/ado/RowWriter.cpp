#include "RowWriter.h"

#include <cassert>

#include <dbplatform/base/AsciiText.h>

#include "AdoErrors.h"

namespace dbplatform::ado {

using provider::ColumnWrite;
using provider::RowLocator;
using provider::Value;

RowLocator RowWriter::Insert(const std::vector<ColumnWrite>& writes, StoredRowReader* storedLater) {
    provider::InsertedRow inserted = session_->InsertRow(columns_.Table(), writes);
    if (inserted.rowsChanged != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
    if (inserted.storedLater) {
        if (storedLater) {
            *storedLater = std::move(inserted.storedLater);
        } else {
            auto stored = inserted.storedLater();
            // The locator taken at once stays where the row has gone meanwhile.
            if (!stored.empty()) inserted.stored = std::move(stored);
        }
    }
    return RowLocator{std::move(inserted.stored)};
}

void RowWriter::Update(const std::vector<ColumnWrite>& writes, RowLocator& locator) {
    if (session_->UpdateRow(columns_.Table(), writes, &locator) != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
}

void RowWriter::Delete(const RowLocator& locator) {
    if (session_->DeleteRow(columns_.Table(), locator) != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
}

RowLocator RowWriter::LocatorOf(const RowStore& store, std::size_t row, const std::vector<Value>* originals) const {
    RowLocator locator;
    for (std::size_t c : columns_.LocatorColumns()) {
        Value value = originals ? (*originals)[c] : store.GetValue(row, c);
        locator.columns.emplace_back(columns_.WriteName(c), std::move(value));
    }
    return locator;
}

// The order of insertion gives ColumnByWriteName's preference: a name already present
// keeps its column, so a locator column wins over a later writable column of the same
// name, and among the others the first in column order wins.
const std::unordered_map<std::string, std::size_t>& RowWriter::ColumnsByWriteName() const {
    if (columnsByWriteNameBuilt_) return columnsByWriteName_;
    for (std::size_t c : columns_.LocatorColumns()) columnsByWriteName_.emplace(AsciiLowered(columns_.WriteName(c)), c);
    for (std::size_t c = 0; c < columns_.Count(); ++c)
        if (columns_.Writable(c) || columns_.Info(c).rowIdentity)
            columnsByWriteName_.emplace(AsciiLowered(columns_.WriteName(c)), c);
    columnsByWriteNameBuilt_ = true;
    return columnsByWriteName_;
}

void RowWriter::ApplyLocator(RowStore& store, std::size_t row, const RowLocator& locator) const {
    const std::unordered_map<std::string, std::size_t>& columns = ColumnsByWriteName();
    std::string folded;
    for (const auto& [name, value] : locator.columns) {
        folded.assign(name);
        for (char& c : folded) c = AsciiLower(c);
        auto found = columns.find(folded);
        assert(columns_.ColumnByWriteName(name) == (found == columns.end() ? std::nullopt
                                                                            : std::optional<std::size_t>(found->second)));
        if (found != columns.end()) store.SetCell(row, found->second, value.View());
    }
}

}  // namespace dbplatform::ado
