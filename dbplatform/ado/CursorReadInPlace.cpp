// A field read for readers that take a text where the store keeps it.
#include <dbplatform/automation/Bstr.h>

#include "Cursor.h"
#include "ValueConversion.h"

namespace dbplatform::ado {

// Only the case GetValue serves from the store as it stands (no edit, a current row that
// is not deleted) is read here, as GetValue reads it there; a text cell of a column read
// as VT_BSTR that a BSTR can hold, which GetValue would copy into a new BSTR, is handed
// over as it is. Every other case goes through GetValue itself.
bool Cursor::ReadInPlace(std::size_t field, VARIANT* out, std::string_view* text) {
    ReadInsertedRowIfPending();
    if (edit_.Active() || !navigation_.OnRow() || navigation_.Deleted(navigation_.Row())) {
        GetValue(field, out);
        return false;
    }
    const std::size_t column = columns_.ColumnOfField(field);
    const provider::CellView cell = navigation_.Store().Cell(navigation_.Row(), column);
    const VARTYPE type = columns_.ReadType(column);
    if (type == VT_BSTR && cell.kind == provider::ValueKind::Text && cell.bytes.size() <= kMaxBstrLength) {
        *text = cell.bytes;
        return true;
    }
    CellToVariantAs(cell, type, out);
    return false;
}

}  // namespace dbplatform::ado
