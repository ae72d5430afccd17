#include <dbplatform/providers/odbc/OdbcErrors.h>

#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>

namespace dbplatform::provider::odbc {

Diagnostics ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    Diagnostics diagnostics;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {0};
        SQLINTEGER nativeError = 0;
        SQLCHAR text[2048];
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &nativeError, text, sizeof text, &length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (record == 1) diagnostics.sqlState = reinterpret_cast<char*>(state);
        if (!diagnostics.message.empty()) diagnostics.message += '\n';
        std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), sizeof text - 1);
        std::string line(reinterpret_cast<char*>(text), size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        diagnostics.message += line;
    }
    return diagnostics;
}

namespace {
bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

FailureKind FailureOfDiagnostics(const Diagnostics& diagnostics, bool connecting) {
    if (connecting) return FailureKind::Unavailable;
    const std::string& state = diagnostics.sqlState;
    const std::string& text = diagnostics.message;
    if (state == "42S02" || state == "42P01") return FailureKind::UnknownTable;
    if (state.rfind("23", 0) == 0) return FailureKind::Constraint;
    if (state.rfind("42", 0) == 0 || state == "37000") return FailureKind::Command;
    if (state.rfind("22", 0) == 0) return FailureKind::Conversion;
    if (state == "HY000" || state == "S1000") {
        if (Contains(text, "no such table")) return FailureKind::UnknownTable;
        if (Contains(text, "constraint failed") || Contains(text, "not unique")) return FailureKind::Constraint;
        if (Contains(text, "database is locked") || Contains(text, "busy")) return FailureKind::Unavailable;
        return FailureKind::Command;
    }
    return FailureKind::Unavailable;
}

}  // namespace

HRESULT HResultForDiagnostics(const Diagnostics& diagnostics, bool connecting) {
    return HResultOf(FailureOfDiagnostics(diagnostics, connecting));
}

void ThrowDiagnostics(Diagnostics diagnostics, bool connecting) {
    if (diagnostics.message.empty()) diagnostics.message = "ODBC call failed";
    ThrowFailure(FailureOfDiagnostics(diagnostics, connecting), diagnostics.message);
}

void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, bool connecting) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
    ThrowDiagnostics(ReadDiagnostics(handleType, handle), connecting);
}

}  // namespace dbplatform::provider::odbc
