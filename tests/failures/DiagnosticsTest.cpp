// The diagnostics channel: what a host's handler and the DBPLATFORM_LOG file receive
// when a call fails, that passwords never reach them, and that it is per thread correct.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dbplatform/dbplatform.h>
#include <quillet/Quillet.h>

#include "TestDatabases.h"

extern char** environ;

namespace {

using dbplatform::DiagnosticRecord;

// Collects the records raised while it lives, from any thread.
class Collected {
public:
    Collected() {
        dbplatform::SetDiagnosticHandler([this](const DiagnosticRecord& record) {
            std::lock_guard<std::mutex> lock(mutex_);
            records_.push_back(record);
        });
    }
    ~Collected() { dbplatform::SetDiagnosticHandler({}); }
    std::vector<DiagnosticRecord> Records() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }

private:
    std::mutex mutex_;
    std::vector<DiagnosticRecord> records_;
};

bool Mentions(const DiagnosticRecord& record, const std::string& text) {
    for (const std::string* field : {&record.message, &record.description, &record.source, &record.operation, &record.sql})
        if (field->find(text) != std::string::npos) return true;
    return false;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// A wrong password on PostgreSQL: Quillet keeps only "Unspecified error", the handler
// gets the server's reason and the connection string, without either password.
TEST(DiagnosticsPostgres, FailedOpenHandsTheServersReasonToTheHandler) {
    const std::string good = testdb::ConnectionString(testdb::Target::PostgresNative, "");
    TESTDB_REQUIRE(good, testdb::Target::PostgresNative);
    struct Case {
        const char* name;
        std::string connection;
        std::string openPassword;  // given to Connection.Open instead of the string's
    };
    const std::string wrong = "Wr0ng_pw_h5";
    const Case cases[] = {
        {"password in the string", Replaced(good, "Password=adotest_pw", "Password=" + wrong), ""},
        {"password as Open's argument", Replaced(good, "Password=adotest_pw", "Password=x"), wrong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Collected collected;
        if (c.openPassword.empty()) {
            IQuillet* quillet = CreateQuillet();
            quillet->SetConnectionString(CString(c.connection));
            EXPECT_EQ(quillet->OpenDatabase(), 0);
            EXPECT_EQ(std::string(quillet->GetErrorText().str()), "Unspecified error");
            DeleteQuillet(quillet);
        } else {
            _ConnectionPtr connection;
            ASSERT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
            EXPECT_THROW(connection->Open(_bstr_t(c.connection), _bstr_t("adotest"), _bstr_t(c.openPassword),
                                          adConnectUnspecified),
                         _com_error);
        }
        std::vector<DiagnosticRecord> records = collected.Records();
        ASSERT_FALSE(records.empty());
        const DiagnosticRecord& open = records.front();
        EXPECT_EQ(open.hr, E_FAIL);
        EXPECT_EQ(open.message, "Unspecified error");
        EXPECT_NE(open.description.find("password authentication failed"), std::string::npos) << open.description;
        EXPECT_EQ(open.source, "ADODB.Connection");
        EXPECT_EQ(open.operation, "Open");
        EXPECT_NE(open.sql.find("Provider=PostgreSQL"), std::string::npos) << open.sql;
        for (const DiagnosticRecord& record : records) {
            EXPECT_FALSE(Mentions(record, wrong)) << record.sql << " / " << record.description;
            EXPECT_FALSE(Mentions(record, "adotest_pw"));
        }
    }
}

// Each thread's record names its own statement: the scope that names the SQL is per
// thread, and no record is lost or doubled under contention.
TEST(Diagnostics, RecordsCarryTheSqlOfTheirOwnThread) {
    Collected collected;
    constexpr int kThreads = 4, kErrors = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            _ConnectionPtr connection;
            connection.CreateInstance("ADODB.Connection");
            connection->Open(_bstr_t("Provider=SQLite;Data Source=:memory:"), _bstr_t(), _bstr_t(), adConnectUnspecified);
            for (int i = 0; i < kErrors; ++i) {
                std::string sql = "select * from missing_" + std::to_string(t) + "_" + std::to_string(i);
                try {
                    connection->Execute(_bstr_t(sql), nullptr, adCmdText);
                } catch (const _com_error&) {
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::vector<DiagnosticRecord> records = collected.Records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kThreads * kErrors));
    for (const DiagnosticRecord& record : records) {
        EXPECT_EQ(record.hr, DB_E_NOTABLE);
        EXPECT_EQ(record.operation, "Execute");
        // "no such table: missing_1_7" and "select * from missing_1_7" name the same table.
        std::string table = record.sql.substr(record.sql.rfind(' ') + 1);
        EXPECT_NE(record.description.find(table), std::string::npos) << record.description << " / " << record.sql;
    }
}

// Outside any operation an error still arrives, without object or SQL; an error the
// handler itself raises is not reported again; replacing the handler returns the old one.
TEST(Diagnostics, HandlerContract) {
    int calls = 0;
    dbplatform::DiagnosticHandler first = [&](const DiagnosticRecord& record) {
        ++calls;
        EXPECT_EQ(record.hr, DISP_E_TYPEMISMATCH);
        EXPECT_TRUE(record.source.empty());
        EXPECT_TRUE(record.sql.empty());
        _com_error inner(E_OUTOFMEMORY);  // raised inside the handler: not reported
        (void)inner;
    };
    EXPECT_FALSE(dbplatform::SetDiagnosticHandler(first));
    { _com_error raised(DISP_E_TYPEMISMATCH, "Type mismatch."); }
    { _com_error success(S_FALSE); }
    EXPECT_EQ(calls, 1);
    dbplatform::DiagnosticHandler previous = dbplatform::SetDiagnosticHandler({});
    ASSERT_TRUE(previous);
    { _com_error raised(E_FAIL); }
    EXPECT_EQ(calls, 1);  // the channel is off again
}

// The innermost scope that names an object names the record, the innermost SQL is its
// SQL, and every secret of the enclosing scopes is blanked from description and SQL.
TEST(Diagnostics, ScopesNameTheWorkAndBlankSecrets) {
    struct Case {
        const char* name;
        const char* outerSql;
        const char* innerSource;
        const char* innerSql;
        const char* description;
        const char* source;
        const char* operation;
        const char* sql;
        const char* shownDescription;
    };
    const Case cases[] = {
        {"inner names all", "select 1", "ADODB.Connection", "Provider=X;Pwd={p;w}", "login for s3cret failed",
         "ADODB.Connection", "Open", "Provider=X;Pwd=***", "login for *** failed"},
        {"outer names, inner adds nothing", "select s3cret from t", nullptr, "", "no column s3cret",
         "ADODB.Recordset", "Fetch", "select *** from t", "no column ***"},
        {"no SQL anywhere", "", nullptr, "", "Password='a;b' refused", "ADODB.Recordset", "Fetch", "",
         "Password=*** refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Collected collected;
        {
            dbplatform::DiagnosticScope outer("ADODB.Recordset", "Fetch", c.outerSql);
            dbplatform::DiagnosticScope inner(c.innerSource, "Open", c.innerSql, "s3cret");
            _com_error raised(E_FAIL, c.description);
        }
        { _com_error after(E_FAIL); }  // outside every scope again
        std::vector<DiagnosticRecord> records = collected.Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].source, c.source);
        EXPECT_EQ(records[0].operation, c.operation);
        EXPECT_EQ(records[0].sql, c.sql);
        EXPECT_EQ(records[0].description, c.shownDescription);
        EXPECT_EQ(records[0].message, "Unspecified error");
        EXPECT_TRUE(records[1].source.empty());
        EXPECT_TRUE(records[1].sql.empty());
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the child program with DBPLATFORM_LOG set to `log` (unset when null); returns
// its exit status, with its standard error in `stderrText`.
int RunChild(const char* log, std::string* stderrText) {
    std::string errors = testdb::TempSqliteFile("diagnostics_child_stderr");
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (std::string(*entry).rfind("DBPLATFORM_LOG=", 0) != 0) environment.emplace_back(*entry);
    if (log) environment.push_back(std::string("DBPLATFORM_LOG=") + log);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = DIAGNOSTICS_LOG_CHILD;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    *stderrText = ReadAll(errors);
    std::filesystem::remove(errors);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// DBPLATFORM_LOG=<file> appends one line per error (a failed Open, a missing table);
// unset writes nothing; a destination that cannot be opened is named on stderr and the
// program goes on.
TEST(DiagnosticsLog, EnvironmentVariableDirectsLinesToAFile) {
    const std::string log = testdb::TempSqliteFile("diagnostics_log") + ".log";
    struct Case {
        const char* name;
        const char* value;
        std::size_t lines;
        const char* onStderr;
    };
    const Case cases[] = {
        {"file", log.c_str(), 2, ""},
        {"unset", nullptr, 0, ""},
        {"unopenable", "/nonexistent-dir/h5/log", 0, "DBPLATFORM_LOG: cannot open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(log);
        std::string stderrText;
        ASSERT_EQ(RunChild(c.value, &stderrText), 0) << stderrText;
        EXPECT_NE(stderrText.find(c.onStderr), std::string::npos) << stderrText;
        std::string text = ReadAll(log);
        std::vector<std::string> lines;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        ASSERT_EQ(lines.size(), c.lines) << text;
        if (c.lines == 0) continue;
        EXPECT_NE(lines[0].find("0x80004005"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("operation=Open"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("does not exist"), std::string::npos) << lines[0];
        EXPECT_EQ(lines[0].find("child_secret"), std::string::npos) << lines[0];
        EXPECT_NE(lines[1].find("0x80040E37"), std::string::npos) << lines[1];
        EXPECT_NE(lines[1].find("description=\"no such table: missing_table\""), std::string::npos) << lines[1];
        EXPECT_NE(lines[1].find("sql=\"select *\\nfrom missing_table\""), std::string::npos) << lines[1];
    }
    std::filesystem::remove(log);
}

}  // namespace
