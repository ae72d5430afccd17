// quillet-sql: field values as text.
#include "quillet-sql-values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include <dbplatform/automation/BstrT.h>
#include <dbplatform/automation/DateTime.h>
#include <dbplatform/automation/SafeArray.h>

namespace quilletsql {

namespace {

template <typename Number>
Cell Exact(Number number) {
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, number);
    if (error != std::errc()) return Cell{std::string("?"), false};
    return Cell{std::string(text, end), true};
}

// Floating values: JSON has no NaN or infinity, so those are written as words in quotes.
template <typename Real>
Cell Floating(Real number) {
    if (std::isnan(number)) return Cell{std::string("NaN"), false};
    if (std::isinf(number)) return Cell{std::string(number > 0 ? "Infinity" : "-Infinity"), false};
    return Exact(number);
}

Cell Bytes(const SAFEARRAY* array, std::size_t maxBytes) {
    LONG lower = 0, upper = -1;
    if (array == nullptr || FAILED(SafeArrayGetLBound(const_cast<SAFEARRAY*>(array), 1, &lower)) ||
        FAILED(SafeArrayGetUBound(const_cast<SAFEARRAY*>(array), 1, &upper)))
        return Cell{std::string("(unreadable bytes)"), false};
    const std::size_t size = upper >= lower ? static_cast<std::size_t>(upper - lower) + 1 : 0;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(const_cast<SAFEARRAY*>(array), &data)))
        return Cell{std::string("(unreadable bytes)"), false};
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string text = "0x";
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < size && i < maxBytes; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    SafeArrayUnaccessData(const_cast<SAFEARRAY*>(array));
    if (size > maxBytes) text += "... (" + std::to_string(size) + " bytes)";
    return Cell{text, false};
}

// What VariantChangeType makes of a value this file does not know how to show (currency, decimal).
Cell ByConversion(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    Cell cell;
    if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR)) && text.vt == VT_BSTR) {
        cell.text = _bstr_t(text.bstrVal).str();
        cell.bare = value.vt == VT_DECIMAL || value.vt == VT_CY;
        // A decimal comma of the process locale would not be a JSON number.
        if (cell.bare && cell.text->find(',') != std::string::npos) cell.bare = false;
    } else {
        cell.text = "(a value of type " + std::to_string(value.vt) + ")";
    }
    VariantClear(&text);
    return cell;
}

}  // namespace

Cell CellFromVariant(const VARIANT& value, std::size_t maxBytes) {
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: return Cell{};
    case VT_BOOL: return Cell{std::string(value.boolVal ? "true" : "false"), true};
    case VT_I1: return Exact(static_cast<int>(value.cVal));
    case VT_UI1: return Exact(static_cast<unsigned>(value.bVal));
    case VT_I2: return Exact(value.iVal);
    case VT_UI2: return Exact(value.uiVal);
    case VT_I4: return Exact(value.lVal);
    case VT_UI4: return Exact(value.ulVal);
    case VT_INT: return Exact(value.intVal);
    case VT_UINT: return Exact(value.uintVal);
    case VT_I8: return Exact(value.llVal);
    case VT_UI8: return Exact(value.ullVal);
    case VT_R4: return Floating(value.fltVal);
    case VT_R8: return Floating(value.dblVal);
    case VT_DATE:
        if (!dbplatform::IsValidDate(value.date)) return Cell{"(date " + Exact(value.date).text.value() + ")", false};
        return Cell{dbplatform::TextFromDate(value.date), false};
    case VT_BSTR: return Cell{_bstr_t(value.bstrVal).str(), false};
    case VT_ARRAY | VT_UI1: return Bytes(value.parray, maxBytes);
    default: return ByConversion(value);
    }
}

}  // namespace quilletsql
