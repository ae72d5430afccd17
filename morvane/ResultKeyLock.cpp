#include <morvane/ResultKeyLock.h>

#include <cassert>

namespace morvane {

namespace {

// The table the hold protects, as every product finds it unquoted.
constexpr char kResultTable[] = "MODEL_RESULTBURDENDIS";

// A canonical key is digits, '-', ' ' and ':' only, so it can stand inside quotes.
bool PlainKey(const std::string& key) {
    return !key.empty() && key.find_first_not_of("0123456789-: ") == std::string::npos;
}

// Runs a statement whose rows, if any, nobody reads.
void Run(const _ConnectionPtr& connection, const std::string& sql) {
    connection->Execute(_bstr_t(sql.c_str()), nullptr, static_cast<long>(adCmdText) | static_cast<long>(adExecuteNoRecords));
}

// MariaDB's GET_LOCK waits at most this long when the connection has no command
// timeout of its own (0 means "wait as long as it takes", as for a command).
long LockWaitSeconds(const _ConnectionPtr& connection) {
    long seconds = connection->GetCommandTimeout();
    return seconds > 0 ? seconds : -1;
}

}  // namespace

std::string MariaLockNameExpression(const std::string& canonicalKey) {
    assert(PlainKey(canonicalKey));
    return std::string("MD5(CONCAT(DATABASE(), '.") + kResultTable + ".', '" + canonicalKey + "'))";
}

std::string PostgresLockKeyExpression(const std::string& canonicalKey) {
    assert(PlainKey(canonicalKey));
    return std::string("(CAST(CAST(to_regclass('") + kResultTable +
           "') AS oid) AS bigint) << 32) | (CAST(hashtext('" + canonicalKey + "') AS bigint) & 4294967295)";
}

// The hold is complete or absent: a step that fails undoes the steps before it.
ResultKeyLock::ResultKeyLock(const _ConnectionPtr& connection, const std::string& canonicalKey)
    : connection_(connection), product_(ProductOf(connection)) {
    if (!connection_) _com_issue_error(E_POINTER);
    if (!PlainKey(canonicalKey)) _com_issue_error(DISP_E_TYPEMISMATCH);
    try {
        switch (product_) {
            case Product::Sqlite:
                // Issued as a statement, not through BeginTrans: the SQLite driver's own
                // transaction start is deferred and would take the write lock only at
                // the insert, after the check.
                Run(connection_, "BEGIN IMMEDIATE");
                inTransaction_ = true;
                break;
            case Product::Postgres:
                Check(connection_->BeginTrans() == 1 ? S_OK : E_FAIL);
                inTransaction_ = true;
                Run(connection_, "SELECT pg_advisory_xact_lock(" + PostgresLockKeyExpression(canonicalKey) + ")");
                break;
            case Product::Maria: {
                // Taken before the transaction starts, so that the check's snapshot is
                // made after the previous holder's commit.
                std::string name = MariaLockNameExpression(canonicalKey);
                _RecordsetPtr granted = connection_->Execute(
                    _bstr_t(("SELECT GET_LOCK(" + name + ", " + std::to_string(LockWaitSeconds(connection_)) +
                             ") AS granted")
                                .c_str()),
                    nullptr, adCmdText);
                _variant_t answer = granted->GetCollect(_variant_t("granted"));
                if (answer.vt == VT_NULL || ToInt32(answer) != 1)
                    throw _com_error(E_FAIL, "another model host holds the lock on this result key");
                namedLock_ = name;
                Check(connection_->BeginTrans() == 1 ? S_OK : E_FAIL);
                inTransaction_ = true;
                break;
            }
            default:
                Check(connection_->BeginTrans() == 1 ? S_OK : E_FAIL);
                inTransaction_ = true;
                break;
        }
    } catch (const _com_error&) {
        Abandon();
        throw;
    }
}

ResultKeyLock::~ResultKeyLock() { Abandon(); }

void ResultKeyLock::Commit() {
    if (!inTransaction_) return Release();
    try {
        if (product_ == Product::Sqlite) Run(connection_, "COMMIT");
        else Check(connection_->CommitTrans());
        inTransaction_ = false;
    } catch (const _com_error&) {
        // A SQLite COMMIT that meets a busy reader past the timeout leaves the
        // transaction open: roll it back rather than leave the write lock held.
        Abandon();
        throw;
    }
    Release();
}

void ResultKeyLock::Abandon() noexcept {
    if (inTransaction_) {
        inTransaction_ = false;
        try {
            if (product_ == Product::Sqlite) Run(connection_, "ROLLBACK");
            else connection_->RollbackTrans();
        } catch (const _com_error&) {
            // Nothing is left to roll back (the engine already ended the transaction,
            // or the connection is gone and took the transaction with it).
        }
    }
    Release();
}

void ResultKeyLock::Release() noexcept {
    if (namedLock_.empty()) return;
    std::string name = std::move(namedLock_);
    namedLock_.clear();
    try {
        Run(connection_, "SELECT RELEASE_LOCK(" + name + ")");
    } catch (const _com_error&) {
        // A lost connection releases its named locks on the server's side.
    }
}

}  // namespace morvane
