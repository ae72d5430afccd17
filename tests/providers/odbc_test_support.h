// Opening provider sessions straight from a connection string, below the ADO objects, for
// the provider tests.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/com/ComError.h>

#include "TestDatabases.h"

namespace providertest {

using namespace dbplatform::provider;

inline OpenRequest RequestFor(const std::string& connectionString) {
    OpenRequest request;
    std::string error;
    EXPECT_EQ(S_OK, dbplatform::ado::ConnectionString::Parse(connectionString, &request.properties, &error)) << error;
    request.userId = request.properties.Get("User ID").value_or("");
    request.password = request.properties.Get("Password").value_or("");
    return request;
}

inline std::unique_ptr<Session> OpenSession(const std::string& connectionString) {
    OpenRequest request = RequestFor(connectionString);
    ProviderFactory factory = FindProvider(request.properties.Get("Provider").value_or(""));
    if (!factory) throw _com_error(E_FAIL, "no provider");
    return factory(request);
}

// Runs a statement that has no rows.
inline void Exec(Session& session, const std::string& sql) { session.Execute(sql, ExecuteOptions{}); }

// All rows of a query, each cell as an owned value.
inline std::vector<std::vector<Value>> Rows(Session& session, const std::string& sql, bool forUpdate = false) {
    CommandResult result = session.Execute(sql, ExecuteOptions{forUpdate});
    std::vector<std::vector<Value>> rows;
    if (!result.rows) return rows;
    while (result.rows->Fetch()) {
        std::vector<Value> row;
        for (std::size_t c = 0; c < result.rows->Columns().size(); ++c) row.push_back(Value::FromCell(result.rows->Cell(c)));
        rows.push_back(std::move(row));
    }
    return rows;
}

// A provider session on the target the test is run for, a table name of the test's own
// (dropped at the end) and, for the SQLite targets, a fresh file named after `stem`.
class TargetSessionTest : public ::testing::TestWithParam<testdb::Target> {
protected:
    explicit TargetSessionTest(const char* stem) : stem_(stem) {}
    void SetUp() override {
        file_ = testdb::TempSqliteFile(stem_);
        std::string connectionString = testdb::ConnectionString(GetParam(), file_);
        TESTDB_REQUIRE(connectionString, GetParam());
        session_ = OpenSession(connectionString);
        table_ = testdb::UniqueName(stem_);
    }
    void TearDown() override {
        if (session_) Exec(*session_, "DROP TABLE IF EXISTS " + table_);
        session_.reset();
        std::filesystem::remove(file_);
    }

    const char* stem_;
    std::string file_;
    std::string table_;
    std::unique_ptr<Session> session_;
};

// The HRESULT that `action` fails with (S_OK when it does not fail), and its description.
template <typename Action>
HRESULT FailureOf(Action action, std::string* description = nullptr) {
    try {
        action();
    } catch (const _com_error& error) {
        if (description) *description = static_cast<const char*>(error.Description());
        return error.Error();
    }
    return S_OK;
}

// Runs `sql` on a connection of its own to the SQLite file `file`, past the driver, as
// another client of the same database would. It waits up to `busyTimeoutMs` for a lock;
// 0 fails at once, to show that nobody holds one.
inline void ExecuteOnOwnConnection(const std::string& file, const std::string& sql, int busyTimeoutMs = 5000) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &db));
    sqlite3_busy_timeout(db, busyTimeoutMs);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

inline Value Text(const std::string& text) { return Value{ValueKind::Text, 0, 0, text}; }
inline Value Integer(std::int64_t n) { return Value{ValueKind::Integer, n, 0, {}}; }

}  // namespace providertest
