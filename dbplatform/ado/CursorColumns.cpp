#include "CursorColumns.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

#include <dbplatform/automation/VariantArgument.h>
#include <dbplatform/base/AsciiText.h>
#include <dbplatform/base/CodePage.h>

#include "AdoErrors.h"
#include "ValueConversion.h"
#include "WholeIndex.h"

namespace dbplatform::ado {

using provider::ColumnInfo;

namespace {

std::u16string Folded(std::u16string text) {
    for (char16_t& c : text) c = AsciiLower(c);
    return text;
}

}  // namespace

// Decides once, from the provider's column descriptions, whether rows can be written
// back and how a row is found again: by the table's key columns, else by the provider's
// row identity, else by every column of the table. The key comes first because a row
// identity such as PostgreSQL's ctid moves when anyone else updates the row.
CursorColumns::CursorColumns(std::vector<ColumnInfo> columns, LockTypeEnum lockType) : columns_(std::move(columns)) {
    bool oneTable = true;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const ColumnInfo& column = columns_[c];
        if (column.rowIdentity) continue;
        fields_.push_back(c);
        names_.push_back(FieldName{Folded(dbplatform::WideFromUtf8(column.name))});
        if (column.baseTable.empty()) continue;
        if (table_.empty()) table_ = column.baseTable;
        else if (!EqualNoCase(table_, column.baseTable)) oneTable = false;
    }
    updatable_ = lockType != adLockReadOnly && lockType != adLockUnspecified && oneTable && !table_.empty();
    batch_ = updatable_ && lockType == adLockBatchOptimistic;
    writable_.assign(columns_.size(), false);
    for (std::size_t c = 0; c < columns_.size(); ++c)
        writable_[c] = updatable_ && !columns_[c].rowIdentity && EqualNoCase(columns_[c].baseTable, table_);
    if (updatable_) {
        for (std::size_t c = 0; c < columns_.size(); ++c)
            if (columns_[c].key && writable_[c]) locatorColumns_.push_back(c);
        if (locatorColumns_.empty())
            for (std::size_t c = 0; c < columns_.size(); ++c)
                if (columns_[c].rowIdentity) locatorColumns_.push_back(c);
        if (locatorColumns_.empty())
            for (std::size_t c = 0; c < columns_.size(); ++c)
                if (writable_[c]) locatorColumns_.push_back(c);
    }
    for (const ColumnInfo& column : columns_) readTypes_.push_back(VarTypeOfColumn(column.type));
    // Sorted by name, fields of the same name stand side by side: wide results stay cheap.
    std::vector<FieldName*> byName;
    for (FieldName& name : names_) byName.push_back(&name);
    std::sort(byName.begin(), byName.end(),
              [](const FieldName* a, const FieldName* b) { return a->folded < b->folded; });
    for (std::size_t i = 1; i < byName.size(); ++i)
        if (byName[i - 1]->folded == byName[i]->folded) byName[i - 1]->unique = byName[i]->unique = false;
    CheckInvariants();
}

void CursorColumns::CheckInvariants() const {
#ifndef NDEBUG
    assert(writable_.size() == columns_.size() && readTypes_.size() == columns_.size());
    assert(names_.size() == fields_.size());
    assert(!batch_ || updatable_);
    assert(updatable_ || locatorColumns_.empty());
    for (std::size_t field : fields_) assert(field < columns_.size() && !columns_[field].rowIdentity);
    for (std::size_t c = 0; c < columns_.size(); ++c) assert(!writable_[c] || !columns_[c].rowIdentity);
    for (std::size_t c : locatorColumns_) assert(c < columns_.size());
#endif
}

// Four units at a time while they are equal as given (callers mostly spell a name as
// the engine does, and names are mostly lower case), then unit by unit with ASCII case
// folded. A call to memcmp would cost more than these few compares.
[[gnu::always_inline]] inline bool CursorColumns::NameIs(std::size_t field, const OLECHAR* text,
                                                       std::size_t length) const {
    const std::u16string& name = names_[field].folded;
    if (name.size() != length) return false;
    const char16_t* folded = name.data();
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        std::uint64_t given, known;
        std::memcpy(&given, text + i, 8);
        std::memcpy(&known, folded + i, 8);
        if (given != known) break;
    }
    for (; i < length; ++i)
        if (text[i] != folded[i] && AsciiLower(text[i]) != folded[i]) return false;
    return true;
}

// Called for every field read of a walk. The guess is tried first, and only for a name
// no other field has, so that it finds what the scan in field order would: the first
// field of that name.
std::size_t CursorColumns::FieldIndex(const VARIANT& index) const {
    const VARIANT* v = &Dereferenced(index);
    if (v->vt == VT_BSTR) {
        const OLECHAR* text = v->bstrVal;
        const std::size_t length = SysStringLen(v->bstrVal);
        std::size_t found = guess_;
        if (found >= names_.size() || !names_[found].unique || !NameIs(found, text, length)) {
            found = 0;
            while (found < fields_.size() && !NameIs(found, text, length)) ++found;
            if (found == fields_.size()) RaiseAdo(adErrItemNotFoundHr);
        }
        guess_ = found + 1 < fields_.size() ? found + 1 : 0;
        return found;
    }
    long long ordinal = -1;
    switch (v->vt) {
        case VT_I1: ordinal = v->cVal; break;
        case VT_UI1: ordinal = v->bVal; break;
        case VT_I2: ordinal = v->iVal; break;
        case VT_UI2: ordinal = v->uiVal; break;
        case VT_I4: case VT_INT: ordinal = v->lVal; break;
        case VT_UI4: case VT_UINT: ordinal = v->ulVal; break;
        case VT_I8: ordinal = v->llVal; break;
        case VT_UI8: ordinal = v->ullVal > 0x7FFFFFFFull ? -1 : static_cast<long long>(v->ullVal); break;
        case VT_R4: ordinal = WholeIndex(v->fltVal); break;
        case VT_R8: ordinal = WholeIndex(v->dblVal); break;
        default: RaiseAdo(adErrItemNotFoundHr);
    }
    if (ordinal < 0 || static_cast<unsigned long long>(ordinal) >= fields_.size()) RaiseAdo(adErrItemNotFoundHr);
    return static_cast<std::size_t>(ordinal);
}

std::string CursorColumns::WriteName(std::size_t column) const {
    const ColumnInfo& info = columns_[column];
    if (!info.rowIdentity && !info.baseColumn.empty()) return info.baseColumn;
    return info.name;
}

std::optional<std::size_t> CursorColumns::ColumnByWriteName(const std::string& name) const {
    for (std::size_t c : locatorColumns_)
        if (EqualNoCase(WriteName(c), name)) return c;
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (EqualNoCase(WriteName(c), name) && (writable_[c] || columns_[c].rowIdentity)) return c;
    return std::nullopt;
}

}  // namespace dbplatform::ado
