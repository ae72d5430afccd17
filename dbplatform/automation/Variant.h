// VARIANT, the tagged value of OLE Automation: 16 bytes (a type tag, three reserved
// words and an 8-byte value), and the conversions between its types.
#pragma once

#include <dbplatform/automation/Bstr.h>
#include <dbplatform/base/HResult.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        void* byref;
    };
};
static_assert(sizeof(VARIANT) == 16, "VARIANT is 16 bytes: tag, three reserved words, 8-byte value");
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

#define V_VT(v) ((v)->vt)

// VariantChangeType flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

void VariantInit(VARIANT* value);
// Frees what the value owns (BSTR, array, object reference) and leaves VT_EMPTY.
HRESULT VariantClear(VARIANT* value);
// Deep copy: BSTRs and arrays are duplicated, object references AddRef'd.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);
// Converts `source` to `type` into `destination` (which may be `source`). Rules:
// floats round half to even into integers; out of range is DISP_E_OVERFLOW; VT_NULL to a
// number or date is DISP_E_TYPEMISMATCH; VT_EMPTY is 0 or the empty text; text follows
// LC_NUMERIC and the date forms of the canonical date-time text.
HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, USHORT flags, VARTYPE type);

DBPLATFORM_PUBLIC_END
