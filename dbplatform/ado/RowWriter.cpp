#include "RowWriter.h"

#include "AdoErrors.h"

namespace dbplatform::ado {

using provider::ColumnWrite;
using provider::RowLocator;
using provider::Value;

RowLocator RowWriter::Insert(const std::vector<ColumnWrite>& writes) {
    provider::InsertedRow inserted = session_->InsertRow(columns_.Table(), writes);
    if (inserted.rowsChanged != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
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

void RowWriter::ApplyLocator(RowStore& store, std::size_t row, const RowLocator& locator) const {
    for (const auto& [name, value] : locator.columns) {
        std::optional<std::size_t> column = columns_.ColumnByWriteName(name);
        if (column) store.SetCell(row, *column, value.View());
    }
}

}  // namespace dbplatform::ado
