// The COM runtime of the process: per-thread initialisation, a class registry keyed by
// ProgID and CLSID, creation with a class context, and injected creation failures for tests.
#pragma once

#include <functional>

#include <dbplatform/base/HResult.h>
#include <dbplatform/com/Guid.h>
#include <dbplatform/com/Unknown.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define COINIT_APARTMENTTHREADED 0x2u
#define COINIT_MULTITHREADED 0x0u

// S_OK the first time on a thread, S_FALSE when already initialised (the count grows).
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();
// CO_E_CLASSSTRING for an unknown ProgID.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// REGDB_E_CLASSNOTREG for an unknown class, CLASS_E_NOAGGREGATION when `outer` is set,
// or the failure set with dbplatform::SetCreateFailure. Creation works whether or not the
// thread called CoInitialize (the registry has no apartments).
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID interfaceId, void** object);
// Puts a created object into its running state; our objects are always running: S_OK.
HRESULT OleRun(IUnknown* object);

namespace dbplatform {
// Makes a new object of a registered class; returns it with one reference (as IUnknown).
using ClassFactory = std::function<HRESULT(IUnknown** object)>;
void RegisterComClass(const char* progId, const CLSID& clsid, ClassFactory factory);
// UTF-8 form of CLSIDFromProgID; also accepts the braced CLSID text.
HRESULT ClassIdFromProgId(const char* progId, CLSID* clsid);
// Every later creation of the class with this ProgID (and its CLSID) fails with `hr`
// until cleared with S_OK.
void SetCreateFailure(const char* progId, HRESULT hr);
// The library's own classes (ADO, DataLinks) register themselves from static
// registrar objects when the library loads; the registry itself is a function-local
// static so that registration order never matters.
// Per-thread initialisation count (for tests).
int ComInitializeCount();
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
