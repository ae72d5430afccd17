// A field read for readers that take a text where the store keeps it.
#include <dbplatform/automation/Bstr.h>

#include "Cursor.h"

namespace dbplatform::ado {

// Only the case GetValue serves from the store as it stands (no edit, a current row that
// is not deleted) is taken in place, and only for a text cell of a column read as VT_BSTR
// that a BSTR can hold; GetValue would give exactly that text as a new BSTR. Everything
// else goes through GetValue itself, so the two can never answer differently.
bool Cursor::ReadInPlace(std::size_t field, VARIANT* out, std::string_view* text) {
    std::size_t column = columns_.ColumnOfField(field);
    if (columns_.ReadType(column) == VT_BSTR && !edit_.Active() && navigation_.OnRow() &&
        !navigation_.Deleted(navigation_.Row())) {
        provider::CellView cell = navigation_.Store().Cell(navigation_.Row(), column);
        if (cell.kind == provider::ValueKind::Text && cell.bytes.size() <= kMaxBstrLength) {
            *text = cell.bytes;
            return true;
        }
    }
    GetValue(field, out);
    return false;
}

}  // namespace dbplatform::ado
