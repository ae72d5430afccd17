// VariantChangeType: conversions among the scalar VARIANT types, text and dates.
//
// Every conversion goes through one of three intermediate forms: an exact integer
// (128 bits, wide enough for every integer type), a double, or text. The result is
// built in a scratch VARIANT and only replaces the destination on success, so that a
// failed conversion leaves the destination as it was and the destination may be the
// source.
#include <dbplatform/automation/Variant.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/base/AsciiText.h>
#include <dbplatform/base/CodePage.h>
#include <dbplatform/com/Unknown.h>

#include "NumberText.h"

namespace {

using dbplatform::detail::ParsedNumber;

bool IsIntegerType(VARTYPE type) {
    switch (type) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8:
        case VT_UI8: case VT_INT: case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool IsSupported(VARTYPE type) {
    if (type & VT_BYREF) return false;
    if (type & VT_ARRAY) return true;
    switch (type) {
        case VT_EMPTY: case VT_NULL: case VT_R4: case VT_R8: case VT_DATE: case VT_BSTR: case VT_BOOL:
        case VT_ERROR: case VT_DISPATCH: case VT_UNKNOWN:
            return true;
        default:
            return IsIntegerType(type);
    }
}

void IntegerRange(VARTYPE type, __int128* low, __int128* high) {
    switch (type) {
        case VT_I1: *low = -128, *high = 127; return;
        case VT_UI1: *low = 0, *high = 255; return;
        case VT_I2: *low = -32768, *high = 32767; return;
        case VT_UI2: *low = 0, *high = 65535; return;
        case VT_I4: case VT_INT: *low = INT32_MIN, *high = INT32_MAX; return;
        case VT_UI4: case VT_UINT: *low = 0, *high = UINT32_MAX; return;
        case VT_I8: *low = INT64_MIN, *high = INT64_MAX; return;
        default: *low = 0, *high = UINT64_MAX; return;  // VT_UI8
    }
}

// Writes an integer into the field of `type`, or DISP_E_OVERFLOW when it does not fit.
HRESULT StoreInteger(__int128 value, VARTYPE type, VARIANT* out) {
    __int128 low, high;
    IntegerRange(type, &low, &high);
    if (value < low || value > high) return DISP_E_OVERFLOW;
    out->vt = type;
    switch (type) {
        case VT_I1: out->cVal = static_cast<CHAR>(value); break;
        case VT_UI1: out->bVal = static_cast<BYTE>(value); break;
        case VT_I2: out->iVal = static_cast<SHORT>(value); break;
        case VT_UI2: out->uiVal = static_cast<USHORT>(value); break;
        case VT_I4: out->lVal = static_cast<LONG>(value); break;
        case VT_INT: out->intVal = static_cast<INT>(value); break;
        case VT_UI4: out->ulVal = static_cast<ULONG>(value); break;
        case VT_UINT: out->uintVal = static_cast<UINT>(value); break;
        case VT_I8: out->llVal = static_cast<LONGLONG>(value); break;
        default: out->ullVal = static_cast<ULONGLONG>(value); break;
    }
    return S_OK;
}

// Rounds to the nearest integer, a tie to the even neighbour (12.5 -> 12, 13.5 -> 14),
// independent of the floating-point rounding mode. Values far beyond 64 bits and
// non-finite values are out of range for every integer type.
HRESULT RoundHalfEven(double value, __int128* result) {
    if (!std::isfinite(value) || std::fabs(value) > 1e30) return DISP_E_OVERFLOW;
    double floor = std::floor(value);
    double difference = value - floor;
    if (difference > 0.5 || (difference == 0.5 && std::fmod(floor, 2.0) != 0)) floor += 1;
    *result = static_cast<__int128>(floor);
    return S_OK;
}

// The value of a source whose type is numeric, boolean or a date, as an integer when it
// is one exactly, else as a double: the same form a parsed text takes.
using Number = ParsedNumber;

bool ReadNumber(const VARIANT& source, Number* number) {
    number->isInteger = true;
    number->real = 0;
    switch (source.vt) {
        case VT_EMPTY: number->integer = 0; return true;
        case VT_I1: number->integer = static_cast<signed char>(source.cVal); return true;
        case VT_UI1: number->integer = source.bVal; return true;
        case VT_I2: number->integer = source.iVal; return true;
        case VT_UI2: number->integer = source.uiVal; return true;
        case VT_I4: number->integer = source.lVal; return true;
        case VT_INT: number->integer = source.intVal; return true;
        case VT_UI4: number->integer = source.ulVal; return true;
        case VT_UINT: number->integer = source.uintVal; return true;
        case VT_I8: number->integer = source.llVal; return true;
        case VT_UI8: number->integer = source.ullVal; return true;
        // The raw 16-bit value, as the platform keeps it: a non-canonical 1 stays 1.
        case VT_BOOL: number->integer = static_cast<SHORT>(source.boolVal); return true;
        case VT_R4: number->isInteger = false, number->real = source.fltVal; return true;
        case VT_R8: number->isInteger = false, number->real = source.dblVal; return true;
        case VT_DATE: number->isInteger = false, number->real = source.date; return true;
        default: return false;
    }
}


std::string SourceText(const VARIANT& source) {
    return dbplatform::Utf8FromWide(std::u16string_view(source.bstrVal, SysStringLen(source.bstrVal)));
}

HRESULT StoreText(const std::string& text, VARIANT* out) {
    out->vt = VT_BSTR;
    out->bstrVal = dbplatform::AllocBstrFromUtf8(text.data(), text.size());
    return out->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT StoreDate(double value, VARIANT* out) {
    if (!dbplatform::IsValidDate(value)) return DISP_E_OVERFLOW;
    out->vt = VT_DATE;
    out->date = value;
    return S_OK;
}

HRESULT StoreDouble(double value, VARTYPE type, VARIANT* out) {
    if (type == VT_DATE) return StoreDate(value, out);
    if (type == VT_R4) {
        // Rounded to the nearest float first: a double just above FLT_MAX that rounds to it
        // is FLT_MAX; only what rounds past it, and an infinity, overflows.
        const float rounded = static_cast<float>(value);
        if (!std::isfinite(rounded)) return DISP_E_OVERFLOW;
        out->vt = VT_R4;
        out->fltVal = rounded;
        return S_OK;
    }
    out->vt = VT_R8;
    out->dblVal = value;
    return S_OK;
}

HRESULT StoreBool(bool value, VARIANT* out) {
    out->vt = VT_BOOL;
    out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// A number -> boolean (non-zero is true), integer (a fraction rounds half to even) or
// VT_R4/VT_R8/VT_DATE.
HRESULT StoreNumber(const Number& number, VARTYPE type, VARIANT* out) {
    if (type == VT_BOOL) return StoreBool(number.isInteger ? number.integer != 0 : number.real != 0, out);
    if (IsIntegerType(type)) {
        __int128 value = number.integer;
        if (!number.isInteger) {
            HRESULT hr = RoundHalfEven(number.real, &value);
            if (FAILED(hr)) return hr;
        }
        return StoreInteger(value, type, out);
    }
    return StoreDouble(number.isInteger ? static_cast<double>(number.integer) : number.real, type, out);
}

bool IsUnsignedType(VARTYPE type) {
    return type == VT_UI1 || type == VT_UI2 || type == VT_UI4 || type == VT_UINT || type == VT_UI8;
}

// The bit pattern of a "&H"/"&O" text as the number it stands for in `type`. The pattern is
// a 32-bit signed number, as the platform reads it ("&HFFFFFFFF" is -1), except that a
// pattern that fills no more than a narrower signed type is read in that type's width
// ("&HFFFF" is -1 as a VT_I2, 65535 as a VT_I4) and unsigned types read it unsigned.
HRESULT StorePattern(std::uint32_t pattern, VARTYPE type, VARIANT* out) {
    Number number;
    number.isInteger = true;
    number.integer = static_cast<std::int32_t>(pattern);
    if (IsUnsignedType(type)) {
        number.integer = pattern;
    } else if (type == VT_I1 && pattern <= 0xFF) {
        number.integer = static_cast<std::int8_t>(pattern);
    } else if (type == VT_I2 && pattern <= 0xFFFF) {
        number.integer = static_cast<std::int16_t>(pattern);
    }
    return StoreNumber(number, type, out);
}

// "True"/"False" and the "#TRUE#"/"#FALSE#" forms, in any case, blanks around; 1 true,
// 0 false, -1 for any other text.
int BooleanWord(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t\r\n");
    std::size_t last = text.find_last_not_of(" \t\r\n");
    std::string word = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (dbplatform::EqualNoCase(word, "true") || dbplatform::EqualNoCase(word, "#true#")) return 1;
    if (dbplatform::EqualNoCase(word, "false") || dbplatform::EqualNoCase(word, "#false#")) return 0;
    return -1;
}

// Text -> any scalar type except text itself.
HRESULT FromText(const VARIANT& source, VARTYPE type, VARIANT* out) {
    std::string text = SourceText(source);
    if (type != VT_DATE && type != VT_ERROR) {
        std::uint32_t pattern = 0;
        HRESULT radix = dbplatform::detail::PatternFromRadixText(text, &pattern);
        if (FAILED(radix)) return radix;
        if (radix == S_OK) return StorePattern(pattern, type, out);
    }
    if (type == VT_DATE) {
        DATE date;
        HRESULT hr = dbplatform::DateFromText(text, &date);
        if (FAILED(hr)) return hr;
        return StoreDate(date, out);
    }
    if (type == VT_R4) {
        float value;
        HRESULT hr = dbplatform::detail::FloatFromText(text, &value);
        if (FAILED(hr)) return hr;
        out->vt = VT_R4;
        out->fltVal = value;
        return S_OK;
    }
    if (type == VT_BOOL) {
        const int word = BooleanWord(text);
        if (word >= 0) return StoreBool(word == 1, out);
    }
    if (type == VT_ERROR) return DISP_E_TYPEMISMATCH;
    ParsedNumber number;
    HRESULT hr = dbplatform::detail::NumberFromText(text, &number);
    if (FAILED(hr)) return hr;
    return StoreNumber(number, type, out);
}

// Number, boolean or date -> text.
HRESULT ToText(const VARIANT& source, USHORT flags, VARIANT* out) {
    switch (source.vt) {
        case VT_EMPTY: return StoreText(std::string(), out);
        case VT_BOOL:
            if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
                return StoreText(source.boolVal != 0 ? "True" : "False", out);
            return StoreText(std::to_string(static_cast<SHORT>(source.boolVal)), out);
        case VT_R4: return StoreText(dbplatform::detail::TextFromFloat(source.fltVal), out);
        case VT_R8: return StoreText(dbplatform::detail::TextFromDouble(source.dblVal), out);
        case VT_DATE:
            if (!dbplatform::IsValidDate(source.date)) return DISP_E_OVERFLOW;
            return StoreText(dbplatform::TextFromDate(source.date), out);
        default: break;
    }
    Number number;
    if (!ReadNumber(source, &number)) return DISP_E_TYPEMISMATCH;  // VT_ERROR, objects
    char buffer[48];
    if (source.vt == VT_UI8)
        std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(source.ullVal));
    else
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(number.integer));
    return StoreText(buffer, out);
}

// Object references convert only between IUnknown and IDispatch (by QueryInterface);
// an empty value becomes a null reference.
HRESULT ToObject(const VARIANT& source, VARTYPE type, VARIANT* out) {
    out->vt = type;
    out->punkVal = nullptr;
    if (source.vt == VT_EMPTY) return S_OK;
    if (source.vt != VT_UNKNOWN && source.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    if (source.punkVal == nullptr) return S_OK;
    void* object = nullptr;
    HRESULT hr = source.punkVal->QueryInterface(type == VT_DISPATCH ? IDispatch::iid : IUnknown::iid, &object);
    if (FAILED(hr)) return type == VT_DISPATCH ? DISP_E_TYPEMISMATCH : hr;
    out->punkVal = static_cast<IUnknown*>(object);
    return S_OK;
}

// The width in bits of an unsigned integer type.
unsigned UnsignedBits(VARTYPE type) {
    switch (type) {
        case VT_UI1: return 8;
        case VT_UI2: return 16;
        case VT_UI8: return 64;
        default: return 32;  // VT_UI4, VT_UINT
    }
}

bool IsNaN(const VARIANT& value) {
    return (value.vt == VT_R8 && std::isnan(value.dblVal)) || (value.vt == VT_R4 && std::isnan(value.fltVal));
}

HRESULT Convert(const VARIANT& source, USHORT flags, VARTYPE type, VARIANT* out) {
    if (type == VT_EMPTY) {
        // A database NULL is a value: it does not become "no value".
        return source.vt == VT_NULL ? DISP_E_TYPEMISMATCH : S_OK;  // `out` is already empty
    }
    if (type == VT_NULL) {
        if (source.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;  // VT_NULL itself was copied
        out->vt = VT_NULL;
        return S_OK;
    }
    if (source.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    if ((source.vt | type) & VT_ARRAY) return DISP_E_TYPEMISMATCH;  // equal types were copied
    if (type == VT_UNKNOWN || type == VT_DISPATCH) return ToObject(source, type, out);
    if (source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    if (type == VT_BSTR) return ToText(source, flags, out);
    if (source.vt == VT_BSTR) return FromText(source, type, out);

    // Numbers, booleans, dates and error codes among themselves. An error code is an
    // SCODE and converts only to and from the integer types.
    if (source.vt == VT_ERROR) {
        if (!IsIntegerType(type)) return DISP_E_TYPEMISMATCH;
        return StoreInteger(source.scode, type, out);
    }
    // NaN is no number of any other type (not even VT_BOOL, where it would be "true").
    if (IsNaN(source)) return DISP_E_OVERFLOW;
    Number number;
    if (!ReadNumber(source, &number)) return DISP_E_BADVARTYPE;
    // A boolean is a 16-bit pattern: an unsigned type takes it wrapped to its width
    // (VARIANT_TRUE is 255 as VT_UI1, 65535 as VT_UI2).
    if (source.vt == VT_BOOL && IsUnsignedType(type)) {
        const unsigned bits = UnsignedBits(type);
        const unsigned __int128 mask = bits == 64 ? UINT64_MAX : ((static_cast<unsigned __int128>(1) << bits) - 1);
        number.integer = static_cast<__int128>(static_cast<unsigned __int128>(number.integer) & mask);
    }
    if (type == VT_ERROR) {
        if (!number.isInteger || source.vt == VT_BOOL || source.vt == VT_EMPTY) return DISP_E_TYPEMISMATCH;
        HRESULT hr = StoreInteger(number.integer, VT_I4, out);
        if (SUCCEEDED(hr)) out->vt = VT_ERROR;
        return hr;
    }
    return StoreNumber(number, type, out);
}

}  // namespace

HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, USHORT flags, VARTYPE type) {
    if (destination == nullptr || source == nullptr) return E_INVALIDARG;
    if (!IsSupported(type) || !IsSupported(source->vt)) return DISP_E_BADVARTYPE;
    if (source->vt == type) {
        if (destination == source) return S_OK;
        return VariantCopy(destination, source);
    }
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = Convert(*source, flags, type, &result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(destination);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(static_cast<void*>(destination), &result, sizeof(VARIANT));
    return S_OK;
}
