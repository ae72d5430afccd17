#include "TransactionState.h"

#include <cassert>

#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"

namespace dbplatform::ado {

TransactionState::TransactionState(std::shared_ptr<provider::Session> session) : session_(std::move(session)) {
    assert(session_);
}

// A transaction lives in the server's session: once the server connection is gone, so
// is the transaction, and holding on to it would refuse Close, Open and BeginTrans for
// good. Nothing is rolled back here; there is nothing left to roll back.
void TransactionState::ForgetIfLost() {
    if (open_ && session_->ConnectionLost()) open_ = false;
}

// On a lost connection the engine's own error says why a new transaction cannot begin.
void TransactionState::Begin() {
    ForgetIfLost();
    if (open_) RaiseAdo(adErrFeatureNotAvailableHr);
    session_->BeginTransaction();
    open_ = true;
}

// A commit that fails because the connection is gone still fails (nothing was
// committed), but leaves no transaction behind.
void TransactionState::Commit() {
    if (!open_) throw _com_error(E_FAIL, "No transaction is active.");
    try {
        session_->CommitTransaction();
    } catch (const _com_error&) {
        ForgetIfLost();
        throw;
    }
    open_ = false;
}

// Rolling back a transaction that died with the server connection succeeds: the
// server has already discarded its work, which is what a rollback asks for.
void TransactionState::Rollback() {
    if (!open_) throw _com_error(E_FAIL, "No transaction is active.");
    try {
        session_->RollbackTransaction();
    } catch (const _com_error&) {
        ForgetIfLost();
        if (open_) throw;
    }
    open_ = false;
}

}  // namespace dbplatform::ado
