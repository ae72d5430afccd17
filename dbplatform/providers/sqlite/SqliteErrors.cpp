#include <dbplatform/providers/sqlite/SqliteErrors.h>

#include <sqlite3.h>

#include <dbplatform/com/ComError.h>

namespace dbplatform::sqlite {

HRESULT HResultFromSqlite(int resultCode, std::string_view message) {
    switch (resultCode & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return S_OK;
        case SQLITE_CONSTRAINT:
            return DB_E_INTEGRITYVIOLATION;
        case SQLITE_MISMATCH:
            return DB_E_CANTCONVERTVALUE;
        case SQLITE_ERROR:
            // SQLite reports an unknown table only through its message.
            if (message.substr(0, 13) == "no such table") return DB_E_NOTABLE;
            return DB_E_ERRORSINCOMMAND;
        case SQLITE_RANGE:
        case SQLITE_TOOBIG:
            return DB_E_ERRORSINCOMMAND;
        default:
            return E_FAIL;
    }
}

void ThrowSqliteError(sqlite3* db, int resultCode) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(resultCode);
    throw _com_error(HResultFromSqlite(resultCode, message), message);
}

void ThrowError(HRESULT hr, const std::string& description) { throw _com_error(hr, description); }

}  // namespace dbplatform::sqlite
