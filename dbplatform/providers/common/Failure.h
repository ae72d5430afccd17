// What went wrong, in the terms every provider shares, and the one ADO code for each.
// Each provider decides the kind from its engine's own report (a result code, a
// SQLSTATE, a driver's diagnostics); the code the host sees follows from the kind alone,
// so the same failure reads the same on every engine.
#pragma once

#include <cstdint>
#include <string>

#include <dbplatform/base/HResult.h>

namespace dbplatform::provider {

enum class FailureKind : std::uint8_t {
    None,           // not a failure
    Command,        // syntax or any other error of the command: DB_E_ERRORSINCOMMAND
    UnknownTable,   // DB_E_NOTABLE
    Constraint,     // DB_E_INTEGRITYVIOLATION
    Conversion,     // the engine refused a value for its type: DB_E_CANTCONVERTVALUE
    NotADate,       // a text given for a date reads as no date: DISP_E_TYPEMISMATCH
    Unavailable,    // login, connection, busy or locked, I/O: E_FAIL
    RowNotLocated,  // the row to write back cannot be told apart: DB_E_CONCURRENCYVIOLATION
    Timeout,        // CommandTimeout expired: DB_E_ABORTLIMITREACHED
};

// The ADO code of `kind` (S_OK for None).
HRESULT HResultOf(FailureKind kind);

// Throws _com_error(HResultOf(kind), description); `kind` must not be None.
[[noreturn]] void ThrowFailure(FailureKind kind, const std::string& description);

}  // namespace dbplatform::provider
