#include "ValueConversion.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <dbplatform/automation/Bstr.h>
#include <dbplatform/automation/VariantArgument.h>
#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/base/CodePage.h>
#include <dbplatform/com/ComError.h>

namespace dbplatform::ado {

using provider::CellView;
using provider::Value;
using provider::ValueKind;

bool IsTextType(DataTypeEnum type) {
    switch (type) {
        case adBSTR: case adChar: case adVarChar: case adLongVarChar: case adWChar: case adVarWChar:
        case adLongVarWChar: case adGUID:
            return true;
        default:
            return false;
    }
}

bool IsBinaryType(DataTypeEnum type) { return type == adBinary || type == adVarBinary || type == adLongVarBinary; }

bool IsLongType(DataTypeEnum type) {
    return type == adLongVarBinary || type == adLongVarChar || type == adLongVarWChar;
}

VARTYPE VarTypeOfColumn(DataTypeEnum type) {
    switch (type) {
        case adTinyInt: return VT_I1;
        case adUnsignedTinyInt: return VT_UI1;
        case adSmallInt: return VT_I2;
        case adUnsignedSmallInt: return VT_UI2;
        case adInteger: return VT_I4;
        case adUnsignedInt: return VT_UI4;
        case adBigInt: return VT_I8;
        case adUnsignedBigInt: return VT_UI8;
        case adSingle: return VT_R4;
        case adDouble: case adCurrency: case adDecimal: case adNumeric: case adVarNumeric: return VT_R8;
        case adBoolean: return VT_BOOL;
        case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: case adFileTime: return VT_DATE;
        case adBinary: case adVarBinary: case adLongVarBinary: return VT_ARRAY | VT_UI1;
        default: return IsTextType(type) ? VT_BSTR : VT_EMPTY;
    }
}

std::string Utf8OfBstr(BSTR text) {
    if (!text) return {};
    return dbplatform::Utf8FromWide(std::u16string_view(text, SysStringLen(text)));
}

// A value longer than a byte array can hold is refused whole: narrowing its size to the
// array's ULONG count would build a short array and copy the full length into it.
void BytesToVariant(std::string_view bytes, VARIANT* out) {
    if (bytes.size() > dbplatform::kMaxVectorElements)
        throw _com_error(E_OUTOFMEMORY, "A value of " + std::to_string(bytes.size()) +
                                            " bytes is larger than a byte array can hold.");
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) throw _com_error(E_OUTOFMEMORY);
    if (!bytes.empty()) {
        void* data = nullptr;
        HRESULT hr = SafeArrayAccessData(array, &data);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            throw _com_error(hr);
        }
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
}

std::string BytesOfArray(const VARIANT& value) {
    if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray) throw _com_error(DISP_E_TYPEMISMATCH, "Type mismatch.");
    SAFEARRAY* array = value.parray;
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        throw _com_error(DISP_E_TYPEMISMATCH, "Type mismatch.");
    std::string bytes;
    if (upper < lower) return bytes;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) throw _com_error(hr);
    bytes.assign(static_cast<const char*>(data), static_cast<std::size_t>(upper - lower + 1));
    SafeArrayUnaccessData(array);
    return bytes;
}

namespace {

// The cell as the VARIANT type its own kind suggests.
void NaturalVariant(const CellView& cell, VARIANT* out) {
    switch (cell.kind) {
        case ValueKind::Null: out->vt = VT_NULL; return;
        case ValueKind::Integer:
            if (cell.integer >= std::numeric_limits<LONG>::min() && cell.integer <= std::numeric_limits<LONG>::max()) {
                out->vt = VT_I4;
                out->lVal = static_cast<LONG>(cell.integer);
            } else {
                out->vt = VT_I8;
                out->llVal = cell.integer;
            }
            return;
        case ValueKind::Boolean:
            out->vt = VT_BOOL;
            out->boolVal = cell.integer ? VARIANT_TRUE : VARIANT_FALSE;
            return;
        case ValueKind::Double: out->vt = VT_R8; out->dblVal = cell.real; return;
        case ValueKind::Date: out->vt = VT_DATE; out->date = cell.real; return;
        case ValueKind::Text:
            out->vt = VT_BSTR;
            out->bstrVal = dbplatform::AllocBstrFromUtf8(cell.bytes.data(), cell.bytes.size());
            if (!out->bstrVal && !cell.bytes.empty()) {
                out->vt = VT_EMPTY;
                throw _com_error(E_OUTOFMEMORY, "A text of " + std::to_string(cell.bytes.size()) +
                                                    " bytes could not be made a BSTR (too long or out of memory).");
            }
            return;
        case ValueKind::Bytes: BytesToVariant(cell.bytes, out); return;
    }
    out->vt = VT_NULL;
}

[[noreturn]] void RaiseConversion(HRESULT hr) {
    if (hr == DISP_E_TYPEMISMATCH) throw _com_error(hr, "Type mismatch.");
    if (hr == DISP_E_OVERFLOW) throw _com_error(hr, "Overflow.");
    throw _com_error(hr);
}

}  // namespace

// Integer, double, date and text cells of matching columns are built directly (the walk
// of a large result goes through here once per cell); other pairs go through
// VariantChangeType, falling back to the natural type when SQLite's dynamic typing put a
// value in a column that cannot hold it.
void CellToVariant(const CellView& cell, DataTypeEnum type, VARIANT* out) {
    CellToVariantAs(cell, VarTypeOfColumn(type), out);
}

void CellToVariantAs(const CellView& cell, VARTYPE wanted, VARIANT* out) {
    switch (cell.kind) {
        case ValueKind::Null: out->vt = VT_NULL; return;
        case ValueKind::Integer:
            if (wanted == VT_I4 || wanted == VT_EMPTY) return NaturalVariant(cell, out);
            if (wanted == VT_I8) {
                out->vt = VT_I8;
                out->llVal = cell.integer;
                return;
            }
            break;
        case ValueKind::Double:
            if (wanted == VT_R8 || wanted == VT_EMPTY) return NaturalVariant(cell, out);
            break;
        case ValueKind::Date:
            if (wanted == VT_DATE || wanted == VT_EMPTY) return NaturalVariant(cell, out);
            break;
        case ValueKind::Text:
            if (wanted == VT_BSTR || wanted == VT_EMPTY) return NaturalVariant(cell, out);
            break;
        case ValueKind::Bytes:
            if (wanted == (VT_ARRAY | VT_UI1) || wanted == VT_EMPTY) return NaturalVariant(cell, out);
            break;
        case ValueKind::Boolean:
            if (wanted == VT_BOOL || wanted == VT_EMPTY) return NaturalVariant(cell, out);
            break;
    }
    if (wanted == (VT_ARRAY | VT_UI1)) {
        if (cell.kind == ValueKind::Text) return BytesToVariant(cell.bytes, out);
        return NaturalVariant(cell, out);
    }
    VARIANT natural;
    VariantInit(&natural);
    NaturalVariant(cell, &natural);
    if (natural.vt == (VT_ARRAY | VT_UI1)) {
        *out = natural;
        return;
    }
    VariantInit(out);
    if (FAILED(VariantChangeType(out, &natural, 0, wanted))) {
        VariantClear(out);
        *out = natural;  // takes ownership
        return;
    }
    VariantClear(&natural);
}

namespace {

Value ValueOfConverted(const VARIANT& v) {
    Value value;
    switch (v.vt) {
        case VT_I1: value.kind = ValueKind::Integer; value.integer = v.cVal; break;
        case VT_UI1: value.kind = ValueKind::Integer; value.integer = v.bVal; break;
        case VT_I2: value.kind = ValueKind::Integer; value.integer = v.iVal; break;
        case VT_UI2: value.kind = ValueKind::Integer; value.integer = v.uiVal; break;
        case VT_I4: value.kind = ValueKind::Integer; value.integer = v.lVal; break;
        case VT_UI4: value.kind = ValueKind::Integer; value.integer = v.ulVal; break;
        case VT_I8: value.kind = ValueKind::Integer; value.integer = v.llVal; break;
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) RaiseConversion(DISP_E_OVERFLOW);
            value.kind = ValueKind::Integer;
            value.integer = static_cast<std::int64_t>(v.ullVal);
            break;
        case VT_R4: value.kind = ValueKind::Double; value.real = v.fltVal; break;
        case VT_R8: value.kind = ValueKind::Double; value.real = v.dblVal; break;
        case VT_DATE: value.kind = ValueKind::Date; value.real = v.date; break;
        case VT_BOOL: value.kind = ValueKind::Boolean; value.integer = v.boolVal ? 1 : 0; break;
        case VT_BSTR: value.kind = ValueKind::Text; value.bytes = Utf8OfBstr(v.bstrVal); break;
        default: RaiseConversion(DISP_E_TYPEMISMATCH);
    }
    return value;
}

}  // namespace

Value VariantToValue(const VARIANT& input, DataTypeEnum type) {
    const VARIANT* source = &Dereferenced(input);
    if (source->vt == VT_NULL || IsMissingArgument(*source)) return Value{};

    if (IsBinaryType(type)) {
        Value value;
        value.kind = ValueKind::Bytes;
        if (source->vt == (VT_ARRAY | VT_UI1)) value.bytes = BytesOfArray(*source);
        else if (source->vt == VT_BSTR) value.bytes = Utf8OfBstr(source->bstrVal);
        else RaiseConversion(DISP_E_TYPEMISMATCH);
        return value;
    }
    if (source->vt == (VT_ARRAY | VT_UI1)) {
        // Bytes written to a text column are taken as UTF-8 text.
        if (!IsTextType(type)) RaiseConversion(DISP_E_TYPEMISMATCH);
        Value value;
        value.kind = ValueKind::Text;
        value.bytes = BytesOfArray(*source);
        return value;
    }
    VARTYPE wanted = VarTypeOfColumn(type);
    if (wanted == VT_EMPTY)
        wanted = source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN ? static_cast<VARTYPE>(VT_BSTR) : source->vt;
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeType(&converted, source, 0, wanted);
    if (hr == DISP_E_OVERFLOW && wanted == VT_I4) {
        // Integer columns of the engines here hold 64 bits; a value that needs them
        // is kept whole rather than refused.
        hr = VariantChangeType(&converted, source, 0, VT_I8);
    }
    if (FAILED(hr)) {
        VariantClear(&converted);
        RaiseConversion(hr);
    }
    Value value;
    try {
        value = ValueOfConverted(converted);
    } catch (...) {
        VariantClear(&converted);
        throw;
    }
    VariantClear(&converted);
    return value;
}

}  // namespace dbplatform::ado
