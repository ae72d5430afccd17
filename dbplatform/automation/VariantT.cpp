// _variant_t: an owning VARIANT with C++ constructors and throwing extractors.
#include <dbplatform/automation/VariantT.h>

#include <cstring>
#include <new>

#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/com/Unknown.h>

namespace {

void Check(HRESULT hr) {
    if (FAILED(hr)) throw _com_error(hr);
}

// Converts `source` to `type` into a scratch value the caller owns.
_variant_t Converted(const VARIANT& source, VARTYPE type) {
    _variant_t result;
    Check(VariantChangeType(&result, &source, 0, type));
    return result;
}

void SetText(VARIANT* value, BSTR text, bool expected) {
    if (expected && text == nullptr) throw std::bad_alloc();
    value->vt = VT_BSTR;
    value->bstrVal = text;
}

}  // namespace

_variant_t::_variant_t() noexcept { VariantInit(this); }

_variant_t::_variant_t(const VARIANT& source) {
    VariantInit(this);
    Check(VariantCopy(this, &source));
}

_variant_t::_variant_t(const VARIANT* source) {
    VariantInit(this);
    if (source == nullptr) throw _com_error(E_POINTER);
    Check(VariantCopy(this, source));
}

_variant_t::_variant_t(const _variant_t& source) : _variant_t(static_cast<const VARIANT&>(source)) {}

_variant_t::_variant_t(_variant_t&& source) noexcept {
    std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), static_cast<const VARIANT*>(&source), sizeof(VARIANT));
    VariantInit(&source);
}

_variant_t::_variant_t(VARIANT& source, bool copy) {
    VariantInit(this);
    if (copy) {
        Check(VariantCopy(this, &source));
    } else {
        std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), &source, sizeof(VARIANT));
        VariantInit(&source);
    }
}

_variant_t::_variant_t(short value, VARTYPE type) {
    VariantInit(this);
    if (type == VT_BOOL) {
        vt = VT_BOOL;
        boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (type == VT_I2) {
        vt = VT_I2;
        iVal = value;
    } else {
        throw _com_error(E_INVALIDARG);
    }
}

_variant_t::_variant_t(int value, VARTYPE type) {
    VariantInit(this);
    if (type == VT_INT) {
        vt = VT_INT;
        intVal = value;
    } else if (type == VT_I4) {
        vt = VT_I4;
        lVal = value;
    } else {
        throw _com_error(E_INVALIDARG);
    }
}

// A long is 64 bits here; a value that does not fit VT_I4 is kept whole as VT_I8
// rather than cut down.
_variant_t::_variant_t(long value, VARTYPE type) {
    VariantInit(this);
    if (type == VT_ERROR) {
        vt = VT_ERROR;
        scode = static_cast<SCODE>(value);
    } else if (type == VT_I4) {
        if (value >= INT32_MIN && value <= INT32_MAX) {
            vt = VT_I4;
            lVal = static_cast<LONG>(value);
        } else {
            vt = VT_I8;
            llVal = value;
        }
    } else {
        throw _com_error(E_INVALIDARG);
    }
}

_variant_t::_variant_t(long long value) {
    VariantInit(this);
    vt = VT_I8;
    llVal = value;
}

_variant_t::_variant_t(unsigned char value) {
    VariantInit(this);
    vt = VT_UI1;
    bVal = value;
}

_variant_t::_variant_t(float value) {
    VariantInit(this);
    vt = VT_R4;
    fltVal = value;
}

_variant_t::_variant_t(double value, VARTYPE type) {
    VariantInit(this);
    if (type != VT_R8 && type != VT_DATE) throw _com_error(E_INVALIDARG);
    vt = type;
    dblVal = value;
}

_variant_t::_variant_t(bool value) {
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

// A null text gives VT_BSTR with a null BSTR, which every reader treats as "".
_variant_t::_variant_t(const char* text) {
    VariantInit(this);
    SetText(this, text != nullptr ? dbplatform::AllocBstrFromUtf8(text, std::strlen(text)) : nullptr, text != nullptr);
}

_variant_t::_variant_t(const OLECHAR* text) {
    VariantInit(this);
    SetText(this, SysAllocString(text), text != nullptr);
}

_variant_t::_variant_t(const wchar_t* text) {
    VariantInit(this);
    _bstr_t converted(text);
    SetText(this, converted.copy(), text != nullptr);
}

_variant_t::_variant_t(const _bstr_t& text) {
    VariantInit(this);
    SetText(this, text.copy(), static_cast<const OLECHAR*>(text) != nullptr);
}

_variant_t::_variant_t(IDispatch* object, bool addRef) {
    VariantInit(this);
    vt = VT_DISPATCH;
    pdispVal = object;
    if (addRef && object != nullptr) object->AddRef();
}

_variant_t::_variant_t(IUnknown* object, bool addRef) {
    VariantInit(this);
    vt = VT_UNKNOWN;
    punkVal = object;
    if (addRef && object != nullptr) object->AddRef();
}

_variant_t::~_variant_t() { VariantClear(this); }

_variant_t& _variant_t::operator=(const _variant_t& source) {
    Check(VariantCopy(this, &source));
    return *this;
}

_variant_t& _variant_t::operator=(_variant_t&& source) noexcept {
    if (this != &source) {
        VariantClear(this);
        std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), static_cast<const VARIANT*>(&source), sizeof(VARIANT));
        VariantInit(&source);
    }
    return *this;
}

_variant_t& _variant_t::operator=(const VARIANT& source) {
    Check(VariantCopy(this, &source));
    return *this;
}

namespace {

// Texts are equal when their bytes are, embedded NULs included; a null BSTR is "".
bool SameText(BSTR left, BSTR right) {
    UINT bytes = SysStringByteLen(left);
    return bytes == SysStringByteLen(right) && (bytes == 0 || std::memcmp(left, right, bytes) == 0);
}

bool SameArray(SAFEARRAY* left, SAFEARRAY* right) {
    if (left == right) return true;
    if (left == nullptr || right == nullptr) return false;
    VARTYPE leftType, rightType;
    SafeArrayGetVartype(left, &leftType);
    SafeArrayGetVartype(right, &rightType);
    if (leftType != rightType || left->rgsabound[0].cElements != right->rgsabound[0].cElements ||
        left->rgsabound[0].lLbound != right->rgsabound[0].lLbound)
        return false;
    for (ULONG i = 0; i < left->rgsabound[0].cElements; ++i) {
        const char* a = static_cast<const char*>(left->pvData) + static_cast<std::size_t>(i) * left->cbElements;
        const char* b = static_cast<const char*>(right->pvData) + static_cast<std::size_t>(i) * right->cbElements;
        if (leftType == VT_VARIANT) {
            if (!(_variant_t(*reinterpret_cast<const VARIANT*>(a)) == *reinterpret_cast<const VARIANT*>(b)))
                return false;
        } else if (leftType == VT_BSTR) {
            if (!SameText(*reinterpret_cast<const BSTR*>(a), *reinterpret_cast<const BSTR*>(b))) return false;
        } else if (std::memcmp(a, b, left->cbElements) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Equal when the types are equal and so are the values: texts by content, arrays
// element by element, objects by identity.
bool _variant_t::operator==(const VARIANT& other) const {
    if (vt != other.vt) return false;
    if (vt & VT_ARRAY) return SameArray(parray, other.parray);
    switch (vt) {
        case VT_EMPTY: case VT_NULL: return true;
        case VT_I1: case VT_UI1: return bVal == other.bVal;
        case VT_I2: case VT_UI2: return iVal == other.iVal;
        case VT_BOOL: return (boolVal != 0) == (other.boolVal != 0);
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: return lVal == other.lVal;
        case VT_R4: return fltVal == other.fltVal;
        case VT_R8: case VT_DATE: return dblVal == other.dblVal;
        case VT_BSTR: return SameText(bstrVal, other.bstrVal);
        default: return llVal == other.llVal;  // VT_I8, VT_UI8, object references
    }
}

_variant_t::operator short() const {
    if (vt == VT_I2) return iVal;
    return Converted(*this, VT_I2).iVal;
}

_variant_t::operator int() const {
    if (vt == VT_I4) return lVal;
    return Converted(*this, VT_I4).lVal;
}

_variant_t::operator long() const {
    if (vt == VT_I8) return llVal;
    if (vt == VT_I4) return lVal;
    return Converted(*this, VT_I4).lVal;
}

_variant_t::operator long long() const {
    if (vt == VT_I8) return llVal;
    return Converted(*this, VT_I8).llVal;
}

_variant_t::operator unsigned char() const {
    if (vt == VT_UI1) return bVal;
    return Converted(*this, VT_UI1).bVal;
}

_variant_t::operator float() const {
    if (vt == VT_R4) return fltVal;
    return Converted(*this, VT_R4).fltVal;
}

// Integers and dates become doubles exactly, so the common cases skip the general
// conversion (a walk reads millions of them).
_variant_t::operator double() const {
    if (vt == VT_R8 || vt == VT_DATE) return dblVal;
    if (vt == VT_I4) return static_cast<double>(lVal);
    return Converted(*this, VT_R8).dblVal;
}

_variant_t::operator bool() const {
    if (vt == VT_BOOL) return boolVal != 0;
    return Converted(*this, VT_BOOL).boolVal != 0;
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR) return _bstr_t(bstrVal, true);
    _variant_t text = Converted(*this, VT_BSTR);
    BSTR owned = text.bstrVal;
    text.vt = VT_EMPTY;
    return _bstr_t(owned, false);
}

_variant_t::operator IDispatch*() const {
    if (vt == VT_DISPATCH) {
        if (pdispVal != nullptr) pdispVal->AddRef();
        return pdispVal;
    }
    _variant_t object = Converted(*this, VT_DISPATCH);
    IDispatch* result = object.pdispVal;
    object.vt = VT_EMPTY;  // the conversion's reference passes to the caller
    return result;
}

_variant_t::operator IUnknown*() const {
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (punkVal != nullptr) punkVal->AddRef();
        return punkVal;
    }
    _variant_t object = Converted(*this, VT_UNKNOWN);
    IUnknown* result = object.punkVal;
    object.vt = VT_EMPTY;
    return result;
}

void _variant_t::Clear() { Check(VariantClear(this)); }

void _variant_t::Attach(VARIANT& source) {
    Clear();
    std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), &source, sizeof(VARIANT));
    VariantInit(&source);
}

VARIANT _variant_t::Detach() {
    VARIANT result;
    std::memcpy(static_cast<void*>(&result), static_cast<const VARIANT*>(this), sizeof(VARIANT));
    VariantInit(this);
    return result;
}

VARIANT* _variant_t::GetAddress() {
    Clear();
    return this;
}

void _variant_t::ChangeType(VARTYPE type, const _variant_t* source) {
    if (source == nullptr) source = this;
    Check(VariantChangeType(this, source, 0, type));
}

void _variant_t::SetString(const char* text) {
    _variant_t value(text);
    *this = std::move(value);
}

const _variant_t vtMissing(static_cast<long>(DISP_E_PARAMNOTFOUND), VT_ERROR);
