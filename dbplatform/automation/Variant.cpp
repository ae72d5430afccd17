// VARIANT lifetime: initialise, clear, deep copy.
#include <dbplatform/automation/Variant.h>

#include <cstdint>
#include <cstring>

#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/com/Unknown.h>

void VariantInit(VARIANT* value) {
    if (value == nullptr) return;
    std::memset(static_cast<void*>(value), 0, sizeof(VARIANT));
    value->vt = VT_EMPTY;
}

namespace {

// True for the tags a VARIANT may carry by value here.
bool IsKnownType(VARTYPE type) {
    if (type & VT_BYREF) return true;  // borrowed pointers: nothing to free
    if (type & VT_ARRAY) return true;
    switch (type) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
        case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
        case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
        case VT_INT: case VT_UINT:
            return true;
        default:
            return false;
    }
}

// The by-value tags that hold no allocation or reference, as bits by tag number: what
// VariantClear may empty without looking further.
constexpr std::uint64_t kOwnsNothing = [] {
    std::uint64_t mask = 0;
    for (VARTYPE type : {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_ERROR, VT_BOOL,
                         VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT})
        mask |= std::uint64_t{1} << type;
    return mask;
}();

}  // namespace

// An array still being accessed is not freed (DISP_E_ARRAYISLOCKED) and the value is
// left as it was, so that the holder of the data pointer keeps valid memory.
HRESULT VariantClear(VARIANT* value) {
    if (value == nullptr) return E_INVALIDARG;
    // Numbers, dates, NULL and EMPTY own nothing: one test of the tag and the value is
    // emptied, as the general path below would.
    if (value->vt < 64 && (kOwnsNothing >> value->vt) & 1) {
        VariantInit(value);
        return S_OK;
    }
    if (!IsKnownType(value->vt)) return DISP_E_BADVARTYPE;
    if (value->vt & VT_ARRAY && !(value->vt & VT_BYREF)) {
        HRESULT hr = SafeArrayDestroy(value->parray);
        if (FAILED(hr)) return hr;
    } else if (value->vt == VT_BSTR) {
        SysFreeString(value->bstrVal);
    } else if (value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) {
        if (value->punkVal != nullptr) value->punkVal->Release();
    }
    VariantInit(value);
    return S_OK;
}

// Builds the copy first and clears the destination only once the copy succeeded, so a
// failed copy leaves the destination intact and a destination that holds the source's
// own data (or is the source) is safe.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
    if (destination == nullptr || source == nullptr) return E_INVALIDARG;
    if (destination == source) return S_OK;
    if (!IsKnownType(source->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy;
    std::memcpy(static_cast<void*>(&copy), source, sizeof(VARIANT));
    if (source->vt & VT_ARRAY && !(source->vt & VT_BYREF)) {
        HRESULT hr = SafeArrayCopy(source->parray, &copy.parray);
        if (FAILED(hr)) return hr;
    } else if (source->vt == VT_BSTR) {
        if (source->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source->bstrVal),
                                                 SysStringByteLen(source->bstrVal));
            if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        }
    } else if (source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) {
        if (source->punkVal != nullptr) source->punkVal->AddRef();
    }
    HRESULT hr = VariantClear(destination);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    std::memcpy(static_cast<void*>(destination), &copy, sizeof(VARIANT));
    return S_OK;
}
