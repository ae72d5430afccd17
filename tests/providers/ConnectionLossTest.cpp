// A connection whose server session ends inside a transaction (the backend is
// terminated, or the server restarts) is not stuck: the transaction is gone with the
// session, rollback and close succeed, and the same object opens again.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using testcom::FailureOf;
using testdb::Target;

// Runs a shell command, as the postgres user when this process is root (the server
// refuses to run as root). Returns the exit status.
int RunAsServerUser(const std::string& command) {
    std::string line = ::geteuid() == 0 ? "runuser -u postgres -- sh -c '" + command + "'" : command;
    return std::system((line + " >/dev/null 2>&1").c_str());
}

// A port nobody listens on at the moment.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A PostgreSQL 15 server of this test program alone, so that restarting it disturbs no
// other test: its own data folder, port and socket folder, removed at the end.
class PrivateServer {
public:
    PrivateServer() {
        char pattern[] = "/tmp/dbplatform_pg_XXXXXX";
        if (!::mkdtemp(pattern)) return;
        folder_ = pattern;
        if (::geteuid() == 0) RunAs("chown postgres " + folder_);
        port_ = FreePort();
        ready_ = RunAsServerUser(Bin("initdb") + " -D " + folder_ + "/data -U postgres --auth=trust -E UTF8 "
                                 "--locale=C.UTF-8") == 0 &&
                 Start();
    }
    ~PrivateServer() {
        if (folder_.empty()) return;
        RunAsServerUser(Bin("pg_ctl") + " -D " + folder_ + "/data -m immediate -w stop");
        std::filesystem::remove_all(folder_);
    }
    bool Ready() const { return ready_; }
    bool Start() {
        return RunAsServerUser(Bin("pg_ctl") + " -D " + folder_ + "/data -l " + folder_ + "/log -w -o \"-c " +
                               "listen_addresses=127.0.0.1 -c port=" + std::to_string(port_) +
                               " -c unix_socket_directories=" + folder_ + "\" start") == 0;
    }
    bool Restart() {
        return RunAsServerUser(Bin("pg_ctl") + " -D " + folder_ + "/data -m fast -w stop") == 0 && Start();
    }
    std::string ConnectionString(Target target) const {
        std::string port = std::to_string(port_);
        if (target == Target::PostgresNative)
            return "Provider=PostgreSQL;Data Source=127.0.0.1:" + port + ";Location=postgres;User ID=postgres";
        return "DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=" + port + ";Database=postgres;Uid=postgres";
    }
    std::string LibpqString() const {
        return "host=127.0.0.1 port=" + std::to_string(port_) + " dbname=postgres user=postgres";
    }

private:
    static std::string Bin(const char* tool) { return std::string("/usr/lib/postgresql/15/bin/") + tool; }
    static void RunAs(const std::string& command) { std::system(command.c_str()); }
    std::string folder_;
    int port_ = 0;
    bool ready_ = false;
};

// libpq directly, independent of the code under test: the shared server's keys come
// from the test's native connection string.
std::string SharedLibpqString() {
    const char* text = std::getenv("DBPLATFORM_TEST_PG");
    if (!text) return "";
    dbplatform::ado::ConnectionString parsed;
    if (FAILED(dbplatform::ado::ConnectionString::Parse(text, &parsed, nullptr))) return "";
    std::string source = parsed.Get("Data Source").value_or("127.0.0.1");
    std::string host = source.substr(0, source.find(':'));
    std::string port = source.find(':') == std::string::npos ? "5432" : source.substr(source.find(':') + 1);
    return "host=" + host + " port=" + port + " dbname=" + parsed.Get("Location").value_or("") +
           " user=" + parsed.Get("User ID").value_or("") + " password=" + parsed.Get("Password").value_or("");
}

// The first value of `sql`'s first row, through libpq ("" on failure or no row).
std::string Query(const std::string& libpq, const std::string& sql) {
    PGconn* connection = PQconnectdb(libpq.c_str());
    std::string value;
    if (PQstatus(connection) == CONNECTION_OK) {
        PGresult* result = PQexec(connection, sql.c_str());
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) value = PQgetvalue(result, 0, 0);
        PQclear(result);
    }
    PQfinish(connection);
    return value;
}

// Ends the session `pid` and waits until the server has let it go.
bool TerminateBackend(const std::string& libpq, const std::string& pid) {
    if (Query(libpq, "SELECT pg_terminate_backend(" + pid + ")") != "t") return false;
    for (int wait = 0; wait < 100; ++wait) {
        if (Query(libpq, "SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid) == "0") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string FirstValue(const _ConnectionPtr& connection, const std::string& sql) {
    _RecordsetPtr rows = connection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    return static_cast<_bstr_t>(rows->GetCollect(_variant_t(0L))).str();
}

void Run(const _ConnectionPtr& connection, const std::string& sql) {
    connection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
}

// How the host leaves the dead transaction before opening again.
enum class Leave { Rollback, CloseAtOnce, FailedCommit, BeginAgain };

struct LossCase {
    const char* name;
    Leave leave;
};

const LossCase kLossCases[] = {
    {"rollback, then close", Leave::Rollback},
    {"close at once", Leave::CloseAtOnce},
    {"commit fails, then close", Leave::FailedCommit},
    {"begin again, then roll back", Leave::BeginAgain},
};

// One round: open, write inside a transaction, lose the session by `loseSession`, leave
// the transaction as the case says, then open the same object again and commit a row.
// Only the committed row is in the table afterwards.
template <class LoseSession>
void LoseInsideTransaction(const std::string& connectionString, const std::string& libpq, const LossCase& c,
                           LoseSession loseSession) {
    SCOPED_TRACE(c.name);
    const bool odbc = connectionString.rfind("Provider=", 0) != 0;
    const std::string table = testdb::UniqueName("lost_tx");
    _ConnectionPtr connection;
    ASSERT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
    connection->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
    Run(connection, "DROP TABLE IF EXISTS " + table);
    Run(connection, "CREATE TABLE " + table + " (id integer)");
    std::string pid = FirstValue(connection, "SELECT pg_backend_pid()");

    connection->BeginTrans();
    Run(connection, "INSERT INTO " + table + " VALUES (1)");
    ASSERT_TRUE(loseSession(pid));

    switch (c.leave) {
        case Leave::Rollback:
            EXPECT_EQ(FailureOf([&] { connection->RollbackTrans(); }).hr, S_OK);
            break;
        case Leave::CloseAtOnce:
            if (odbc) {
                // An ODBC driver learns of the loss only from a call that meets it: until
                // then the transaction looks alive, and closing it is refused as usual.
                EXPECT_EQ(FailureOf([&] { connection->Close(); }).hr, static_cast<HRESULT>(0x800A0CAE));
                EXPECT_EQ(FailureOf([&] { connection->RollbackTrans(); }).hr, S_OK);
            }
            break;
        case Leave::FailedCommit: {
            auto failure = FailureOf([&] { connection->CommitTrans(); });
            EXPECT_TRUE(FAILED(failure.hr));
            EXPECT_FALSE(failure.description.empty());
            break;
        }
        case Leave::BeginAgain: {
            // Refused either way; libpq sees the loss and names it, an ODBC driver has not
            // met it yet and the transaction still counts as open.
            auto failure = FailureOf([&] { connection->BeginTrans(); });
            EXPECT_EQ(failure.hr, odbc ? static_cast<HRESULT>(0x800A0CB3) : E_FAIL) << failure.description;
            EXPECT_EQ(FailureOf([&] { connection->RollbackTrans(); }).hr, odbc ? S_OK : E_FAIL);
            break;
        }
    }
    EXPECT_EQ(FailureOf([&] { connection->Close(); }).hr, S_OK);
    EXPECT_EQ(connection->GetState(), adStateClosed);

    auto reopened = FailureOf([&] {
        connection->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
    });
    ASSERT_EQ(reopened.hr, S_OK) << reopened.description;
    EXPECT_NE(FirstValue(connection, "SELECT pg_backend_pid()"), pid);
    connection->BeginTrans();
    Run(connection, "INSERT INTO " + table + " VALUES (2)");
    EXPECT_EQ(FailureOf([&] { connection->CommitTrans(); }).hr, S_OK);
    EXPECT_EQ(Query(libpq, "SELECT string_agg(id::text, ',') FROM " + table), "2");
    Run(connection, "DROP TABLE " + table);
    connection->Close();
}

class ConnectionLoss : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

TEST_P(ConnectionLoss, TerminatedBackendInsideTransaction) {
    std::string connectionString = testdb::ConnectionString(GetParam(), "");
    TESTDB_REQUIRE(connectionString, GetParam());
    std::string libpq = SharedLibpqString();
    for (const LossCase& c : kLossCases)
        LoseInsideTransaction(connectionString, libpq, c, [&](const std::string& pid) {
            return TerminateBackend(libpq, pid);
        });
}

TEST_P(ConnectionLoss, ServerRestartInsideTransaction) {
    // The shared server's configuration tells whether the drivers are set up here.
    TESTDB_REQUIRE(testdb::ConnectionString(GetParam(), ""), GetParam());
    static PrivateServer server;
    ASSERT_TRUE(server.Ready()) << "cannot start a private PostgreSQL server";
    for (const LossCase& c : kLossCases)
        LoseInsideTransaction(server.ConnectionString(GetParam()), server.LibpqString(), c,
                              [&](const std::string&) { return server.Restart(); });
}

INSTANTIATE_TEST_SUITE_P(Targets, ConnectionLoss, ::testing::Values(Target::PostgresNative, Target::PostgresOdbc),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return std::string(testdb::TargetName(info.param));
                         });

}  // namespace
