// SQLite's failures as the OLE DB codes the cursor engine and the libraries expect.
#pragma once

#include <string>
#include <string_view>

#include <dbplatform/base/HResult.h>
#include <dbplatform/providers/common/Failure.h>

struct sqlite3;

namespace dbplatform::sqlite {

using provider::FailureKind;
using provider::ThrowFailure;

// The HRESULT for a SQLite result code (extended codes allowed) and its message:
// a missing table is DB_E_NOTABLE, a constraint DB_E_INTEGRITYVIOLATION, a datatype
// mismatch DB_E_CANTCONVERTVALUE, other statement errors DB_E_ERRORSINCOMMAND, and
// everything about the file or the lock (busy, locked, I/O, cannot open) E_FAIL.
HRESULT HResultFromSqlite(int resultCode, std::string_view message);

// Throws _com_error with the mapped code and the connection's own message.
[[noreturn]] void ThrowSqliteError(sqlite3* db, int resultCode);

// Throws _com_error(hr, description).
[[noreturn]] void ThrowError(HRESULT hr, const std::string& description);

}  // namespace dbplatform::sqlite
