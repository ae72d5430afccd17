// The command timeout through ODBC. SQL_ATTR_QUERY_TIMEOUT is not enough: psqlODBC obeys
// it, but MariaDB Connector/ODBC lets a lock wait run into the server's own 50 s and the
// SQLite driver ignores it. SQLCancel from another thread stops a running call on all
// three (psqlODBC sends a cancel request, MariaDB's driver a KILL QUERY, the SQLite driver
// interrupts the engine), and leaves the connection usable; so the watchdog calls it at
// the deadline. In an ODBC 3 environment SQLCancel on a statement that is not running does
// nothing, so a watch that fires just after the call returned is harmless.
#pragma once

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <dbplatform/ado/CommandTimeout.h>

namespace dbplatform::provider::odbc {

// The watchdog's cancel of a statement handle.
inline void CancelStatement(void* statement) { SQLCancel(static_cast<SQLHSTMT>(statement)); }

// Runs `call` (an ODBC function working on `statement`) with a timeout of `seconds`
// (0 = none) and returns its result; a call that failed because the watchdog cancelled
// it throws the timeout error instead. Made for every fetched row: the watch is a few
// stores into the thread's slot.
template <class Call>
SQLRETURN Bounded(SQLHSTMT statement, long seconds, Call&& call) {
    CommandWatch watch(seconds, CancelStatement, statement);
    SQLRETURN rc = call();
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA && watch.Fired()) ThrowQueryTimeout();
    return rc;
}

}  // namespace dbplatform::provider::odbc
