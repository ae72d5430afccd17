#include <dbplatform/providers/postgresql/PgErrors.h>

#include <cstring>

#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>

namespace dbplatform::provider::postgresql {

namespace {

FailureKind FailureOfSqlState(const char* sqlState) {
    if (sqlState == nullptr || std::strlen(sqlState) != 5) return FailureKind::Unavailable;
    if (std::strcmp(sqlState, "42P01") == 0) return FailureKind::UnknownTable;
    if (std::strncmp(sqlState, "23", 2) == 0) return FailureKind::Constraint;
    if (std::strncmp(sqlState, "42", 2) == 0) return FailureKind::Command;
    if (std::strncmp(sqlState, "22", 2) == 0) return FailureKind::Conversion;
    // Connection, authentication, resources, shutdown: the database is not usable.
    for (const char* lost : {"08", "28", "53", "57", "58", "3D"})
        if (std::strncmp(sqlState, lost, 2) == 0) return FailureKind::Unavailable;
    return FailureKind::Command;
}

}  // namespace

HRESULT HResultForSqlState(const char* sqlState) { return HResultOf(FailureOfSqlState(sqlState)); }

std::string TrimMessage(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void ThrowResultError(PGconn* connection, PGresult* result) {
    std::string message = TrimMessage(result ? PQresultErrorMessage(result) : nullptr);
    if (message.empty()) message = TrimMessage(PQerrorMessage(connection));
    HRESULT hr = HResultForSqlState(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr);
    PQclear(result);
    throw _com_error(hr, message);
}

}  // namespace dbplatform::provider::postgresql
