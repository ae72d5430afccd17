// The command timeout on PostgreSQL: libpq blocks the calling thread while the server
// works (or waits for a lock), so the watchdog asks the server to cancel the statement
// at the deadline (PQcancel is made for that), and the cancelled statement's error is
// reported as the timeout.
//
// A cancelled statement inside a transaction aborts the transaction, as any failed
// statement does on PostgreSQL: the connection stays usable, but every later statement of
// that transaction fails until the host calls RollbackTrans. Outside a transaction the
// next command simply runs.
#pragma once

#include <libpq-fe.h>

#include <dbplatform/ado/CommandTimeout.h>
#include <dbplatform/com/ComError.h>

namespace dbplatform::provider::postgresql {

// The watchdog's cancel: asks the server to stop the connection's running statement.
inline void SendCancelRequest(void* cancel) {
    char error[256];
    PQcancel(static_cast<PGcancel*>(cancel), error, sizeof error);
}

// Runs `work` (which waits on `connection`) with a timeout of `seconds` (0 = none) and
// returns what it returns. A failure of a call the watchdog cancelled becomes the timeout.
template <class Work>
auto Bounded(PGconn* connection, long seconds, Work&& work) -> decltype(work()) {
    if (seconds <= 0) return work();
    PGcancel* cancel = PQgetCancel(connection);
    if (cancel == nullptr) return work();  // no live connection: nothing to wait for
    struct Freed {
        PGcancel* cancel;
        ~Freed() { PQfreeCancel(cancel); }
    } freed{cancel};
    CommandWatch watch(seconds, SendCancelRequest, cancel);
    try {
        return work();
    } catch (const _com_error&) {
        if (watch.Fired()) ThrowQueryTimeout();
        throw;
    }
}

}  // namespace dbplatform::provider::postgresql
