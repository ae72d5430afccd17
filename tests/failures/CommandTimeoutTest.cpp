// CommandTimeout on every provider: a command blocked by another session's lock, or one
// that runs long, ends after the timeout with ADO's timeout error and the connection
// runs the next command; 0 waits; on SQLite the busy timeout and the command timeout end
// a lock wait, whichever comes first. Timings are loose: the machine may be loaded.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using testdb::Target;
using testcom::Failure;
using testcom::FailureOf;

constexpr HRESULT kTimeoutHr = static_cast<HRESULT>(0x80040E31);

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

_ConnectionPtr Open(const std::string& connectionString, long connectionTimeout = 15) {
    _ConnectionPtr connection;
    EXPECT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
    connection->PutConnectionTimeout(connectionTimeout);
    connection->Open(_bstr_t(connectionString), _bstr_t(), _bstr_t(), adConnectUnspecified);
    return connection;
}

void Exec(const _ConnectionPtr& connection, const std::string& sql) {
    connection->Execute(_bstr_t(sql), nullptr, adCmdText);
}

// The connection still works: a query runs and gives its row.
void ExpectUsable(const _ConnectionPtr& connection) {
    _RecordsetPtr rows = connection->Execute(_bstr_t("SELECT 41 + 1"), nullptr, adCmdText);
    ASSERT_EQ(rows->GetState(), adStateOpen);
    EXPECT_EQ(static_cast<long>(_variant_t(rows->GetCollect(_variant_t(0L)))), 42);
}

// ---- A lock held by another session ------------------------------------------------

class LockWait : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        connectionString_ = testdb::ConnectionString(GetParam(), "");
        TESTDB_REQUIRE(connectionString_, GetParam());
        table_ = testdb::UniqueName("h5_lock");
        holder_ = Open(connectionString_);
        try {
            Exec(holder_, "DROP TABLE " + table_);
        } catch (const _com_error&) {
        }
        Exec(holder_, "CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, v INTEGER)");
        Exec(holder_, "INSERT INTO " + table_ + " VALUES (1, 1)");
        holder_->BeginTrans();
        Exec(holder_, "UPDATE " + table_ + " SET v = 2 WHERE id = 1");  // holds the row lock
    }
    void TearDown() override {
        if (!holder_) return;
        try {
            if (holding_) holder_->RollbackTrans();
            Exec(holder_, "DROP TABLE " + table_);
        } catch (const _com_error&) {
        }
    }
    std::string BlockedUpdate() const { return "UPDATE " + table_ + " SET v = 3 WHERE id = 1"; }

    std::string connectionString_;
    std::string table_;
    _ConnectionPtr holder_;
    bool holding_ = true;
};

TEST_P(LockWait, BlockedUpdateEndsAtTheTimeoutAndTheConnectionGoesOn) {
    _ConnectionPtr waiter = Open(connectionString_);
    waiter->PutCommandTimeout(2);  // set on the open connection: reaches its session
    auto start = std::chrono::steady_clock::now();
    Failure failure = FailureOf([&] { Exec(waiter, BlockedUpdate()); });
    double seconds = SecondsSince(start);
    EXPECT_EQ(failure.hr, kTimeoutHr) << failure.description;
    EXPECT_EQ(failure.description, "Query timeout expired");
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 10.0);
    ExpectUsable(waiter);
}

TEST_P(LockWait, ZeroWaitsUntilTheLockIsReleased) {
    _ConnectionPtr waiter = Open(connectionString_);
    waiter->PutCommandTimeout(0);
    auto start = std::chrono::steady_clock::now();
    auto blocked = std::async(std::launch::async, [&] { return FailureOf([&] { Exec(waiter, BlockedUpdate()); }); });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(2500)), std::future_status::timeout);
    holder_->RollbackTrans();
    holding_ = false;
    Failure failure = blocked.get();
    EXPECT_EQ(failure.hr, S_OK) << failure.description;
    EXPECT_GE(SecondsSince(start), 2.5);
}

INSTANTIATE_TEST_SUITE_P(Servers, LockWait,
                         ::testing::Values(Target::PostgresNative, Target::PostgresOdbc, Target::MariaOdbc),
                         [](const auto& info) { return std::string(testdb::TargetName(info.param)); });

// On PostgreSQL a cancelled statement aborts the transaction it ran in: later statements
// fail until RollbackTrans, after which the connection runs commands again.
TEST(PostgresTimeout, InsideATransactionRollbackMakesTheConnectionUsable) {
    const std::string connectionString = testdb::ConnectionString(Target::PostgresNative, "");
    TESTDB_REQUIRE(connectionString, Target::PostgresNative);
    _ConnectionPtr connection = Open(connectionString);
    connection->PutCommandTimeout(1);
    connection->BeginTrans();
    Failure failure = FailureOf([&] { Exec(connection, "SELECT pg_sleep(30)"); });
    EXPECT_EQ(failure.hr, kTimeoutHr) << failure.description;
    Failure aborted = FailureOf([&] { ExpectUsable(connection); });
    EXPECT_NE(aborted.description.find("current transaction is aborted"), std::string::npos) << aborted.description;
    connection->RollbackTrans();
    ExpectUsable(connection);
}

// ---- A long query --------------------------------------------------------------------

// Counting a long recursive sequence: seconds of pure computation on either engine.
constexpr const char* kLongQuery =
    "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 400000000) SELECT count(*) FROM c";

struct LongQueryCase {
    const char* name;
    Target target;
    bool throughRecordset;  // Recordset.Open and a read of its first row, else Connection.Execute
};

class LongQuery : public ::testing::TestWithParam<LongQueryCase> {};

TEST_P(LongQuery, EndsAfterOneSecond) {
    const LongQueryCase& c = GetParam();
    const std::string file = testdb::TempSqliteFile(std::string("h5_long_") + c.name);
    const std::string connectionString = testdb::ConnectionString(c.target, file);
    TESTDB_REQUIRE(connectionString, c.target);
    _ConnectionPtr connection;
    ASSERT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
    connection->PutCommandTimeout(1);  // set before Open: the session starts with it
    connection->Open(_bstr_t(connectionString), _bstr_t(), _bstr_t(), adConnectUnspecified);
    auto start = std::chrono::steady_clock::now();
    Failure failure = FailureOf([&] {
        if (!c.throughRecordset) {
            _RecordsetPtr rows = connection->Execute(_bstr_t(kLongQuery), nullptr, adCmdText);
            rows->GetadoEOF();  // through the SQLite driver the work happens at the first fetch
            return;
        }
        _RecordsetPtr rows;
        rows.CreateInstance("ADODB.Recordset");
        rows->Open(_variant_t(kLongQuery), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic,
                   adLockReadOnly, adCmdText);
        rows->GetadoEOF();  // the rows are read lazily: the work may happen here
    });
    double seconds = SecondsSince(start);
    EXPECT_EQ(failure.hr, kTimeoutHr) << failure.description;
    EXPECT_EQ(failure.description, "Query timeout expired");
    EXPECT_LT(seconds, 10.0);
    ExpectUsable(connection);
    connection->Close();
    std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(Engines, LongQuery,
                         ::testing::Values(LongQueryCase{"SqliteExecute", Target::SqliteNative, false},
                                           LongQueryCase{"SqliteRecordset", Target::SqliteNative, true},
                                           LongQueryCase{"SqliteOdbcExecute", Target::SqliteOdbc, false},
                                           LongQueryCase{"SqliteOdbcRecordset", Target::SqliteOdbc, true},
                                           LongQueryCase{"PostgresExecute", Target::PostgresNative, false},
                                           LongQueryCase{"PostgresRecordset", Target::PostgresNative, true},
                                           LongQueryCase{"PostgresOdbcRecordset", Target::PostgresOdbc, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- SQLite: the busy timeout and the command timeout -----------------------------------

struct BusyCase {
    const char* name;
    long connectionTimeout;  // the busy timeout
    long commandTimeout;
    HRESULT hr;              // the error of whichever comes first; S_OK: waits until released
};

class SqliteLock : public ::testing::TestWithParam<BusyCase> {};

TEST_P(SqliteLock, WhicheverLimitComesFirstEndsTheWait) {
    const BusyCase& c = GetParam();
    const std::string file = testdb::TempSqliteFile(std::string("h5_busy_") + c.name);
    const std::string connectionString = testdb::ConnectionString(Target::SqliteNative, file);
    _ConnectionPtr holder = Open(connectionString);
    Exec(holder, "CREATE TABLE t (id INTEGER PRIMARY KEY, v INTEGER)");
    holder->BeginTrans();
    Exec(holder, "INSERT INTO t VALUES (1, 1)");  // holds the write lock

    _ConnectionPtr waiter = Open(connectionString, c.connectionTimeout);
    waiter->PutCommandTimeout(c.commandTimeout);
    auto start = std::chrono::steady_clock::now();
    auto blocked = std::async(std::launch::async,
                              [&] { return FailureOf([&] { Exec(waiter, "INSERT INTO t VALUES (2, 2)"); }); });
    if (c.hr == S_OK) {
        EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(2500)), std::future_status::timeout);
        holder->CommitTrans();
    }
    Failure failure = blocked.get();
    double seconds = SecondsSince(start);
    if (c.hr != S_OK) holder->RollbackTrans();
    EXPECT_EQ(failure.hr, c.hr) << failure.description;
    if (c.hr == kTimeoutHr) {
        EXPECT_EQ(failure.description, "Query timeout expired");
    }
    if (c.hr == E_FAIL) {
        EXPECT_NE(failure.description.find("locked"), std::string::npos) << failure.description;
    }
    if (c.hr != S_OK) {
        EXPECT_GE(seconds, 0.8);
        EXPECT_LT(seconds, 10.0);
        ExpectUsable(waiter);
        Exec(waiter, "INSERT INTO t VALUES (3, 3)");  // the lock is free now: the write goes through
    } else {
        EXPECT_GE(seconds, 2.5);
    }
    waiter->Close();
    holder->Close();
    std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(Limits, SqliteLock,
                         ::testing::Values(BusyCase{"BusyFirst", 1, 30, E_FAIL},
                                           BusyCase{"CommandFirst", 30, 1, kTimeoutHr},
                                           BusyCase{"NeitherLimit", 0, 0, S_OK}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
