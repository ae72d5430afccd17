// Queries whose texts become parameters so that the SQLite driver keeps them prepared:
// the rewriting itself (only values in a WHERE clause, never a name or a second
// statement), the same rows as the engine gives for the query as written, whatever the
// columns' affinities, and a kept statement that neither outlives its table's definition
// nor holds a lock.
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <dbplatform/providers/common/TextParameters.h>

#include "odbc_test_support.h"

namespace {

using namespace providertest;
using dbplatform::provider::TextsAsParameters;
using testdb::Target;

TEST(TextsAsParameters, OnlyValuesInTheWhereClauseOfOnePlainSelect) {
    struct Case {
        const char* sql;
        const char* rewritten;  // "" = left as it is
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"SELECT * FROM t WHERE a = 'x'", "SELECT * FROM t WHERE a = ?", {"x"}},
        {"select * from t where a='x'", "select * from t where a=?", {"x"}},
        {"SELECT 'lit' FROM t WHERE a = 'it''s' AND b LIKE 'a%'", "SELECT 'lit' FROM t WHERE a = ? AND b LIKE ?",
         {"it's", "a%"}},
        {"SELECT * FROM t WHERE a IN ('p', 'q') OR b BETWEEN 'c' AND 'd'",
         "SELECT * FROM t WHERE a IN (?, ?) OR b BETWEEN ? AND ?", {"p", "q", "c", "d"}},
        {"SELECT * FROM t WHERE CASE WHEN a = 'x' THEN 'y' ELSE 'z' END = 'w'",
         "SELECT * FROM t WHERE CASE WHEN a = ? THEN ? ELSE ? END = ?", {"x", "y", "z", "w"}},
        {"SELECT * FROM t WHERE a IS NOT 'x' AND NOT b = ''", "SELECT * FROM t WHERE a IS NOT ? AND NOT b = ?", {"x", ""}},
        {"SELECT * FROM t WHERE a = 'x' COLLATE 'nocase'", "SELECT * FROM t WHERE a = ? COLLATE 'nocase'", {"x"}},
        {"SELECT * FROM t WHERE a = 'x' ORDER BY 'y'", "SELECT * FROM t WHERE a = ? ORDER BY 'y'", {"x"}},
        {"SELECT * FROM t WHERE a = 'x' GROUP BY a HAVING max(b) > 'q'",
         "SELECT * FROM t WHERE a = ? GROUP BY a HAVING max(b) > 'q'", {"x"}},
        {"SELECT * FROM t WHERE a IN (SELECT b FROM u WHERE c = 'y')",
         "SELECT * FROM t WHERE a IN (SELECT b FROM u WHERE c = ?)", {"y"}},
        {"SELECT * FROM t JOIN u ON t.a = 'x' WHERE b = 'y'", "SELECT * FROM t JOIN u ON t.a = 'x' WHERE b = ?", {"y"}},
        {"SELECT * FROM t WHERE a = -- 'c'\n 'x' /* 'd' */", "SELECT * FROM t WHERE a = -- 'c'\n ? /* 'd' */", {"x"}},
        {"SELECT * FROM t WHERE a = '\xC3\xA9\xE2\x82\xAC'", "SELECT * FROM t WHERE a = ?", {"\xC3\xA9\xE2\x82\xAC"}},
        // A backslash is an ordinary byte inside quotes; a ';' or comment marker inside a text
        // is part of the value.
        {"SELECT * FROM t WHERE a = 'x\\' AND b = 'y'", "SELECT * FROM t WHERE a = ? AND b = ?", {"x\\", "y"}},
        {"SELECT * FROM t WHERE a = '; DROP TABLE t --' OR b = '/*'", "SELECT * FROM t WHERE a = ? OR b = ?",
         {"; DROP TABLE t --", "/*"}},
        // Names SQLite may read from a quoted text, and values it reads otherwise.
        {"SELECT * FROM t WHERE a IN 'tbl'", "", {}},
        {"SELECT * FROM t WHERE 't'.a = 1", "", {}},
        {"SELECT * FROM t WHERE a = CAST(b AS 'TEXT')", "", {}},
        {"SELECT * FROM t WHERE a = X'00'", "", {}},
        {"SELECT * FROM t WHERE a = \"x\"", "", {}},
        {"SELECT * FROM t WHERE a = 12", "", {}},
        {"SELECT * FROM (SELECT * FROM t WHERE a = 'x')", "", {}},
        // Anything but one plain select.
        {"SELECT * FROM t WHERE a = 'x'; DROP TABLE t", "", {}},
        {"SELECT * FROM t WHERE a = 'x';", "", {}},
        {"SELECT * FROM t WHERE a = ? AND b = 'x'", "", {}},
        {"SELECT * FROM t WHERE a = :k AND b = 'x'", "", {}},
        {"SELECT * FROM t WHERE a = 'x' UNION SELECT * FROM u", "", {}},
        {"SELECT * FROM t WHERE a = 'unterminated", "", {}},
        {"SELECT * FROM t WHERE a = 'x' AND b = 'it''", "", {}},
        {"SELECT * FROM t WHERE (a = 'x'))", "", {}},
        {"UPDATE t SET a = 'x' WHERE b = 'y'", "", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        const auto result = TextsAsParameters(c.sql);
        EXPECT_EQ(c.rewritten, result.sql) << c.sql;
        EXPECT_EQ(c.values, result.values) << c.sql;
    }
    // A NUL inside a text stays in its value, and the text around it is kept whole.
    const std::string withNul("SELECT * FROM t WHERE a = 'x\0y' AND b = 1", 41);
    const auto nul = TextsAsParameters(withNul);
    EXPECT_EQ(std::vector<std::string>{std::string("x\0y", 3)}, nul.values);
    EXPECT_EQ("SELECT * FROM t WHERE a = ? AND b = 1", nul.sql);
    // A long IN list stays as written: the engine limits a statement's parameters, not its texts.
    for (std::size_t count : {dbplatform::provider::kMostTextParameters, dbplatform::provider::kMostTextParameters + 1}) {
        std::string sql = "SELECT * FROM t WHERE a IN ('0'";
        for (std::size_t n = 1; n < count; ++n) sql += ", '" + std::to_string(n) + "'";
        EXPECT_EQ(count <= dbplatform::provider::kMostTextParameters ? count : 0, TextsAsParameters(sql + ")").values.size())
            << count << " texts";
    }
}

// A value as these tests compare it.
std::string Shown(const Value& value) {
    switch (value.kind) {
        case ValueKind::Integer: return "int " + std::to_string(value.integer);
        case ValueKind::Double: return "real " + std::to_string(value.real);
        case ValueKind::Text: return "text '" + value.bytes + "'";
        default: return "kind " + std::to_string(static_cast<int>(value.kind));
    }
}

class SqliteOdbcKeptQueries : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("odbc_kept_queries");
        const std::string connectionString = testdb::ConnectionString(Target::SqliteOdbc, file_);
        TESTDB_REQUIRE(connectionString, Target::SqliteOdbc);
        session_ = OpenSession(connectionString);
    }
    void TearDown() override {
        session_.reset();
        std::filesystem::remove(file_);
    }
    // The first column of every row of `sql` as the engine itself answers it, past the driver.
    std::string EngineIds(const std::string& sql) {
        sqlite3* db = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open(file_.c_str(), &db));
        std::string ids;
        sqlite3_exec(
            db, sql.c_str(),
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) += std::string(values[0] ? values[0] : "NULL") + ";";
                return 0;
            },
            &ids, nullptr);
        sqlite3_close(db);
        return ids;
    }
    std::string SessionIds(const std::string& sql) {
        std::string ids;
        for (const auto& row : Rows(*session_, sql)) ids += std::to_string(row[0].integer) + ";";
        return ids;
    }

    std::string file_;
    std::unique_ptr<Session> session_;
};

// Every column affinity against texts that read as numbers, dates, quotes and nothing:
// a bound text must select exactly the rows the text written in the query selects, on
// the first run and on the kept statement's later runs.
TEST_F(SqliteOdbcKeptQueries, TextsAsParametersSelectWhatTheEngineSelects) {
    ExecuteOnOwnConnection(file_,
                           "CREATE TABLE t (id INTEGER, n NUMERIC, r REAL, i INTEGER, s TEXT, d DATETIME, u);"
                           "INSERT INTO t VALUES (1, '0123', '0123', '0123', '0123', '0123', '0123');"
                           "INSERT INTO t VALUES (2, 123, 123, 123, '123', 123, 123);"
                           "INSERT INTO t VALUES (3, '2.5', 2.5, '2.5', '2.5', '2.5', '2.5');"
                           "INSERT INTO t VALUES (4, 'it''s', 'X', 'it''s', '\xC3\xA9\xE2\x82\xAC', "
                           "'2026-01-05 04:06:00', 'x');"
                           "INSERT INTO t VALUES (5, NULL, NULL, NULL, NULL, NULL, NULL);"
                           "INSERT INTO t VALUES (6, '', '', '', '', '', '');");
    const char* const conditions[] = {
        "n = '123'", "n = '0123'", "r = '123'", "r = '2.5'", "i = '123'", "i = '0123'", "s = '123'", "s = '0123'",
        "u = '123'", "u = '0123'", "d = '2026-01-05 04:06:00'", "d > '2026-01-01'", "d < '2'", "s = ''", "u = ''",
        "s LIKE 'it''%'", "n LIKE 'IT%'", "s GLOB '*\xE2\x82\xAC'", "s IN ('123', '2.5')", "i BETWEEN '100' AND '200'",
        "s IS 'x'", "u IS NOT 'x'", "CASE WHEN s = '123' THEN 'a' ELSE 'b' END = 'a'", "u IN (SELECT s FROM t WHERE s = '123')",
        "s = 'X' COLLATE NOCASE", "r > '2' AND r < '3'", "n = '1.23e2'", "u = 'x' OR s = ''",
    };
    // Past the most texts that become parameters, the query runs as written (a statement
    // takes at most 65,535 parameters).
    std::string many = "s IN ('123'";
    for (int n = 0; n < 70000; ++n) many += ", 'v" + std::to_string(n) + "'";
    many += ")";
    for (const std::string& condition : std::vector<std::string>(std::begin(conditions), std::end(conditions))) {
        const std::string sql = "SELECT id FROM t WHERE " + condition + " ORDER BY id";
        ASSERT_FALSE(TextsAsParameters(sql).values.empty()) << sql;
        const std::string expected = EngineIds(sql);
        for (int run = 0; run < 2; ++run) EXPECT_EQ(expected, SessionIds(sql)) << sql << " (run " << run << ")";
    }
    const std::string sql = "SELECT id FROM t WHERE " + many + " ORDER BY id";
    EXPECT_EQ("2;", EngineIds(sql));
    EXPECT_EQ("2;", SessionIds(sql));
}

// A query reads a table as it is now, after another connection recreated it or this one
// changed it: the driver prepares against the engine's copy of the schema, and a kept
// statement was prepared for the table it was first run on.
TEST_F(SqliteOdbcKeptQueries, FollowTheTableAsItIsNow) {
    Exec(*session_, "CREATE TABLE t (a INTEGER, s TEXT)");
    Exec(*session_, "INSERT INTO t VALUES (1, 'k')");
    // Every column's name, then every value of the one row.
    auto shape = [&](const std::string& sql) {
        CommandResult result = session_->Execute(sql, ExecuteOptions{});
        std::string text;
        for (const ColumnInfo& column : result.rows->Columns()) text += column.name + ",";
        text += ":";
        while (result.rows->Fetch())
            for (std::size_t c = 0; c < result.rows->Columns().size(); ++c)
                text += Shown(Value::FromCell(result.rows->Cell(c))) + ",";
        return text;
    };
    struct Step {
        const char* what;
        std::function<void()> change;
        const char* expected;
    };
    const Step steps[] = {
        {"first", [] {}, "a,s,:int 1,text 'k',"},
        {"again", [] {}, "a,s,:int 1,text 'k',"},
        {"recreated by another connection",
         [&] {
             ExecuteOnOwnConnection(file_, "DROP TABLE t; CREATE TABLE t (z TEXT, s TEXT, w INTEGER);"
                                           "INSERT INTO t VALUES ('q', 'k', 7)");
         },
         "z,s,w,:text 'q',text 'k',int 7,"},
        {"column added here", [&] { Exec(*session_, "ALTER TABLE t ADD COLUMN v REAL DEFAULT 2.5"); },
         "z,s,w,v,:text 'q',text 'k',int 7,real 2.500000,"},
        {"column dropped by another connection", [&] { ExecuteOnOwnConnection(file_, "ALTER TABLE t DROP COLUMN z"); },
         "s,w,v,:text 'k',int 7,real 2.500000,"},
    };
    // The first query is kept prepared (its text becomes a parameter), the second not.
    for (const char* sql : {"SELECT * FROM t WHERE s = 'k'", "SELECT * FROM t"}) {
        ExecuteOnOwnConnection(file_, "DROP TABLE t; CREATE TABLE t (a INTEGER, s TEXT); INSERT INTO t VALUES (1, 'k')");
        for (const Step& step : steps) {
            step.change();
            EXPECT_EQ(step.expected, shape(sql)) << sql << ": " << step.what;
        }
    }
}

// A query left before its last row goes with its statement: the lock it read under is
// gone at once, and another connection writes without waiting.
TEST_F(SqliteOdbcKeptQueries, QueryLeftEarlyHoldsNoLock) {
    ExecuteOnOwnConnection(file_, "PRAGMA journal_mode = DELETE; CREATE TABLE t (a INTEGER, s TEXT);"
                                  "INSERT INTO t VALUES (1, 'k'), (2, 'k'), (3, 'k')");
    for (int rowsRead : {0, 1, 3}) {
        {
            CommandResult result = session_->Execute("SELECT a FROM t WHERE s = 'k'", ExecuteOptions{});
            for (int row = 0; row < rowsRead; ++row) ASSERT_TRUE(result.rows->Fetch());
        }
        SCOPED_TRACE(std::to_string(rowsRead) + " rows read");
        ExecuteOnOwnConnection(file_, "INSERT INTO t VALUES (9, 'other')", 0);
    }
}

}  // namespace
