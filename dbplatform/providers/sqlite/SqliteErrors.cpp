#include <dbplatform/providers/sqlite/SqliteErrors.h>

#include <sqlite3.h>

#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>

namespace dbplatform::sqlite {

namespace {

provider::FailureKind FailureOfSqlite(int resultCode, std::string_view message) {
    using provider::FailureKind;
    switch (resultCode & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return FailureKind::None;
        case SQLITE_CONSTRAINT:
            return FailureKind::Constraint;
        case SQLITE_MISMATCH:
            return FailureKind::Conversion;
        case SQLITE_ERROR:
            // SQLite reports an unknown table only through its message.
            if (message.substr(0, 13) == "no such table") return FailureKind::UnknownTable;
            return FailureKind::Command;
        case SQLITE_RANGE:
        case SQLITE_TOOBIG:
            return FailureKind::Command;
        default:
            return FailureKind::Unavailable;
    }
}

}  // namespace

HRESULT HResultFromSqlite(int resultCode, std::string_view message) {
    return provider::HResultOf(FailureOfSqlite(resultCode, message));
}

void ThrowSqliteError(sqlite3* db, int resultCode) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(resultCode);
    throw _com_error(HResultFromSqlite(resultCode, message), message);
}

void ThrowError(HRESULT hr, const std::string& description) { throw _com_error(hr, description); }

}  // namespace dbplatform::sqlite
