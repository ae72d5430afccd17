// The row the SQLite ODBC session reads back after an insert: after the first insert into
// a table it reads the values bare, with the description kept from that first read. Every
// value must come back exactly as the full read-back gives it, for every declared
// type and every kind of value SQLite may hold in it, and the kept description must follow
// every change of the table, made here or by another connection, committed or rolled back.
#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <filesystem>
#include <limits>

#include <dbplatform/providers/common/Identifiers.h>
#include <dbplatform/providers/odbc/OdbcInsertedRow.h>

#include "insert_row.h"
#include "odbc_test_support.h"

namespace {

using namespace providertest;
using testdb::Target;
using dbplatform::provider::odbc::SelectInsertedValuesStatement;

Value Real(double value) { return Value{ValueKind::Double, 0, value, {}}; }
Value Null() { return Value{}; }
Value Date(double value) { return Value{ValueKind::Date, 0, value, {}}; }

// A value as the tests compare it: its kind and the bits of what that kind holds.
std::string Shown(const Value& value) {
    switch (value.kind) {
        case ValueKind::Null: return "NULL";
        case ValueKind::Integer: return "int " + std::to_string(value.integer);
        case ValueKind::Boolean: return "bool " + std::to_string(value.integer);
        case ValueKind::Double:
        case ValueKind::Date: {
            char text[64];
            std::snprintf(text, sizeof text, "%s %.17g%s", value.kind == ValueKind::Double ? "real" : "date",
                          value.real, std::signbit(value.real) ? " (negative)" : "");
            return text;
        }
        case ValueKind::Text: return "text '" + value.bytes + "'";
        case ValueKind::Bytes: return "bytes " + std::to_string(value.bytes.size());
    }
    return "?";
}

// "name=value;" for each pair, in order.
std::string Shown(const std::vector<std::pair<std::string, Value>>& row) {
    std::string text;
    for (const auto& [name, value] : row) text += name + "=" + Shown(value) + ";";
    return text;
}

TEST(InsertedRowStatement, BareValuesOnlyWhereEveryColumnReadsAlike) {
    RowDialect dialect = RowDialectOf(Product::SQLite);
    dialect.quote = '"';
    struct Case {
        std::vector<std::string> names;  // after the row identity
        std::vector<ValueKind> kinds;
        const char* expected;
    };
    const Case cases[] = {
        {{"a", "B c"}, {ValueKind::Integer, ValueKind::Text},
         "SELECT rowid, +[a], +[B c] FROM \"t\" WHERE rowid = ?"},
        {{"a", "d"}, {ValueKind::Double, ValueKind::Date}, "SELECT rowid, +[a], +[d] FROM \"t\" WHERE rowid = ?"},
        {{"a", "blob"}, {ValueKind::Integer, ValueKind::Bytes}, ""},
        {{"t.a"}, {ValueKind::Integer}, ""},
        {{"a]"}, {ValueKind::Integer}, ""},
        {{""}, {ValueKind::Integer}, ""},
        {{}, {}, ""},
    };
    for (const Case& c : cases) {
        std::vector<ColumnInfo> columns(1);
        std::vector<ValueKind> kinds = {ValueKind::Integer};
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            ColumnInfo column;
            column.name = c.names[i];
            columns.push_back(column);
            kinds.push_back(c.kinds[i]);
        }
        EXPECT_EQ(c.expected, SelectInsertedValuesStatement(dialect, "t", columns, kinds))
            << (c.names.empty() ? "no columns" : c.names.back());
    }
}

class SqliteOdbcInsertedRow : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("odbc_inserted_row");
        std::string connectionString = testdb::ConnectionString(Target::SqliteOdbc, file_);
        TESTDB_REQUIRE(connectionString, Target::SqliteOdbc);
        // The driver keeps values differently with and without stepping the engine itself.
        const std::string stepApi = std::string(";StepAPI=") + GetParam();
        connectionString.replace(connectionString.find(";StepAPI=1"), 10, stepApi);
        session_ = OpenSession(connectionString);
    }
    void TearDown() override {
        session_.reset();
        std::filesystem::remove(file_);
    }
    // Inserts `writes` into t and returns the row as the session read it back, then the
    // same row as a plain query reads it, identity last in both.
    std::pair<std::string, std::string> Insert(const std::vector<ColumnWrite>& writes) {
        RowLocator stored;
        EXPECT_EQ(1, InsertRowInto(*session_, "t", writes, &stored));
        std::string identity;
        for (const auto& [name, value] : stored.columns)
            if (name == kRowIdentityName) identity = std::to_string(value.integer);
        CommandResult result = session_->Execute("SELECT rowid, * FROM t WHERE rowid = " + identity, ExecuteOptions{});
        std::vector<std::pair<std::string, Value>> plain;
        if (result.rows && result.rows->Fetch()) {
            const std::vector<ColumnInfo>& columns = result.rows->Columns();
            for (std::size_t c = 1; c < columns.size(); ++c)
                plain.emplace_back(columns[c].name, Value::FromCell(result.rows->Cell(c)));
            plain.emplace_back(kRowIdentityName, Value::FromCell(result.rows->Cell(0)));
        }
        return {Shown(stored.columns), Shown(plain)};
    }
    // Runs `sql` on a connection of its own, past the driver.
    void OtherConnection(const std::string& sql) { ExecuteOnOwnConnection(file_, sql); }

    std::string file_;
    std::unique_ptr<Session> session_;
};

TEST_P(SqliteOdbcInsertedRow, ValuesReadBareAsAPlainReadGivesThem) {
    // Every column declared with a type, so that the second read is a bare one.
    const char* const types[] = {"INTEGER", "REAL",    "DOUBLE", "NUMERIC", "NUMERIC(10,2)", "VARCHAR(20)", "TEXT",
                                 "DATETIME", "DATE",   "BOOLEAN", "BIGINT", "FLOAT",         "STRING"};
    std::string definition = "CREATE TABLE t (";
    for (std::size_t c = 0; c < std::size(types); ++c)
        definition += (c ? ", c" : "c") + std::to_string(c) + " " + types[c];
    // A name with a blank and one in another case than written below.
    Exec(*session_, definition + ", \"Odd Name\" DOUBLE, MixedCase INTEGER)");
    struct Case {
        const char* what;
        Value value;
        DataTypeEnum type;
    };
    const double kMax = std::numeric_limits<double>::max();
    const Case cases[] = {
        {"null", Null(), adVarWChar},
        {"small integer", Integer(42), adBigInt},
        {"large integer", Integer(9007199254740993), adBigInt},
        {"smallest integer", Integer(std::numeric_limits<std::int64_t>::min()), adBigInt},
        {"seventeen digits", Real(0.1 + 0.2), adDouble},
        {"third", Real(1.0 / 3), adDouble},
        {"whole real", Real(3.0), adDouble},
        {"negative zero", Real(-0.0), adDouble},
        {"large real", Real(1.2345678901234567e300), adDouble},
        {"largest real", Real(kMax), adDouble},
        {"tiny real", Real(1e-310), adDouble},
        {"infinity", Real(std::numeric_limits<double>::infinity()), adDouble},
        {"text", Text("plain"), adVarWChar},
        {"number text", Text("0123"), adVarWChar},
        {"real text", Text("2.50"), adVarWChar},
        {"empty text", Text(""), adVarWChar},
        {"unicode text", Text("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"), adVarWChar},
        {"date text", Text("2026-01-05 04:06:00"), adVarWChar},
        {"date", Date(46027.171), adDBTimeStamp},
    };
    for (const Case& c : cases) {
        std::vector<ColumnWrite> writes;
        // A date column holding what reads as no date fails the read either way.
        const bool dateLike = c.value.kind == ValueKind::Null || c.type == adDBTimeStamp || c.what == std::string("date text");
        for (std::size_t column = 0; column < std::size(types); ++column) {
            const bool dateColumn = std::strncmp(types[column], "DATE", 4) == 0;
            writes.push_back(ColumnWrite{"c" + std::to_string(column), c.type, dateColumn && !dateLike ? Null() : c.value, {}});
        }
        writes.push_back(ColumnWrite{"Odd Name", c.type, c.value, {}});
        writes.push_back(ColumnWrite{"mixedcase", c.type, c.value, {}});
        // The first insert reads the row the full way (a statement that may change a
        // definition forgets what was kept); the second, into the emptied table, bare.
        Exec(*session_, "PRAGMA user_version = 0");
        std::string read[2];
        for (int round = 0; round < 2; ++round) {
            std::string failure;
            EXPECT_EQ(S_OK, FailureOf([&] { read[round] = Insert(writes).first; }, &failure)) << c.what << ": " << failure;
            Exec(*session_, "DELETE FROM t");
        }
        EXPECT_EQ(read[0], read[1]) << c.what;
        EXPECT_NE("", read[0]) << c.what;
    }
}

// A column declared without a type is described from the values the driver holds: the
// row read back after one insert tells nothing of how the next will be described.
TEST_P(SqliteOdbcInsertedRow, ColumnsWithoutATypeReadAsAFreshReadGivesThem) {
    Exec(*session_, "CREATE TABLE t (a INTEGER, n, r REAL)");
    const Value values[] = {Text("abc"), Integer(7), Real(2.5), Null(), Text("8")};
    for (const Value& previous : values) {
        for (const Value& current : values) {
            auto insert = [&](const Value& value) {
                const std::vector<ColumnWrite> writes = {{"a", adBigInt, Integer(1), {}},
                                                         {"n", value.kind == ValueKind::Text ? adVarWChar : adDouble, value, {}},
                                                         {"r", adDouble, Real(1.5), {}}};
                std::string read;
                std::string failure;
                EXPECT_EQ(S_OK, FailureOf([&] { read = Insert(writes).first; }, &failure)) << failure;
                Exec(*session_, "DELETE FROM t");
                return read;
            };
            Exec(*session_, "PRAGMA user_version = 0");
            insert(previous);
            const std::string after = insert(current);
            Exec(*session_, "PRAGMA user_version = 0");
            EXPECT_EQ(insert(current), after) << Shown(previous) << " then " << Shown(current);
        }
    }
}

TEST_P(SqliteOdbcInsertedRow, FollowsEveryChangeOfTheTable) {
    Exec(*session_, "CREATE TABLE t (a INTEGER, b TEXT)");
    const std::vector<ColumnWrite> writes = {{"a", adBigInt, Integer(1), {}}};
    // Redefines t, inserts a row under the new definition, and rolls both back, with
    // statements or with the session's transaction calls.
    auto ChangeAndRollBack = [&](bool statements) {
        statements ? Exec(*session_, "BEGIN") : session_->BeginTransaction();
        Exec(*session_, "DROP TABLE t");
        Exec(*session_, "CREATE TABLE t (a INTEGER, y TEXT DEFAULT 'gone')");
        InsertRowInto(*session_, "t", writes, nullptr);
        statements ? Exec(*session_, "ROLLBACK") : session_->RollbackTransaction();
    };
    struct Step {
        const char* what;
        std::function<void()> change;  // made before the insert
        const char* expected;
    };
    const Step steps[] = {
        {"first", [] {}, "a=int 1;b=NULL;row_identity_=int 1;"},
        {"kept", [] {}, "a=int 1;b=NULL;row_identity_=int 2;"},
        {"column added here", [&] { Exec(*session_, "ALTER TABLE t ADD c TEXT DEFAULT 'x'"); },
         "a=int 1;b=NULL;c=text 'x';row_identity_=int 3;"},
        {"recreated by another connection",
         [&] { OtherConnection("DROP TABLE t; CREATE TABLE t (z REAL DEFAULT 2.5, a INTEGER)"); },
         "z=real 2.5;a=int 1;row_identity_=int 1;"},
        {"default added by another connection",
         [&] { OtherConnection("DROP TABLE t; CREATE TABLE t (z REAL DEFAULT 7, a INTEGER, b TEXT DEFAULT 'd')"); },
         "z=real 7;a=int 1;b=text 'd';row_identity_=int 1;"},
        {"changed and rolled back here", [&] { ChangeAndRollBack(true); },
         "z=real 7;a=int 1;b=text 'd';row_identity_=int 2;"},
        {"changed and rolled back by the session's transaction", [&] { ChangeAndRollBack(false); },
         "z=real 7;a=int 1;b=text 'd';row_identity_=int 3;"},
        // Rolled back, the first change takes the schema version back with it; the second
        // reaches the same version number with other columns: only forgetting at the
        // rollback tells the two apart.
        {"changed, rolled back and changed alike",
         [&] {
             ChangeAndRollBack(true);
             Exec(*session_, "BEGIN");
             Exec(*session_, "DROP TABLE t");
             Exec(*session_, "CREATE TABLE t (a INTEGER, w TEXT DEFAULT 'new')");
         },
         "a=int 1;w=text 'new';row_identity_=int 1;"},
    };
    for (const Step& step : steps) {
        step.change();
        auto [stored, plain] = Insert(writes);
        EXPECT_EQ(step.expected, stored) << step.what;
        EXPECT_EQ(plain, stored) << step.what;
    }
    Exec(*session_, "ROLLBACK");
}

// The statement kept prepared for reading new rows back holds no lock between inserts:
// another connection writes (and checkpoints) at once, without waiting, in either journal
// mode.
TEST_P(SqliteOdbcInsertedRow, KeptReadBackHoldsNoLock) {
    const std::vector<ColumnWrite> writes = {{"a", adBigInt, Integer(1), {}}};
    for (const char* journal : {"DELETE", "WAL"}) {
        Exec(*session_, std::string("PRAGMA journal_mode = ") + journal);
        Exec(*session_, "DROP TABLE IF EXISTS t");
        Exec(*session_, "CREATE TABLE t (a INTEGER, b TEXT DEFAULT 'd')");
        // The first insert reads its row the full way, the later ones with the kept statement.
        for (int insert = 1; insert <= 3; ++insert) {
            RowLocator stored;
            EXPECT_EQ(1, InsertRowInto(*session_, "t", writes, &stored)) << journal;
            EXPECT_EQ("a=int 1;b=text 'd';row_identity_=int " + std::to_string(insert) + ";", Shown(stored.columns))
                << journal;
        }
        sqlite3* other = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(file_.c_str(), &other));
        char* error = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(other, "INSERT INTO t (a) VALUES (9)", nullptr, nullptr, &error))
            << journal << ": " << (error ? error : "");
        sqlite3_free(error);
        std::string busy;
        sqlite3_exec(
            other, "PRAGMA wal_checkpoint(TRUNCATE)",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] ? values[0] : "";
                return 0;
            },
            &busy, nullptr);
        EXPECT_EQ("0", busy) << journal;
        sqlite3_close(other);
    }
}

INSTANTIATE_TEST_SUITE_P(StepApi, SqliteOdbcInsertedRow, ::testing::Values("1", "0"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string("StepAPI") + info.param;
                         });

}  // namespace
