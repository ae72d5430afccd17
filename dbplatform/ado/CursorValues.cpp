// The cursor's field values: read from the store or the edit, set into the edit, and
// read or written in chunks.
#include <algorithm>
#include <limits>

#include <dbplatform/base/CodePage.h>
#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "Cursor.h"
#include "ValueConversion.h"

namespace dbplatform::ado {

using provider::Value;
using provider::ValueKind;

// The value a field shows now: the pending one during an edit, else the stored one.
Value Cursor::CurrentValue(std::size_t column) {
    if (edit_.Active() && edit_.Pending(column)) return *edit_.Pending(column);
    if (edit_.Adding()) return Value{};
    navigation_.RequireCurrentRow();
    return navigation_.Store().GetValue(navigation_.Row(), column);
}

namespace {

// The numbers and dates of a walk, built in place where the column's own type takes
// them as they are stored (as CellToVariantAs builds them); false for everything else,
// which CellToVariantAs converts.
inline bool PlainVariant(const provider::CellView& cell, VARTYPE wanted, VARIANT* out) {
    switch (cell.kind) {
        case ValueKind::Null: out->vt = VT_NULL; return true;
        case ValueKind::Integer:
            if (wanted == VT_I8) {
                out->vt = VT_I8;
                out->llVal = cell.integer;
                return true;
            }
            if (wanted != VT_I4 || cell.integer < std::numeric_limits<LONG>::min() ||
                cell.integer > std::numeric_limits<LONG>::max())
                return false;
            out->vt = VT_I4;
            out->lVal = static_cast<LONG>(cell.integer);
            return true;
        case ValueKind::Double:
            if (wanted != VT_R8) return false;
            out->vt = VT_R8;
            out->dblVal = cell.real;
            return true;
        case ValueKind::Date:
            if (wanted != VT_DATE) return false;
            out->vt = VT_DATE;
            out->date = cell.real;
            return true;
        default: return false;
    }
}

}  // namespace

void Cursor::GetValue(std::size_t field, VARIANT* out) {
    ReadInsertedRowIfPending();
    std::size_t column = columns_.ColumnOfField(field);
    const RowStore& store = navigation_.Store();
    // The common case of a walk: no edit, a current row that is not deleted.
    if (!edit_.Active() && navigation_.OnVisibleRow()) {
        const provider::CellView cell = store.Cell(navigation_.Row(), column);
        const VARTYPE wanted = columns_.ReadType(column);
        if (PlainVariant(cell, wanted, out)) return;
        return CellToVariantAs(cell, wanted, out);
    }
    if (edit_.Active() && edit_.Pending(column))
        return CellToVariant(edit_.Pending(column)->View(), columns_.Type(column), out);
    if (edit_.Adding()) {
        out->vt = VT_NULL;
        return;
    }
    navigation_.RequireCurrentRow();
    CellToVariant(store.Cell(navigation_.Row(), column), columns_.Type(column), out);
}

void Cursor::GetOriginalValue(std::size_t field, VARIANT* out) {
    ReadInsertedRowIfPending();
    std::size_t column = columns_.ColumnOfField(field);
    if (edit_.Adding()) {
        out->vt = VT_NULL;
        return;
    }
    navigation_.RequireCurrentRow();
    if (const std::vector<Value>* originals = batchLog_.OriginalsOf(navigation_.Row()))
        return CellToVariant((*originals)[column].View(), columns_.Type(column), out);
    CellToVariant(navigation_.Store().Cell(navigation_.Row(), column), columns_.Type(column), out);
}

std::size_t Cursor::WritableColumn(std::size_t field) {
    RequireUpdatable();
    std::size_t column = columns_.ColumnOfField(field);
    if (!columns_.Writable(column)) RaiseAdo(adErrFeatureNotAvailableHr);
    if (!edit_.Adding()) navigation_.RequireCurrentRow();
    return column;
}

// Converts first, so that a value the column cannot hold is refused before anything
// is held for writing.
void Cursor::PutValue(std::size_t field, const VARIANT& value) {
    ReadInsertedRowIfPending();
    std::size_t column = WritableColumn(field);
    edit_.Put(column, VariantToValue(value, columns_.Type(column)));
}

long Cursor::ActualSize(std::size_t field) {
    ReadInsertedRowIfPending();
    std::size_t column = columns_.ColumnOfField(field);
    Value value = CurrentValue(column);
    switch (value.kind) {
        case ValueKind::Null: return 0;
        case ValueKind::Text:
        case ValueKind::Bytes: return static_cast<long>(value.bytes.size());
        case ValueKind::Boolean: return 2;
        case ValueKind::Integer:
            switch (columns_.Type(column)) {
                case adTinyInt: case adUnsignedTinyInt: return 1;
                case adSmallInt: case adUnsignedSmallInt: return 2;
                case adBigInt: case adUnsignedBigInt: return 8;
                default: return value.integer >= std::numeric_limits<LONG>::min() &&
                                        value.integer <= std::numeric_limits<LONG>::max() ? 4 : 8;
            }
        case ValueKind::Double: return columns_.Type(column) == adSingle ? 4 : 8;
        case ValueKind::Date: return 8;
    }
    return 0;
}

// Text fields give their text in UTF-16 units, binary fields their bytes, each call
// continuing where the last one on this field and row stopped.
void Cursor::GetChunk(std::size_t field, long length, VARIANT* out) {
    ReadInsertedRowIfPending();
    if (length < 0) RaiseAdo(adErrInvalidArgumentHr);
    std::size_t column = columns_.ColumnOfField(field);
    Value value = CurrentValue(column);
    std::size_t& offset = edit_.ChunkOffset(column, navigation_.PositionStamp());
    if (value.kind == ValueKind::Null) {
        out->vt = VT_NULL;
        return;
    }
    if (value.kind == ValueKind::Bytes) {
        if (offset >= value.bytes.size()) {
            out->vt = VT_NULL;
            return;
        }
        std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(length), value.bytes.size() - offset);
        BytesToVariant(std::string_view(value.bytes).substr(offset, take), out);
        offset += take;
        return;
    }
    if (value.kind != ValueKind::Text) RaiseAdo(adErrFeatureNotAvailableHr);
    std::u16string wide = dbplatform::WideFromUtf8(value.bytes);
    if (offset >= wide.size()) {
        out->vt = VT_NULL;
        return;
    }
    std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(length), wide.size() - offset);
    // A chunk longer than a BSTR holds is refused, not cut to the BSTR's UINT length.
    BSTR chunk = take <= dbplatform::kMaxBstrLength ? SysAllocStringLen(wide.data() + offset, static_cast<UINT>(take)) : nullptr;
    if (!chunk) throw _com_error(E_OUTOFMEMORY, "A text chunk of " + std::to_string(take) + " characters could not be made a BSTR.");
    out->vt = VT_BSTR;
    out->bstrVal = chunk;
    offset += take;
}

// The first chunk of an edit replaces the value; later ones append to it.
void Cursor::AppendChunk(std::size_t field, const VARIANT& data) {
    ReadInsertedRowIfPending();
    std::size_t column = WritableColumn(field);
    DataTypeEnum type = columns_.Type(column);
    if (!IsTextType(type) && !IsBinaryType(type)) RaiseAdo(adErrFeatureNotAvailableHr);
    edit_.Append(column, VariantToValue(data, type));
}

}  // namespace dbplatform::ado
