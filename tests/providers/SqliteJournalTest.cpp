// An open recordset does not block other writers: a database the SQLite provider
// creates uses write-ahead logging, so while one process holds a static recordset read
// part way, another process writes and commits at once. A file that existed before
// keeps the journal mode its owner chose, and there the half-read recordset does block.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <dbplatform/dbplatform.h>

#include "TestDatabases.h"

namespace {

using testdb::Target;

// Runs `command`, returns its first line of output and its exit status.
std::string Output(const std::string& command, int* status = nullptr) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string line;
    if (pipe) {
        char buffer[4096];
        if (std::fgets(buffer, sizeof buffer, pipe)) line = buffer;
        while (std::fgets(buffer, sizeof buffer, pipe)) {
        }
        int rc = pclose(pipe);
        if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The journal mode stored in the file, asked of the sqlite3 command (not the code under test).
std::string JournalMode(const std::string& file) {
    return Output("sqlite3 " + Quoted(file) + " 'PRAGMA journal_mode' 2>&1");
}

// What the file is before the reading process opens it.
enum class Before { Missing, Empty, OwnerChoseDelete, OwnerChoseWal, CreatedByProvider };

void Prepare(Before before, const std::string& file) {
    std::filesystem::remove(file);
    std::filesystem::remove(file + "-wal");
    std::filesystem::remove(file + "-shm");
    switch (before) {
        case Before::Missing: break;
        case Before::Empty: std::ofstream{file}; break;
        case Before::OwnerChoseDelete:
            Output("sqlite3 " + Quoted(file) + " 'PRAGMA journal_mode=DELETE; CREATE TABLE owner(x)'");
            break;
        case Before::OwnerChoseWal:
            Output("sqlite3 " + Quoted(file) + " 'PRAGMA journal_mode=WAL; CREATE TABLE owner(x)'");
            break;
        case Before::CreatedByProvider: {
            _ConnectionPtr creator;
            ASSERT_EQ(creator.CreateInstance("ADODB.Connection"), S_OK);
            creator->Open(_bstr_t(testdb::ConnectionString(Target::SqliteNative, file).c_str()), _bstr_t(""),
                          _bstr_t(""), adConnectUnspecified);
            creator->Close();
            break;
        }
    }
}

// Opens `connectionString` (the reader), fills a table, holds a static recordset read
// part way, and lets a writer in another process insert and commit one row.
void RunCase(const char* mode, bool writerCommits, const std::string& connectionString, const std::string& file) {
    _ConnectionPtr reader;
    ASSERT_EQ(reader.CreateInstance("ADODB.Connection"), S_OK);
    reader->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
    Output("sqlite3 " + Quoted(file) + " " +
           Quoted("CREATE TABLE IF NOT EXISTS charges (id INTEGER, note TEXT); WITH RECURSIVE n(i) AS (SELECT 1 "
                  "UNION ALL SELECT i + 1 FROM n WHERE i < 3000) INSERT INTO charges SELECT i, 'row ' || i FROM n;"));
    EXPECT_EQ(JournalMode(file), mode);

    _RecordsetPtr rows;
    ASSERT_EQ(rows.CreateInstance("ADODB.Recordset"), S_OK);
    rows->Open(_variant_t("SELECT id, note FROM charges ORDER BY id"), _variant_t(static_cast<IDispatch*>(reader), true),
               adOpenStatic, adLockOptimistic, adCmdText);
    for (int i = 0; i < 3; ++i) rows->MoveNext();
    EXPECT_EQ(static_cast<long>(rows->GetCollect(_variant_t("id"))), 4);

    int status = -1;
    std::string answer = Output(std::string(SQLITE_WRITER_PROCESS) + " " +
                                    Quoted(testdb::ConnectionString(Target::SqliteNative, file)) + " 1 " +
                                    Quoted("INSERT INTO charges VALUES (9999, 'from another process')"),
                                &status);
    if (writerCommits) {
        ASSERT_EQ(status, 0) << answer;
        EXPECT_LT(std::atol(answer.c_str() + 3), 500) << answer;  // no wait for the reader
        EXPECT_EQ(Output("sqlite3 " + Quoted(file) + " 'SELECT note FROM charges WHERE id = 9999'"),
                  "from another process");
    } else {
        EXPECT_EQ(status, 1) << answer;
        EXPECT_NE(answer.find("locked"), std::string::npos) << answer;
    }

    // The recordset reads on to its end, undisturbed.
    long count = 4;
    for (rows->MoveNext(); rows->GetadoEOF() == VARIANT_FALSE; rows->MoveNext()) ++count;
    EXPECT_EQ(count, 3000);
    rows->Close();
    reader->Close();
}

class SqliteJournal : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(SqliteJournal, HalfReadRecordsetAndAWriterInAnotherProcess) {
    struct Case {
        const char* name;
        Before before;
        Target reader;
        const char* mode;      // journal mode of the file once the reader has opened it
        bool writerCommits;    // at once; otherwise it fails when its busy timeout runs out
    } cases[] = {
        {"Create=True on a new file", Before::Missing, Target::SqliteNative, "wal", true},
        {"Create=True on an empty file", Before::Empty, Target::SqliteNative, "wal", true},
        {"created by the provider, read through ODBC", Before::CreatedByProvider, Target::SqliteOdbc, "wal", true},
        {"Create=True on a file whose owner chose WAL", Before::OwnerChoseWal, Target::SqliteNative, "wal", true},
        {"Create=True on a file whose owner chose DELETE", Before::OwnerChoseDelete, Target::SqliteNative, "delete",
         false},
    };
    const std::string file = testdb::TempSqliteFile("journal");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string connectionString = testdb::ConnectionString(c.reader, file);
        TESTDB_REQUIRE(connectionString, c.reader);
        Prepare(c.before, file);
        try {
            RunCase(c.mode, c.writerCommits, connectionString, file);
        } catch (const _com_error& error) {
            ADD_FAILURE() << static_cast<const char*>(error.Description());
        }
    }
    std::filesystem::remove(file);
    std::filesystem::remove(file + "-wal");
    std::filesystem::remove(file + "-shm");
}

}  // namespace
