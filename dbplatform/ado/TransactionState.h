// The transaction a connection opened with BeginTrans: the one place that knows whether
// it is open. The connection drives it; the cursors opened on the connection hold a
// reference to ask it (UpdateBatch runs inside it instead of opening one of its own).
#pragma once

#include <memory>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::ado {

// Threads: belongs to one connection and is used by whichever thread uses that
// connection and its recordsets (one at a time), so it takes no lock.
class TransactionState {
public:
    explicit TransactionState(std::shared_ptr<provider::Session> session);
    TransactionState(const TransactionState&) = delete;
    TransactionState& operator=(const TransactionState&) = delete;

    // True from a successful Begin until Commit or Rollback ends it, or until it is
    // found to have died with the server connection.
    bool Open() const { return open_; }

    // Begins one; refused with 3251 while one is open (the engines here do not nest).
    void Begin();
    // Ends the open one; E_FAIL "No transaction is active." when there is none.
    void Commit();
    void Rollback();
    // Forgets a transaction that died with the server connection.
    void ForgetIfLost();

private:
    std::shared_ptr<provider::Session> session_;
    bool open_ = false;
};

}  // namespace dbplatform::ado
