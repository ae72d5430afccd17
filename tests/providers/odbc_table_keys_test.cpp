// Key columns kept by the ODBC session across statements: they must follow every change
// of a table's definition, made by this session or another connection, committed or
// rolled back, as if they were read afresh for every statement.
#include <sqlite3.h>

#include <filesystem>

#include <dbplatform/providers/odbc/OdbcTableKeys.h>

#include "odbc_test_support.h"

namespace {

using namespace providertest;
using dbplatform::provider::odbc::TableKeyCache;
using testdb::Target;

TEST(TableKeyCache, StatementsThatMayChangeKeysOrUndoAChange) {
    struct Case {
        const char* sql;
        bool mayChange;
    };
    const Case cases[] = {
        {"SELECT * FROM t", false},      {"  select a from t", false},  {"INSERT INTO t VALUES (1)", false},
        {"update t set a = 1", false},   {"DELETE FROM t", false},      {"BEGIN IMMEDIATE", false},
        {"COMMIT", false},               {"END", false},                {"CREATE UNIQUE INDEX k ON t (a)", true},
        {"DROP INDEX k", true},          {"ALTER TABLE t ADD b", true}, {"ROLLBACK", true},
        {"rollback to point", true},     {"SAVEPOINT point", true},     {"PRAGMA writable_schema = 1", true},
        {"/* x */ SELECT 1", true},      {"SELECTED", true},            {"", true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.mayChange, TableKeyCache::MayChangeSchema(c.sql)) << c.sql;
}

class SqliteOdbcTableKeys : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("odbc_table_keys");
        std::string connectionString = testdb::ConnectionString(Target::SqliteOdbc, file_);
        TESTDB_REQUIRE(connectionString, Target::SqliteOdbc);
        session_ = OpenSession(connectionString);
        Exec(*session_, "CREATE TABLE t (a INTEGER, b INTEGER)");
    }
    void TearDown() override {
        session_.reset();
        std::filesystem::remove(file_);
    }
    // The key columns an updatable read of t reports, joined by ','.
    std::string Keys() {
        CommandResult result = session_->Execute("SELECT a, b FROM t", ExecuteOptions{true});
        std::string keys;
        for (const ColumnInfo& column : result.rows->Columns())
            if (column.key) keys += (keys.empty() ? "" : ",") + column.name;
        return keys;
    }
    // Runs `sql` on a connection of its own, past the driver.
    void OtherConnection(const std::string& sql) { ExecuteOnOwnConnection(file_, sql); }
    static std::string Redefine(const char* key) {
        return std::string("DROP TABLE t; CREATE TABLE t (a INTEGER") + (key[0] == 'a' ? " PRIMARY KEY" : "") +
               ", b INTEGER" + (key[0] == 'b' ? " PRIMARY KEY" : "") + ")";
    }
    std::string file_;
    std::unique_ptr<Session> session_;
};

TEST_F(SqliteOdbcTableKeys, FollowDefinitionsChangedByAnotherConnection) {
    EXPECT_EQ("", Keys());
    EXPECT_EQ("", Keys());  // kept
    for (const char* key : {"a", "b", ""}) {
        OtherConnection(Redefine(key));
        EXPECT_EQ(key, Keys()) << "after the other connection made " << (key[0] ? key : "no column") << " the key";
    }
}

TEST_F(SqliteOdbcTableKeys, FollowDefinitionsChangedAndRolledBackHere) {
    // Rolled back, the first change takes the schema version back with it; the second
    // reaches the same version number with another key, and is read with no read of the
    // keys between: only forgetting them at the rollback tells the two apart.
    struct Case {
        const char* name;
        bool statements;  // BEGIN and ROLLBACK as statements, else the session's transaction calls
    };
    for (const Case& c : {Case{"statements", true}, Case{"transaction calls", false}}) {
        auto begin = [&] { c.statements ? Exec(*session_, "BEGIN") : session_->BeginTransaction(); };
        auto rollback = [&] { c.statements ? Exec(*session_, "ROLLBACK") : session_->RollbackTransaction(); };
        begin();
        Exec(*session_, "DROP TABLE t");
        Exec(*session_, "CREATE TABLE t (a INTEGER PRIMARY KEY, b INTEGER)");
        EXPECT_EQ("a", Keys()) << c.name;
        rollback();
        begin();
        Exec(*session_, "DROP TABLE t");
        Exec(*session_, "CREATE TABLE t (a INTEGER, b INTEGER PRIMARY KEY)");
        EXPECT_EQ("b", Keys()) << c.name;
        rollback();
        EXPECT_EQ("", Keys()) << c.name;
    }
}

}  // namespace
