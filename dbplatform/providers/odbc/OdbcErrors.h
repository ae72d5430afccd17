// ODBC diagnostics as the OLE DB codes the cursor engine and the libraries expect.
#pragma once

#include <string>

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <dbplatform/base/HResult.h>

namespace dbplatform::provider::odbc {

struct Diagnostics {
    std::string sqlState;  // of the first record
    std::string message;   // every record's text, with the driver manager's [..] prefixes
};

Diagnostics ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The code for a failure of a command (`connecting` false) or of the login (true: always
// E_FAIL). 42S02 unknown table, 23xxx constraint, other 42xxx command error, 22xxx
// conversion; the SQLite driver reports everything as HY000, so its text decides there.
HRESULT HResultForDiagnostics(const Diagnostics& diagnostics, bool connecting);

// Throws _com_error for a failure described by `diagnostics` (an empty message reads
// "ODBC call failed").
[[noreturn]] void ThrowDiagnostics(Diagnostics diagnostics, bool connecting);

// Throws _com_error with the handle's diagnostics when `rc` is a failure.
void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, bool connecting = false);

}  // namespace dbplatform::provider::odbc
