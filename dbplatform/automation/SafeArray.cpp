// One-dimensional SAFEARRAYs. The element type is kept in a hidden header in front of
// the descriptor, so that SafeArrayGetVartype and the element copy rules need nothing
// from the caller.
#include <dbplatform/automation/SafeArray.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#define FADF_BSTR 0x0100
#define FADF_HAVEVARTYPE 0x0080

namespace {

struct ArrayBlock {
    VARTYPE type;
    SAFEARRAY array;
};

ArrayBlock* BlockOf(SAFEARRAY* array) {
    return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(array) - offsetof(ArrayBlock, array));
}

// Bytes per element for the element types offered, 0 for any other.
ULONG ElementSize(VARTYPE type) {
    switch (type) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
        case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: return 8;
        case VT_BSTR: return sizeof(BSTR);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

char* ElementAt(SAFEARRAY* array, ULONG index) {
    return static_cast<char*>(array->pvData) + static_cast<std::size_t>(index) * array->cbElements;
}

// Maps a caller's index to a position, or false when it lies outside the bounds.
bool Position(SAFEARRAY* array, const LONG* indices, ULONG* position) {
    if (indices == nullptr) return false;
    long long offset = static_cast<long long>(indices[0]) - array->rgsabound[0].lLbound;
    if (offset < 0 || offset >= static_cast<long long>(array->rgsabound[0].cElements)) return false;
    *position = static_cast<ULONG>(offset);
    return true;
}

// Releases what the elements own (texts, variants); the storage stays.
void ReleaseElements(SAFEARRAY* array, VARTYPE type) {
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
        if (type == VT_BSTR)
            SysFreeString(*reinterpret_cast<BSTR*>(ElementAt(array, i)));
        else if (type == VT_VARIANT)
            VariantClear(reinterpret_cast<VARIANT*>(ElementAt(array, i)));
    }
}

}  // namespace

// Only one dimension is offered; anything else, an unsupported element type, bounds
// whose upper bound would not fit a LONG (SafeArrayGetUBound could not report it) or a
// size that does not fit in memory gives nullptr.
SAFEARRAY* SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds) {
    if (dimensions != 1 || bounds == nullptr) return nullptr;
    ULONG size = ElementSize(type);
    if (size == 0) return nullptr;
    const long long upper = static_cast<long long>(bounds[0].lLbound) + bounds[0].cElements - 1;
    if (upper > std::numeric_limits<LONG>::max()) return nullptr;
    std::size_t bytes = static_cast<std::size_t>(bounds[0].cElements) * size;
    ArrayBlock* block = new (std::nothrow) ArrayBlock{};
    if (block == nullptr) return nullptr;
    void* data = std::calloc(bytes == 0 ? 1 : bytes, 1);  // zeroed: empty variants, null texts
    if (data == nullptr) {
        delete block;
        return nullptr;
    }
    block->type = type;
    SAFEARRAY* array = &block->array;
    array->cDims = 1;
    array->fFeatures = FADF_HAVEVARTYPE | (type == VT_BSTR ? FADF_BSTR : 0) | (type == VT_VARIANT ? FADF_VARIANT : 0);
    array->cbElements = size;
    array->cLocks = 0;
    array->pvData = data;
    array->rgsabound[0] = bounds[0];
    return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
    if (array != nullptr) array->fFeatures |= FADF_FIXEDSIZE;
    return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (array == nullptr) return S_OK;
    if (array->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    ArrayBlock* block = BlockOf(array);
    ReleaseElements(array, block->type);
    std::free(array->pvData);
    delete block;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (array == nullptr || data == nullptr) return E_INVALIDARG;
    ++array->cLocks;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
    if (array == nullptr) return E_INVALIDARG;
    if (array->cLocks == 0) return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
    if (array == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dimension != 1) return DISP_E_BADINDEX;
    *bound = array->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
    if (array == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dimension != 1) return DISP_E_BADINDEX;
    *bound = static_cast<LONG>(static_cast<long long>(array->rgsabound[0].lLbound) +
                               static_cast<long long>(array->rgsabound[0].cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) { return array != nullptr ? array->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* array) { return array != nullptr ? array->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
    if (array == nullptr || type == nullptr) return E_INVALIDARG;
    *type = BlockOf(array)->type;
    return S_OK;
}

// `value` receives a copy the caller owns: a new BSTR for text elements, a VariantCopy
// (into a value treated as uninitialised) for variant elements, the bytes otherwise.
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
    if (array == nullptr || value == nullptr) return E_INVALIDARG;
    ULONG position;
    if (!Position(array, indices, &position)) return DISP_E_BADINDEX;
    VARTYPE type = BlockOf(array)->type;
    char* element = ElementAt(array, position);
    if (type == VT_BSTR) {
        BSTR text = *reinterpret_cast<BSTR*>(element);
        BSTR copy = nullptr;
        if (text != nullptr) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
            if (copy == nullptr) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(value) = copy;
        return S_OK;
    }
    if (type == VT_VARIANT) {
        VARIANT* out = static_cast<VARIANT*>(value);
        VariantInit(out);
        return VariantCopy(out, reinterpret_cast<VARIANT*>(element));
    }
    std::memcpy(value, element, array->cbElements);
    return S_OK;
}

// Text elements take a copy of the BSTR passed (by value, as `value` itself); variant
// elements a VariantCopy of *value; others the bytes at `value`.
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
    if (array == nullptr) return E_INVALIDARG;
    ULONG position;
    if (!Position(array, indices, &position)) return DISP_E_BADINDEX;
    VARTYPE type = BlockOf(array)->type;
    char* element = ElementAt(array, position);
    if (type == VT_BSTR) {
        BSTR text = static_cast<BSTR>(value);
        BSTR copy = nullptr;
        if (text != nullptr) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
            if (copy == nullptr) return E_OUTOFMEMORY;
        }
        SysFreeString(*reinterpret_cast<BSTR*>(element));
        *reinterpret_cast<BSTR*>(element) = copy;
        return S_OK;
    }
    if (value == nullptr) return E_INVALIDARG;
    if (type == VT_VARIANT) return VariantCopy(reinterpret_cast<VARIANT*>(element), static_cast<VARIANT*>(value));
    std::memcpy(element, value, array->cbElements);
    return S_OK;
}

// A deep copy: texts and variants are duplicated. A null source copies to null.
HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy) {
    if (copy == nullptr) return E_INVALIDARG;
    *copy = nullptr;
    if (source == nullptr) return S_OK;
    VARTYPE type = BlockOf(source)->type;
    SAFEARRAY* result = SafeArrayCreate(type, 1, source->rgsabound);
    if (result == nullptr) return E_OUTOFMEMORY;
    result->fFeatures = source->fFeatures;
    for (ULONG i = 0; i < source->rgsabound[0].cElements; ++i) {
        char* from = ElementAt(source, i);
        char* to = ElementAt(result, i);
        HRESULT hr = S_OK;
        if (type == VT_BSTR) {
            BSTR text = *reinterpret_cast<BSTR*>(from);
            if (text != nullptr) {
                BSTR duplicate = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
                if (duplicate == nullptr) hr = E_OUTOFMEMORY;
                *reinterpret_cast<BSTR*>(to) = duplicate;
            }
        } else if (type == VT_VARIANT) {
            hr = VariantCopy(reinterpret_cast<VARIANT*>(to), reinterpret_cast<VARIANT*>(from));
        } else {
            std::memcpy(to, from, source->cbElements);
        }
        if (FAILED(hr)) {
            SafeArrayDestroy(result);
            return hr;
        }
    }
    *copy = result;
    return S_OK;
}
