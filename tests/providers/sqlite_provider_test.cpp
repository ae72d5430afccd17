// The embedded SQLite provider through the narrow provider interface, on real files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/automation/DateTime.h>
#include <dbplatform/com/ComError.h>

#include "ComFailure.h"
#include "TestDatabases.h"
#include "insert_row.h"

namespace {

using namespace dbplatform;
using provider::CellView;
using provider::ColumnInfo;
using provider::ColumnWrite;
using provider::ExecuteOptions;
using provider::RowLocator;
using provider::Session;
using provider::Value;
using provider::ValueKind;

std::unique_ptr<Session> OpenSession(const std::string& connection, long timeoutSeconds = 15) {
    provider::OpenRequest request;
    std::string error;
    EXPECT_EQ(ado::ConnectionString::Parse(connection, &request.properties, &error), S_OK) << error;
    request.timeoutSeconds = timeoutSeconds;
    provider::ProviderFactory factory = provider::FindProvider("SQLite");
    if (!factory) throw std::runtime_error("the SQLite provider is not registered");
    return factory(request);
}

using testcom::Failure;
using testcom::FailureOf;

Value Int(std::int64_t value) { return Value{ValueKind::Integer, value, 0, {}}; }
Value Text(const std::string& value) { return Value{ValueKind::Text, 0, 0, value}; }

class SqliteProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = testdb::TempSqliteFile(std::string("sqlite_provider_") + info->name());
        session_ = OpenSession(Connection());
    }
    void TearDown() override {
        session_.reset();
        std::filesystem::remove(path_);
    }
    std::string Connection() const { return "Provider=SQLite;Data Source=" + path_ + ";Create=True"; }

    void Run(const std::string& sql) { session_->Execute(sql, ExecuteOptions{}); }

    // Every row of a query, cells owned.
    std::vector<std::vector<Value>> Rows(Session& session, const std::string& sql, bool forUpdate = false,
                                         std::vector<ColumnInfo>* columns = nullptr) {
        provider::CommandResult result = session.Execute(sql, ExecuteOptions{forUpdate});
        EXPECT_TRUE(result.rows) << sql;
        std::vector<std::vector<Value>> rows;
        if (!result.rows) return rows;
        if (columns) *columns = result.rows->Columns();
        while (result.rows->Fetch()) {
            rows.emplace_back();
            for (std::size_t i = 0; i < result.rows->Columns().size(); ++i) {
                rows.back().push_back(Value::FromCell(result.rows->Cell(i)));
            }
        }
        return rows;
    }
    std::vector<std::vector<Value>> Rows(const std::string& sql) { return Rows(*session_, sql); }

    std::string path_;
    std::unique_ptr<Session> session_;
};

TEST_F(SqliteProviderTest, DeclaredTypesMapToAdoTypes) {
    Run("create table types (a INTEGER, b BIGINT, c REAL, d FLOAT4, e VARCHAR(20), f TEXT, g BLOB, h BOOLEAN,"
        " i BIT, j NUMERIC(10,2), k DATETIME, l DATE, m TIMESTAMP, n DOUBLE PRECISION, o SINGLE, p NVARCHAR(50),"
        " q IMAGE, r DECIMAL, s CLOB, t SMALLINT, u BYTEA)");
    struct Expected {
        const char* column;
        DataTypeEnum type;
        long definedSize;  // 0: not checked
    };
    const Expected expected[] = {
        {"a", adInteger, 4},       {"b", adBigInt, 8},         {"c", adDouble, 8},         {"d", adSingle, 4},
        {"e", adVarWChar, 20},     {"f", adVarWChar, 0},       {"g", adLongVarBinary, 0},  {"h", adBoolean, 2},
        {"i", adBoolean, 2},       {"j", adNumeric, 0},        {"k", adDBTimeStamp, 0},    {"l", adDBTimeStamp, 0},
        {"m", adDBTimeStamp, 0},   {"n", adDouble, 8},         {"o", adSingle, 4},         {"p", adVarWChar, 50},
        {"q", adLongVarBinary, 0}, {"r", adNumeric, 0},        {"s", adVarWChar, 0},       {"t", adInteger, 4},
        {"u", adLongVarBinary, 0},
    };
    provider::CommandResult result = session_->Execute("select * from types", ExecuteOptions{});
    ASSERT_TRUE(result.rows);
    const auto& columns = result.rows->Columns();
    ASSERT_EQ(columns.size(), std::size(expected));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].name, expected[i].column);
        EXPECT_EQ(columns[i].type, expected[i].type) << expected[i].column;
        if (expected[i].definedSize) {
            EXPECT_EQ(columns[i].definedSize, expected[i].definedSize) << expected[i].column;
        }
        EXPECT_EQ(columns[i].baseTable, "types");
    }
    EXPECT_FALSE(result.rows->Fetch());
}

TEST_F(SqliteProviderTest, UntypedColumnsTakeTheTypeOfTheirFirstValue) {
    Run("create table v (a INTEGER, c REAL); insert into v values (1, 2.5)");
    std::vector<ColumnInfo> columns;
    auto rows = Rows(*session_, "select count(*), max(c), 'x' || 'y', x'0001', sum(a) from v", false, &columns);
    ASSERT_EQ(columns.size(), 5u);
    const DataTypeEnum expected[] = {adInteger, adDouble, adVarWChar, adLongVarBinary, adInteger};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].type, expected[i]) << i;
        EXPECT_TRUE(columns[i].baseTable.empty());
    }
    ASSERT_EQ(rows.size(), 1u);  // the row read ahead for typing is still handed out
    EXPECT_EQ(rows[0][0].integer, 1);
    EXPECT_EQ(rows[0][1].real, 2.5);
    EXPECT_EQ(rows[0][2].bytes, "xy");
    EXPECT_EQ(rows[0][3].bytes, std::string("\0\1", 2));
}

TEST_F(SqliteProviderTest, CellsCarryTheColumnsMeaning) {
    Run("create table c (d DATETIME, b BOOLEAN, n NUMERIC, g BLOB, t TEXT)");
    Run("insert into c values ('2005-12-19 08:30:00', 5, 7, x'00ff', NULL)");
    Run("insert into c values ('2005/12/19 8:30', 0, 7.25, 'text in a blob column', 'x')");
    Run("insert into c values ('not a date', NULL, NULL, x'', '')");
    auto rows = Rows("select d, b, n, g, t from c order by rowid");
    ASSERT_EQ(rows.size(), 3u);
    DATE expectedDate = 0;
    ASSERT_EQ(DateFromText("2005-12-19 08:30:00", &expectedDate), S_OK);
    struct Expected {
        std::size_t row, column;
        ValueKind kind;
        double real;
        std::int64_t integer;
        std::string bytes;
    };
    const Expected expected[] = {
        {0, 0, ValueKind::Date, expectedDate, 0, ""},
        {0, 1, ValueKind::Boolean, 0, 1, ""},
        {0, 2, ValueKind::Double, 7, 0, ""},
        {0, 3, ValueKind::Bytes, 0, 0, std::string("\0\xff", 2)},
        {0, 4, ValueKind::Null, 0, 0, ""},
        {1, 0, ValueKind::Date, expectedDate, 0, ""},
        {1, 1, ValueKind::Boolean, 0, 0, ""},
        {1, 2, ValueKind::Double, 7.25, 0, ""},
        {1, 3, ValueKind::Bytes, 0, 0, "text in a blob column"},
        {1, 4, ValueKind::Text, 0, 0, "x"},
        // A stored value that is not a date stays readable as the text it is.
        {2, 0, ValueKind::Text, 0, 0, "not a date"},
        {2, 1, ValueKind::Null, 0, 0, ""},
        {2, 3, ValueKind::Bytes, 0, 0, ""},
        {2, 4, ValueKind::Text, 0, 0, ""},
    };
    for (const Expected& e : expected) {
        const Value& cell = rows[e.row][e.column];
        SCOPED_TRACE(testing::Message() << "row " << e.row << " column " << e.column);
        EXPECT_EQ(cell.kind, e.kind);
        if (e.kind == ValueKind::Date) {
            EXPECT_NEAR(cell.real, e.real, 1e-9);
        }
        if (e.kind == ValueKind::Double) {
            EXPECT_EQ(cell.real, e.real);
        }
        if (e.kind == ValueKind::Boolean) {
            EXPECT_EQ(cell.integer, e.integer);
        }
        if (e.kind == ValueKind::Text || e.kind == ValueKind::Bytes) {
            EXPECT_EQ(cell.bytes, e.bytes);
        }
    }
}

TEST_F(SqliteProviderTest, DatesBeforeTheEpochDayAndCanonicalReadsAgreeWithTheParser) {
    Run("create table d (d DATETIME)");
    const char* texts[] = {"1899-12-29 06:00:00", "1899-12-30 00:00:00", "1900-03-01 23:59:59", "2000-02-29 12:00:00",
                           "0100-01-01 00:00:00", "9999-12-31 23:59:59", "2001-02-29 00:00:00"};
    for (const char* text : texts) Run(std::string("insert into d values ('") + text + "')");
    auto rows = Rows("select d from d order by rowid");
    ASSERT_EQ(rows.size(), std::size(texts));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        DATE expected = 0;
        if (FAILED(DateFromText(texts[i], &expected))) {
            EXPECT_EQ(rows[i][0].kind, ValueKind::Text) << texts[i];
            continue;
        }
        ASSERT_EQ(rows[i][0].kind, ValueKind::Date) << texts[i];
        EXPECT_NEAR(rows[i][0].real, expected, 1e-9) << texts[i];
        EXPECT_EQ(TextFromDate(rows[i][0].real), texts[i]);
    }
}

TEST_F(SqliteProviderTest, GenericDialectReachesSqlite) {
    Run("create table g ([when] DATETIME, n INTEGER)");
    Run("insert into g values (#2005-12-19 08:30:00#, 1); insert into g values (#2005/12/20 8:30#, 2)");
    auto rows = Rows("select top 1 [n] from g where [when] >= #2005-12-19# order by n desc");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 2);
    rows = Rows("select typeof([when]), [when] from g where n = 2");
    EXPECT_EQ(rows[0][0].bytes, "text");
    EXPECT_EQ(rows[0][1].kind, ValueKind::Date);
    EXPECT_EQ(Rows("select n from g where n in (select top 1 n from g order by n)").size(), 1u);
}

TEST_F(SqliteProviderTest, StatementsWithoutRowsReportChanges) {
    Run("create table s (a INTEGER)");
    provider::CommandResult result = session_->Execute("insert into s values (1); insert into s values (2)", {});
    EXPECT_FALSE(result.rows);
    EXPECT_EQ(result.recordsAffected, 1);
    result = session_->Execute("update s set a = a + 10", {});
    EXPECT_EQ(result.recordsAffected, 2);
    result = session_->Execute("delete from s where a > 100", {});
    EXPECT_EQ(result.recordsAffected, 0);
    result = session_->Execute("create table s2 (a)", {});
    EXPECT_EQ(result.recordsAffected, -1);
    auto rows = Rows("create table s3 (a); insert into s3 values (7); select a from s3");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 7);
}

TEST_F(SqliteProviderTest, ErrorsMapToOleDbCodes) {
    Run("create table e (id INTEGER PRIMARY KEY, u TEXT UNIQUE NOT NULL); insert into e values (1, 'a')");
    struct Case {
        const char* sql;
        HRESULT hr;
        const char* description;  // a part of SQLite's message
    };
    const Case cases[] = {
        {"select * from missing_table", DB_E_NOTABLE, "no such table"},
        {"insert into missing_table values (1)", DB_E_NOTABLE, "missing_table"},
        {"selec 1", DB_E_ERRORSINCOMMAND, "syntax error"},
        {"select nosuchcolumn from e", DB_E_ERRORSINCOMMAND, "no such column"},
        {"insert into e values (2, 'a')", DB_E_INTEGRITYVIOLATION, "UNIQUE"},
        {"insert into e values (3, NULL)", DB_E_INTEGRITYVIOLATION, "NOT NULL"},
        {"insert into e values ('abc', 'b')", DB_E_CANTCONVERTVALUE, "mismatch"},
        {"select * from e where id = #not a date#", DB_E_ERRORSINCOMMAND, "syntax error"},
        {"delete from e where id = #x", DB_E_ERRORSINCOMMAND, "parameter"},
        {"delete from e where id = ?", DB_E_ERRORSINCOMMAND, "parameter"},
    };
    for (const Case& c : cases) {
        Failure failure = FailureOf([&] { session_->Execute(c.sql, {}); });
        EXPECT_EQ(failure.hr, c.hr) << c.sql;
        EXPECT_NE(failure.description.find(c.description), std::string::npos) << c.sql << ": " << failure.description;
    }
}

TEST(SqliteProviderOpen, MissingFileIsAnErrorUnlessCreateIsAsked) {
    const std::string path = testdb::TempSqliteFile("sqlite_provider_missing");
    Failure failure = FailureOf([&] { OpenSession("Provider=SQLite;Data Source=" + path); });
    EXPECT_EQ(failure.hr, E_FAIL);
    EXPECT_NE(failure.description.find(path), std::string::npos) << failure.description;
    EXPECT_FALSE(std::filesystem::exists(path));

    failure = FailureOf([&] { OpenSession("Provider=SQLite"); });
    EXPECT_EQ(failure.hr, E_FAIL);

    const std::string notADatabase = testdb::TempSqliteFile("sqlite_provider_not_a_db");
    { std::FILE* file = std::fopen(notADatabase.c_str(), "w"); std::fputs("this is no database, not at all", file); std::fclose(file); }
    failure = FailureOf([&] { OpenSession("Provider=SQLite;Data Source=" + notADatabase); });
    EXPECT_EQ(failure.hr, E_FAIL);
    EXPECT_NE(failure.description.find(notADatabase), std::string::npos) << failure.description;
    std::filesystem::remove(notADatabase);

    auto session = OpenSession("Provider=SQLite;Data Source='" + path + "';Create=true");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(session->DbmsName(), "SQLite");
    EXPECT_FALSE(session->DbmsVersion().empty());
    session.reset();
    EXPECT_NO_THROW(OpenSession("Provider=SQLite;Data Source=" + path));
    std::filesystem::remove(path);
}

TEST_F(SqliteProviderTest, ABusyDatabaseMakesUsWaitWithinTheTimeout) {
    Run("create table busy (a INTEGER)");
    auto writer = OpenSession(Connection());
    writer->BeginTransaction();
    writer->Execute("insert into busy values (1)", {});
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        writer->CommitTransaction();
    });
    auto waiting = OpenSession(Connection(), 10);
    Failure failure = FailureOf([&] { waiting->Execute("insert into busy values (2)", {}); });
    release.join();
    EXPECT_EQ(failure.hr, S_OK) << failure.description;
    EXPECT_EQ(Rows("select count(*) from busy")[0][0].integer, 2);
}

TEST_F(SqliteProviderTest, ABusyDatabasePastTheTimeoutIsAnError) {
    Run("create table busy (a INTEGER)");
    auto writer = OpenSession(Connection());
    writer->BeginTransaction();
    writer->Execute("insert into busy values (1)", {});
    auto waiting = OpenSession(Connection(), 1);
    Failure failure = FailureOf([&] { waiting->Execute("insert into busy values (2)", {}); });
    EXPECT_EQ(failure.hr, E_FAIL);
    EXPECT_NE(failure.description.find("locked"), std::string::npos) << failure.description;
    writer->RollbackTransaction();
}

TEST_F(SqliteProviderTest, TablesAreListedWithAdoTypesAndFilters) {
    Run("create table alpha (id INTEGER PRIMARY KEY AUTOINCREMENT); create table beta (a); create view gamma as select a from beta");
    auto names = [&](const provider::TableFilter& filter) {
        std::string listed;
        for (const auto& entry : session_->ListTables(filter)) {
            EXPECT_TRUE(entry.catalog.empty() && entry.schema.empty());
            listed += entry.name + ":" + entry.type + " ";
        }
        return listed;
    };
    EXPECT_EQ(names({}), "sqlite_master:SYSTEM TABLE sqlite_sequence:SYSTEM TABLE alpha:TABLE beta:TABLE gamma:VIEW ");
    EXPECT_EQ(names({"", "", "", "TABLE"}), "alpha:TABLE beta:TABLE ");
    EXPECT_EQ(names({"", "", "", "view, table"}), "alpha:TABLE beta:TABLE gamma:VIEW ");
    EXPECT_EQ(names({"", "", "BETA", ""}), "beta:TABLE ");
    EXPECT_EQ(names({"", "", "", "SYSTEM TABLE"}), "sqlite_master:SYSTEM TABLE sqlite_sequence:SYSTEM TABLE ");
    EXPECT_EQ(names({"somecatalog", "", "", ""}), "");
}

TEST_F(SqliteProviderTest, KeylessRowsGetARowIdentityOnlyWhereItIsSafe) {
    Run("create table plain (name TEXT, v INTEGER); create table keyed (id INTEGER PRIMARY KEY, v INTEGER)");
    struct Case {
        const char* sql;
        bool identity;
    };
    const Case cases[] = {
        {"select * from plain", true},
        {"select name, v from [plain] p where v > 0 order by name, v", true},
        {"select v from keyed", true},          // the key is not in the result
        {"select * from keyed", false},         // the key locates rows
        {"select distinct v from plain", false},
        {"select count(*) from plain", false},
        {"select max(v), name from plain", false},
        {"select v from plain group by v", false},
        {"select p.v from plain p, keyed k", false},
        {"select p.v from plain p join keyed k on k.v = p.v", false},
        {"select v from plain union select v from keyed", false},
        {"select v from (select v from plain)", false},
    };
    for (const Case& c : cases) {
        provider::CommandResult result = session_->Execute(c.sql, ExecuteOptions{true});
        ASSERT_TRUE(result.rows) << c.sql;
        const auto& columns = result.rows->Columns();
        bool identity = !columns.empty() && columns[0].rowIdentity;
        EXPECT_EQ(identity, c.identity) << c.sql;
        if (identity) {
            EXPECT_EQ(columns[0].type, adBigInt);
        }
    }
    std::vector<ColumnInfo> columns;
    Rows(*session_, "select * from keyed", true, &columns);
    EXPECT_TRUE(columns[0].key);
    EXPECT_FALSE(columns[1].key);
    Rows(*session_, "select * from plain", false, &columns);
    EXPECT_FALSE(columns[0].rowIdentity);
    // Part of a composite key locates several rows: the identity locates them instead.
    Run("create table pair (a INTEGER, b INTEGER, v TEXT, PRIMARY KEY (a, b))");
    Rows(*session_, "select a, v from pair", true, &columns);
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_TRUE(columns[0].rowIdentity);
    EXPECT_FALSE(columns[1].key);
    Rows(*session_, "select b, a, v from pair", true, &columns);
    EXPECT_TRUE(columns[0].key && columns[1].key);
}

TEST_F(SqliteProviderTest, WriteBackChangesOneOfTwoIdenticalRows) {
    Run("create table twins (name TEXT, v INTEGER); insert into twins values ('a', 1); insert into twins values ('a', 1)");
    std::vector<ColumnInfo> columns;
    auto rows = Rows(*session_, "select * from twins", true, &columns);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_TRUE(columns[0].rowIdentity);
    RowLocator second{{{columns[0].name, rows[1][0]}}};
    ColumnWrite change{"v", adInteger, Int(2), Int(1)};
    EXPECT_EQ(session_->UpdateRow("twins", {change}, &second), 1);
    auto after = Rows("select v from twins order by rowid");
    EXPECT_EQ(after[0][0].integer, 1);
    EXPECT_EQ(after[1][0].integer, 2);

    // Located by values alone (no key, no identity): still only one row.
    change = ColumnWrite{"v", adInteger, Int(3), Int(1)};
    RowLocator byValues{{{"name", Text("a")}}};
    Run("insert into twins values ('a', 1)");
    EXPECT_EQ(session_->UpdateRow("twins", {change}, &byValues), 1);
    EXPECT_EQ(Rows("select count(*) from twins where v = 1")[0][0].integer, 1);

    RowLocator first{{{columns[0].name, rows[0][0]}}};
    EXPECT_EQ(session_->DeleteRow("twins", first), 1);
    EXPECT_EQ(session_->DeleteRow("twins", first), 0);
    EXPECT_EQ(Rows("select count(*) from twins")[0][0].integer, 2);
}

TEST_F(SqliteProviderTest, UpdateOfARowChangedSinceItWasReadChangesNothing) {
    Run("create table conflict (name TEXT, v INTEGER, d DATETIME); insert into conflict values ('a', 1, NULL)");
    std::vector<ColumnInfo> columns;
    auto rows = Rows(*session_, "select * from conflict", true, &columns);
    RowLocator locator{{{columns[0].name, rows[0][0]}}};
    auto other = OpenSession(Connection());
    other->Execute("update conflict set v = 9", {});
    EXPECT_EQ(session_->UpdateRow("conflict", {ColumnWrite{"v", adInteger, Int(2), Int(1)}}, &locator), 0);
    EXPECT_EQ(Rows("select v from conflict")[0][0].integer, 9);
    // NULL originals are compared with IS NULL, dates by their canonical text.
    DATE date = 0;
    ASSERT_EQ(DateFromText("2005-12-19 08:30:00", &date), S_OK);
    Value dateValue{ValueKind::Date, 0, date, {}};
    EXPECT_EQ(session_->UpdateRow("conflict", {ColumnWrite{"d", adDBTimeStamp, dateValue, Value{}}}, &locator), 1);
    other->Execute("update conflict set d = '2005-12-19T08:30'", {});
    Value later{ValueKind::Date, 0, date + 1, {}};
    EXPECT_EQ(session_->UpdateRow("conflict", {ColumnWrite{"d", adDBTimeStamp, later, dateValue}}, &locator), 1);
    EXPECT_EQ(Rows("select d from conflict")[0][0].real, date + 1);
}

TEST_F(SqliteProviderTest, InsertStoresCanonicalDatesAndReturnsTheLocator) {
    Run("create table ins (id INTEGER PRIMARY KEY, d DATETIME, t TEXT DEFAULT 'dflt', b BOOLEAN, g BLOB)");
    DATE date = 0;
    ASSERT_EQ(DateFromText("2005-12-19 08:30:00", &date), S_OK);
    std::vector<ColumnWrite> columns = {
        {"d", adDBTimeStamp, Value{ValueKind::Date, 0, date, {}}, {}},
        {"b", adBoolean, Value{ValueKind::Boolean, 1, 0, {}}, {}},
        {"g", adLongVarBinary, Value{ValueKind::Bytes, 0, 0, {}}, {}},
    };
    RowLocator locator;
    EXPECT_EQ(InsertRowInto(*session_, "ins", columns, &locator), 1);
    ASSERT_EQ(locator.columns.size(), 6u);
    EXPECT_EQ(locator.columns[0].first, "id");
    EXPECT_EQ(locator.columns[0].second.integer, 1);
    RowLocator everything;  // the row as stored, with the identity
    EXPECT_EQ(InsertRowInto(*session_, "ins", {}, &everything), 1);
    ASSERT_EQ(everything.columns.size(), 6u);
    EXPECT_EQ(everything.columns[0].second.integer, 2);
    EXPECT_EQ(everything.columns[2].second.bytes, "dflt");
    EXPECT_EQ(everything.columns[5].second.integer, 2);
    EXPECT_EQ(session_->DeleteRow("ins", everything), 1);
    // A column added since the last write is seen by the next one.
    OpenSession(Connection())->Execute("alter table ins add column e TEXT DEFAULT 'added'", {});
    RowLocator widened;
    EXPECT_EQ(InsertRowInto(*session_, "ins", {}, &widened), 1);
    ASSERT_EQ(widened.columns.size(), 7u);
    EXPECT_EQ(widened.columns[5].second.bytes, "added");
    EXPECT_EQ(session_->DeleteRow("ins", widened), 1);
    auto rows = Rows("select typeof(d), d, t, b, typeof(g), length(g) from ins");
    EXPECT_EQ(rows[0][0].bytes, "text");
    EXPECT_EQ(rows[0][1].real, date);
    EXPECT_EQ(rows[0][2].bytes, "dflt");
    EXPECT_EQ(rows[0][3].integer, 1);
    EXPECT_EQ(rows[0][4].bytes, "blob");
    EXPECT_EQ(rows[0][5].integer, 0);

    // Text for a date column is stored canonical; text that is no date stores nothing.
    EXPECT_EQ(InsertRowInto(*session_, "ins", {ColumnWrite{"d", adDBTimeStamp, Text("2005/1/2 3:04"), {}}}, nullptr), 1);
    EXPECT_EQ(Rows("select d from ins where id = (select max(id) from ins)")[0][0].kind, ValueKind::Date);
    EXPECT_EQ(Rows("select typeof(d), d = '2005-01-02 03:04:00' from ins where id = (select max(id) from ins)")[0][1].integer, 1);
    Failure failure = FailureOf([&] { InsertRowInto(*session_, "ins", {ColumnWrite{"d", adDBTimeStamp, Text("soon"), {}}}, nullptr); });
    EXPECT_EQ(failure.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Rows("select count(*) from ins")[0][0].integer, 2);

    Run("create table bare (a TEXT)");
    RowLocator identity;
    EXPECT_EQ(InsertRowInto(*session_, "bare", {}, &identity), 1);
    ASSERT_EQ(identity.columns.size(), 2u);
    EXPECT_EQ(identity.columns[1].second.integer, 1);
    EXPECT_EQ(session_->DeleteRow("bare", identity), 1);
}

TEST_F(SqliteProviderTest, TransactionsCommitAndRollBack) {
    Run("create table tx (a INTEGER)");
    session_->BeginTransaction();
    Run("insert into tx values (1)");
    session_->RollbackTransaction();
    session_->BeginTransaction();
    Run("insert into tx values (2)");
    session_->CommitTransaction();
    auto rows = Rows("select a from tx");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 2);
    EXPECT_EQ(FailureOf([&] { session_->CommitTransaction(); }).hr, DB_E_ERRORSINCOMMAND);
}

}  // namespace
