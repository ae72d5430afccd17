// PostgreSQL failures as the OLE DB codes the cursor engine and the libraries expect.
#pragma once

#include <string>

#include <libpq-fe.h>

#include <dbplatform/base/HResult.h>

namespace dbplatform::provider::postgresql {

// 42P01 unknown table, 23xxx constraint, other 42xxx command error, 22xxx conversion;
// no SQLSTATE (the connection failed) or a connection class is E_FAIL.
HRESULT HResultForSqlState(const char* sqlState);

// Throws _com_error for a failed `result` (which it clears) with the server's message,
// trailing line break removed.
[[noreturn]] void ThrowResultError(PGconn* connection, PGresult* result);

// `message` without its trailing line breaks.
std::string TrimMessage(const char* message);

}  // namespace dbplatform::provider::postgresql
