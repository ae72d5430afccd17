// Everything the platform offers to hosts and to the two libraries.
//
// Threads. The platform serves hosts that give each thread its own objects:
// - An object is used by one thread at a time: a COM object (an ADO connection or
//   recordset, the data links), a _bstr_t, _variant_t, CString or CStringList. A
//   connection and everything opened on it (its recordsets, their fields, its
//   properties) count as one object: a connection used on one thread while a recordset
//   of it is used on another does not work. Nothing takes a lock around an object.
// - An object may move to another thread once the first is done with it, and a
//   reference may be dropped on any thread: COM reference counts, and the buffer that
//   copies of a _bstr_t share, are counted atomically, so one thread may release its
//   reference while another goes on using its own.
// - Process-wide state is guarded and may be used from any thread at once: the class
//   registry (RegisterComClass, CoCreateInstance, SetCreateFailure), the provider
//   registry, the diagnostics handler (which may itself run on several threads at once),
//   the message-box handler, and the command-timeout watchdog.
// - Per thread: the CoInitialize count, and the scopes that describe a failure.
// - The one thread the platform starts is the command-timeout watchdog, on the first
//   command that has a timeout; it only ever cancels a command that outlived it.
#pragma once

#include <dbplatform/ado/Ado.h>
#include <dbplatform/automation/Bstr.h>
#include <dbplatform/automation/BstrT.h>
#include <dbplatform/automation/DateTime.h>
#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/Variant.h>
#include <dbplatform/automation/VariantT.h>
#include <dbplatform/base/CodePage.h>
#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/base/HResult.h>
#include <dbplatform/base/MessageBox.h>
#include <dbplatform/base/SystemMessage.h>
#include <dbplatform/base/Version.h>
#include <dbplatform/base/WinTypes.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/com/ComPtr.h>
#include <dbplatform/com/ComRuntime.h>
#include <dbplatform/com/Guid.h>
#include <dbplatform/com/Unknown.h>
#include <dbplatform/datalink/DataLinks.h>
#include <dbplatform/mfc/Object.h>
#include <dbplatform/mfc/String.h>
#include <dbplatform/mfc/StringList.h>
#include <dbplatform/mfc/Time.h>
