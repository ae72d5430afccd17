// The HRESULT codes the libraries raise or test, with the values Windows gives them.
#pragma once

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

#define S_OK ((HRESULT)0x00000000)
#define S_FALSE ((HRESULT)0x00000001)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_ABORT ((HRESULT)0x80004004)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)

#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000D)

#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)

// ADO's own errors: FACILITY_CONTROL | error number. No system message exists for them.
#define ADO_ERROR(number) ((HRESULT)(0x800A0000u | (number)))
#define adErrInvalidArgumentHr ADO_ERROR(3001)       // 0x800A0BB9
#define adErrNoCurrentRecordHr ADO_ERROR(3021)       // 0x800A0BCD
#define adErrIllegalOperationHr ADO_ERROR(3219)      // 0x800A0C93
#define adErrInTransactionHr ADO_ERROR(3246)         // 0x800A0CAE
#define adErrFeatureNotAvailableHr ADO_ERROR(3251)   // 0x800A0CB3
#define adErrItemNotFoundHr ADO_ERROR(3265)          // 0x800A0CC1
#define adErrDataConversionHr ADO_ERROR(3421)        // 0x800A0D5D
#define adErrObjectClosedHr ADO_ERROR(3704)          // 0x800A0E78
#define adErrObjectOpenHr ADO_ERROR(3705)            // 0x800A0E79
#define adErrProviderNotFoundHr ADO_ERROR(3706)      // 0x800A0E7A
#define adErrInvalidConnectionHr ADO_ERROR(3709)     // 0x800A0E7D

// OLE DB codes surfaced through ADO. No system message exists for them either.
#define DB_E_CANTCONVERTVALUE ((HRESULT)0x80040E07)
#define DB_E_ERRORSINCOMMAND ((HRESULT)0x80040E14)
#define DB_E_ERRORSOCCURRED ((HRESULT)0x80040E21)
#define DB_E_DELETEDROW ((HRESULT)0x80040E23)
#define DB_E_CANTFETCHBACKWARDS ((HRESULT)0x80040E24)
#define DB_E_INTEGRITYVIOLATION ((HRESULT)0x80040E2F)
#define DB_E_NOTABLE ((HRESULT)0x80040E37)
#define DB_E_CONCURRENCYVIOLATION ((HRESULT)0x80040E38)

DBPLATFORM_PUBLIC_END
