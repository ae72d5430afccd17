// SAFEARRAY: one-dimensional arrays of VT_UI1 (byte data) and VT_VARIANT (restriction lists).
#pragma once

#include <dbplatform/automation/Variant.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

namespace dbplatform {
// The most elements a vector with lower bound 0 holds: its upper bound must fit a LONG.
// SafeArrayCreate refuses larger bounds; callers with a 64-bit count compare it with this
// before narrowing it to ULONG.
constexpr unsigned long long kMaxVectorElements = 0x80000000ull;
}  // namespace dbplatform

#define FADF_FIXEDSIZE 0x0010
#define FADF_VARIANT 0x0800

SAFEARRAY* SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array);  // DISP_E_ARRAYISLOCKED while accessed
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type);
// Element access by index; VT_VARIANT elements are copied with VariantCopy.
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);

DBPLATFORM_PUBLIC_END
