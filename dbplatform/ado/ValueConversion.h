// Conversions between the provider's cells and VARIANTs, by the column's DataTypeEnum.
#pragma once

#include <dbplatform/ado/Provider.h>
#include <dbplatform/automation/Variant.h>

namespace dbplatform::ado {

// The VARIANT type a value of a column of `type` reads as.
VARTYPE VarTypeOfColumn(DataTypeEnum type);
bool IsTextType(DataTypeEnum type);
bool IsBinaryType(DataTypeEnum type);
bool IsLongType(DataTypeEnum type);

// Writes `cell` into `out` (which must be empty or cleared) as the column's VARIANT type;
// NULL reads as VT_NULL, an adInteger value outside 32 bits as VT_I8. A cell the column
// type cannot hold (dynamic typing) keeps its own natural type rather than failing.
void CellToVariant(const provider::CellView& cell, DataTypeEnum type, VARIANT* out);
// The same with the column's VARIANT type already worked out (VarTypeOfColumn).
void CellToVariantAs(const provider::CellView& cell, VARTYPE wanted, VARIANT* out);

// Converts `value` to the column's type, as the database will store it. VT_NULL and
// VT_EMPTY are NULL. Throws _com_error with the conversion's HRESULT (DISP_E_TYPEMISMATCH,
// DISP_E_OVERFLOW) when it cannot be converted.
provider::Value VariantToValue(const VARIANT& value, DataTypeEnum type);

// The bytes of a VT_ARRAY|VT_UI1 value (throws DISP_E_TYPEMISMATCH for anything else).
std::string BytesOfArray(const VARIANT& value);
// A new VT_ARRAY|VT_UI1 holding `bytes`.
void BytesToVariant(std::string_view bytes, VARIANT* out);
// The UTF-8 text of a VT_BSTR.
std::string Utf8OfBstr(BSTR text);

}  // namespace dbplatform::ado
