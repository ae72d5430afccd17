// Several model hosts may share one store (one per furnace, a standby). Storing a result
// is "check that no row has the key, then insert": between the two, another host must
// not do the same for the same key, or the charge gets two results. A ResultKeyLock is
// that exclusive hold, taken with what the engine behind the connection offers, and a
// transaction around the write, so that a failure leaves nothing half-written.
// Internal to libMorvane; not installed.
#pragma once

#include <string>

#include <morvane/StoreSupport.h>

namespace morvane {

class ResultKeyLock {
public:
    // Takes the hold on `canonicalKey` of the result table and opens the transaction the
    // check and the insert run in. Waits while another host holds the same key (up to
    // the engine's lock or command timeout); raises _com_error when the hold cannot be
    // had, and then holds nothing.
    //
    //   SQLite      BEGIN IMMEDIATE: the database's write lock, before the check
    //   PostgreSQL  a transaction-level advisory lock on the table and the key
    //   MariaDB     a named lock (GET_LOCK) on the database, table and key
    //   others      the connection's own transaction, which is all ADO offers there
    ResultKeyLock(const _ConnectionPtr& connection, const std::string& canonicalKey);

    // An unfinished hold is abandoned: what it wrote is rolled back.
    ~ResultKeyLock();

    ResultKeyLock(const ResultKeyLock&) = delete;
    ResultKeyLock& operator=(const ResultKeyLock&) = delete;

    // Keeps what was written and lets go. Raises _com_error when the engine refuses the
    // commit; the work is then rolled back and the hold released all the same.
    void Commit();

    // Rolls back what was written and lets go. Never raises: it runs on the way out of a
    // failure, whose own error is the one to report.
    void Abandon() noexcept;

    Product product() const { return product_; }

private:
    void Release() noexcept;

    _ConnectionPtr connection_;
    Product product_ = Product::Unknown;
    bool inTransaction_ = false;
    std::string namedLock_;  // MariaDB: the name held with GET_LOCK, empty when none
};

// The MariaDB lock name of `canonicalKey`: the server hashes database, table and key,
// since a lock name is server-wide and at most 64 characters long.
std::string MariaLockNameExpression(const std::string& canonicalKey);

// The PostgreSQL advisory-lock key of `canonicalKey`: the table's oid in the high half,
// so stores in other schemas or databases of the server never wait for each other,
// and a hash of the key in the low half.
std::string PostgresLockKeyExpression(const std::string& canonicalKey);

}  // namespace morvane
