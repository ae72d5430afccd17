// The ODBC provider against the three drivers the product meets: SQLite, PostgreSQL and
// MariaDB behind unixODBC, plus the connection-text translation that needs no server.
#include <sqlite3.h>

#include <filesystem>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/providers/odbc/OdbcConnectionText.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>

#include "odbc_test_support.h"
#include "insert_row.h"

namespace {

using namespace providertest;
using testdb::Target;

TEST(OdbcConnectionText, TranslatesAdoKeysForTheDriver) {
    struct Case {
        const char* connectionString;
        const char* userId;  // Open's UserID, already merged by the engine
        const char* password;
        const char* expected;
    };
    const Case cases[] = {
        {"Provider=MSDASQL.1;Persist Security Info=False;Data Source=plant;", "", "", "DSN=plant"},
        {"Provider=MSDASQL;Data Source=plant;User ID=ann;Password=secret", "ann", "secret", "DSN=plant;UID=ann;PWD=secret"},
        {"Data Source=plant", "bob", "pw", "DSN=plant;UID=bob;PWD=pw"},
        // The request's user replaces a UID the string carries for the driver.
        {"Driver={PostgreSQL Unicode};Server=127.0.0.1;Uid=old;Pwd=old", "new", "pw2",
         "Driver={PostgreSQL Unicode};Server=127.0.0.1;UID=new;PWD=pw2"},
        {"Driver=MySQL;Server=127.0.0.1;Uid=a;Pwd=b", "", "", "Driver=MySQL;Server=127.0.0.1;Uid=a;Pwd=b"},
        // Values that would end the attribute early are braced, braces doubled inside.
        {"Data Source=plant;Password=\"a;b}c\"", "", "a;b}c", "DSN=plant;PWD={a;b}}c}"},
        {"Provider=OraOLEDB.Oracle.1;Persist Security Info=False;Data Source=orcl;", "", "", "DSN=orcl"},
    };
    for (const Case& c : cases) {
        OpenRequest request = RequestFor(c.connectionString);
        request.userId = c.userId;
        request.password = c.password;
        EXPECT_EQ(c.expected, dbplatform::provider::odbc::OdbcConnectionText(request)) << c.connectionString;
    }
}

TEST(OdbcDiagnostics, MapSqlStatesAndSqliteTexts) {
    using dbplatform::provider::odbc::Diagnostics;
    struct Case {
        Diagnostics diagnostics;
        bool connecting;
        HRESULT expected;
    };
    const Case cases[] = {
        {{"42S02", "[ma-3.1.15]Table 'adotest.x' doesn't exist"}, false, DB_E_NOTABLE},
        {{"42P01", "ERROR: relation \"x\" does not exist"}, false, DB_E_NOTABLE},
        {{"23000", "Duplicate entry '1' for key 'PRIMARY'"}, false, DB_E_INTEGRITYVIOLATION},
        {{"42000", "You have an error in your SQL syntax"}, false, DB_E_ERRORSINCOMMAND},
        {{"22007", "Incorrect datetime value"}, false, DB_E_CANTCONVERTVALUE},
        // The SQLite driver reports every failure as HY000: its text tells them apart.
        {{"HY000", "no such table: x (1)"}, false, DB_E_NOTABLE},
        {{"HY000", "UNIQUE constraint failed: t.id (19)"}, false, DB_E_INTEGRITYVIOLATION},
        {{"HY000", "near \"SELEC\": syntax error (1)"}, false, DB_E_ERRORSINCOMMAND},
        {{"HY000", "database is locked (5)"}, false, E_FAIL},
        {{"08001", "could not connect"}, false, E_FAIL},
        {{"HYT00", "Timeout expired"}, false, E_FAIL},
        // Whatever the state, a failed login is E_FAIL.
        {{"28000", "Access denied"}, true, E_FAIL},
        {{"42000", "Unknown database 'x'"}, true, E_FAIL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, dbplatform::provider::odbc::HResultForDiagnostics(c.diagnostics, c.connecting))
            << c.diagnostics.sqlState << " " << c.diagnostics.message;
}

class OdbcTarget : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("odbc_provider");
        connectionString_ = testdb::ConnectionString(GetParam(), file_);
        TESTDB_REQUIRE(connectionString_, GetParam());
        session_ = OpenSession(connectionString_);
        table_ = testdb::UniqueName("odbc_t");
        Exec(*session_, "DROP TABLE IF EXISTS " + table_);
    }
    void TearDown() override {
        if (session_) Exec(*session_, "DROP TABLE IF EXISTS " + table_);
        session_.reset();
        std::filesystem::remove(file_);
    }
    bool Is(Target target) const { return GetParam() == target; }
    std::string DoubleType() const { return Is(Target::PostgresOdbc) ? "DOUBLE PRECISION" : "DOUBLE"; }
    std::string BlobType() const {
        return Is(Target::PostgresOdbc) ? "BYTEA" : Is(Target::MariaOdbc) ? "LONGBLOB" : "BLOB";
    }
    std::string DateType() const { return Is(Target::PostgresOdbc) ? "TIMESTAMP" : "DATETIME"; }

    std::string file_;
    std::string connectionString_;
    std::string table_;
    std::unique_ptr<Session> session_;
};

TEST_P(OdbcTarget, ReportsTheProductBehindTheDriver) {
    const char* expected = Is(Target::SqliteOdbc) ? "SQLite" : Is(Target::PostgresOdbc) ? "PostgreSQL" : "MariaDB";
    EXPECT_EQ(expected, session_->DbmsName());
    EXPECT_FALSE(session_->DbmsVersion().empty());
}

TEST_P(OdbcTarget, MapsColumnTypes) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, big BIGINT, w REAL, d " + DoubleType() +
                       ", s VARCHAR(20), b " + BlobType() + ", t " + DateType() + ", n NUMERIC(10,2))");
    CommandResult result = session_->Execute("SELECT id, big, w, d, s, b, t, n FROM " + table_, ExecuteOptions{true});
    ASSERT_TRUE(result.rows);
    std::vector<DataTypeEnum> types;
    for (const ColumnInfo& column : result.rows->Columns())
        if (!column.rowIdentity) types.push_back(column.type);
    // REAL is a double in SQLite and MariaDB, a float4 in PostgreSQL.
    DataTypeEnum real = Is(Target::PostgresOdbc) ? adSingle : adDouble;
    std::vector<DataTypeEnum> expected = {adInteger, adBigInt, real, adDouble, adVarWChar, adLongVarBinary,
                                          adDBTimeStamp, adNumeric};
    EXPECT_EQ(expected, types);
    for (const ColumnInfo& column : result.rows->Columns()) {
        if (column.rowIdentity) continue;
        EXPECT_FALSE(column.baseTable.empty()) << column.name;
        EXPECT_EQ(column.key, column.baseColumn == "id") << column.name;
    }
}

TEST_P(OdbcTarget, RoundTripsValuesOfEveryKind) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, d " + DoubleType() + ", s VARCHAR(40), b " +
                       BlobType() + ", t " + DateType() + ", k VARCHAR(10) DEFAULT 'dflt')");
    std::string blob(20000, '\0');
    for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
    DATE date = 0;
    ASSERT_EQ(S_OK, dbplatform::DateFromText("2005-12-19 08:30:00", &date));
    std::vector<ColumnWrite> writes = {
        {"id", adInteger, Integer(1), {}},
        {"d", adDouble, Value{ValueKind::Double, 0, 1234.5678, {}}, {}},
        {"s", adVarWChar, Text("连接数据库 ok"), {}},
        {"b", adLongVarBinary, Value{ValueKind::Bytes, 0, 0, blob}, {}},
        {"t", adDBTimeStamp, Value{ValueKind::Date, 0, date, {}}, {}},
    };
    RowLocator locator;
    ASSERT_EQ(1, InsertRowInto(*session_, table_, writes, &locator));
    // The new row's locator carries the row as stored, defaults included.
    auto stored = std::find_if(locator.columns.begin(), locator.columns.end(),
                               [](const auto& column) { return column.first == "k"; });
    ASSERT_NE(locator.columns.end(), stored);
    EXPECT_EQ("dflt", stored->second.bytes);
    auto rows = Rows(*session_, "SELECT id, d, s, b, t FROM " + table_);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(1, rows[0][0].integer);
    EXPECT_EQ(1234.5678, rows[0][1].real);
    EXPECT_EQ("连接数据库 ok", rows[0][2].bytes);
    EXPECT_EQ(ValueKind::Bytes, rows[0][3].kind);
    EXPECT_EQ(blob, rows[0][3].bytes);
    EXPECT_EQ(ValueKind::Date, rows[0][4].kind);
    EXPECT_EQ("2005-12-19 08:30:00", dbplatform::TextFromDate(rows[0][4].real));
    // A bound date must equal the same time written as a literal.
    EXPECT_EQ(1u, Rows(*session_, "SELECT id FROM " + table_ + " WHERE t = '2005-12-19 08:30:00'").size());
}

TEST_P(OdbcTarget, ChangesExactlyOneOfTwoIdenticalKeylessRows) {
    Exec(*session_, "CREATE TABLE " + table_ + " (a INTEGER, s VARCHAR(20))");
    Exec(*session_, "INSERT INTO " + table_ + " VALUES (1, 'same')");
    Exec(*session_, "INSERT INTO " + table_ + " VALUES (1, 'same')");
    CommandResult result = session_->Execute("SELECT a, s FROM " + table_, ExecuteOptions{true});
    ASSERT_TRUE(result.rows);
    ASSERT_TRUE(result.rows->Fetch());
    // The locator the cursor engine builds: the row identity, else every column.
    RowLocator locator;
    const auto& columns = result.rows->Columns();
    bool identity = std::any_of(columns.begin(), columns.end(), [](const ColumnInfo& c) { return c.rowIdentity; });
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (columns[c].rowIdentity == identity)
            locator.columns.emplace_back(columns[c].rowIdentity ? columns[c].name : columns[c].baseColumn,
                                         Value::FromCell(result.rows->Cell(c)));
    result.rows.reset();
    std::vector<ColumnWrite> writes = {{"s", adVarWChar, Text("changed"), Text("same")}};
    EXPECT_EQ(1, session_->UpdateRow(table_, writes, &locator));
    // Twice through the refreshed locator: a PostgreSQL update moves the row's ctid.
    writes = {{"s", adVarWChar, Text("again"), Text("changed")}};
    EXPECT_EQ(1, session_->UpdateRow(table_, writes, &locator));
    auto rows = Rows(*session_, "SELECT s FROM " + table_ + " ORDER BY s");
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("again", rows[0][0].bytes);
    EXPECT_EQ("same", rows[1][0].bytes);
    // A value changed behind the cursor's back: nothing is written.
    writes = {{"s", adVarWChar, Text("lost"), Text("changed")}};
    EXPECT_EQ(0, session_->UpdateRow(table_, writes, &locator));
    EXPECT_EQ(1, session_->DeleteRow(table_, locator));
    EXPECT_EQ(1u, Rows(*session_, "SELECT s FROM " + table_).size());
}

TEST_P(OdbcTarget, MapsFailuresToOleDbCodes) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, t " + DateType() + ")");
    Exec(*session_, "INSERT INTO " + table_ + " (id) VALUES (1)");
    struct Case {
        std::string sql;
        HRESULT expected;
    };
    std::vector<Case> cases = {
        {"SELECT * FROM no_such_table_here", DB_E_NOTABLE},
        {"SELEC * FROM " + table_, DB_E_ERRORSINCOMMAND},
        {"INSERT INTO " + table_ + " (id) VALUES (1)", DB_E_INTEGRITYVIOLATION},
    };
    // SQLite stores any text in a date column; the servers refuse it.
    if (!Is(Target::SqliteOdbc)) cases.push_back({"INSERT INTO " + table_ + " VALUES (2, 'garbage')", DB_E_CANTCONVERTVALUE});
    for (const Case& c : cases) {
        std::string description;
        EXPECT_EQ(c.expected, FailureOf([&] { Rows(*session_, c.sql); }, &description)) << c.sql << ": " << description;
        EXPECT_FALSE(description.empty());
    }
}

TEST_P(OdbcTarget, ViewsAreReadWithoutRowIdentityEvenInATransaction) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER)");
    Exec(*session_, "INSERT INTO " + table_ + " VALUES (1)");
    Exec(*session_, "CREATE VIEW " + table_ + "_v AS SELECT id FROM " + table_);
    session_->BeginTransaction();
    EXPECT_EQ(1u, Rows(*session_, "SELECT * FROM " + table_ + "_v", true).size());
    EXPECT_EQ(1u, Rows(*session_, "SELECT * FROM " + table_, true).size());
    session_->CommitTransaction();
    Exec(*session_, "DROP VIEW " + table_ + "_v");
}

TEST_P(OdbcTarget, ListsTablesOfTheCurrentDatabaseOnly) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER)");
    TableFilter filter;
    filter.name = table_;
    auto entries = session_->ListTables(filter);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("TABLE", entries[0].type);
    for (const TableEntry& entry : session_->ListTables(TableFilter{})) {
        if (entry.type == "TABLE" || entry.type == "VIEW") {
            EXPECT_NE("information_schema", entry.schema) << entry.name;
            EXPECT_NE("performance_schema", entry.catalog) << entry.name;
            EXPECT_NE(0u, entry.name.rfind("sqlite_", 0)) << entry.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcTarget,
                         ::testing::Values(Target::SqliteOdbc, Target::PostgresOdbc, Target::MariaOdbc),
                         [](const auto& info) { return std::string(testdb::TargetName(info.param)); });

// The SQLite ODBC driver's own date handling loses data silently; the provider must not.
class SqliteOdbcDates : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("odbc_dates");
        std::string connectionString = testdb::ConnectionString(Target::SqliteOdbc, file_);
        TESTDB_REQUIRE(connectionString, Target::SqliteOdbc);
        session_ = OpenSession(connectionString);
        Exec(*session_, "CREATE TABLE r (id INTEGER PRIMARY KEY, t DATETIME)");
    }
    void TearDown() override {
        session_.reset();
        std::filesystem::remove(file_);
    }
    // The text SQLite really stored, read past the driver.
    std::string StoredText(int id) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, ("SELECT t FROM r WHERE id = " + std::to_string(id)).c_str(), -1, &statement, nullptr);
        std::string text;
        if (sqlite3_step(statement) == SQLITE_ROW) text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return text;
    }
    std::string file_;
    std::unique_ptr<Session> session_;
};

TEST_F(SqliteOdbcDates, StoresBoundDatesAsCanonicalText) {
    DATE date = 0;
    ASSERT_EQ(S_OK, dbplatform::DateFromText("2005-12-19 08:30:00", &date));
    RowLocator locator;
    ASSERT_EQ(1, InsertRowInto(*session_, "r", {{"id", adInteger, Integer(1), {}}, {"t", adDBTimeStamp, Value{ValueKind::Date, 0, date, {}}, {}}},
                                     &locator));
    EXPECT_EQ("2005-12-19 08:30:00", StoredText(1));
}

TEST_F(SqliteOdbcDates, TextThatIsNotADateIsAnErrorNotNull) {
    struct Case {
        const char* stored;
        bool readable;
    };
    const Case cases[] = {
        {"2005-12-19 08:30:00", true}, {"2005-12-19", true},          {"2005-12-19T08:30:00", true},
        {"garbage", false},            {"19.12.2005 08:30:00", false}, {"", false},
    };
    int id = 0;
    for (const Case& c : cases) {
        ++id;
        Exec(*session_, "INSERT INTO r VALUES (" + std::to_string(id) + ", '" + c.stored + "')");
        CommandResult result = session_->Execute("SELECT t FROM r WHERE id = " + std::to_string(id), ExecuteOptions{});
        ASSERT_TRUE(result.rows && result.rows->Fetch());
        HRESULT hr = FailureOf([&] {
            CellView cell = result.rows->Cell(0);
            EXPECT_EQ(ValueKind::Date, cell.kind) << c.stored;
        });
        EXPECT_EQ(c.readable ? S_OK : DISP_E_TYPEMISMATCH, hr) << c.stored;
    }
}

TEST_F(SqliteOdbcDates, DoublesReadThroughTheDriverStillLocateTheirRow) {
    // The driver reads doubles through 15-digit text: the value read is not the one stored.
    Exec(*session_, "CREATE TABLE n (id INTEGER PRIMARY KEY, d DOUBLE)");
    Exec(*session_, "INSERT INTO n VALUES (1, 0.30000000000000004)");
    auto rows = Rows(*session_, "SELECT id, d FROM n", true);
    ASSERT_EQ(1u, rows.size());
    Value original = rows[0].back();
    RowLocator locator;
    locator.columns.emplace_back("id", Integer(1));
    EXPECT_EQ(1, session_->UpdateRow("n", {{"d", adDouble, Value{ValueKind::Double, 0, 2.5, {}}, original}}, &locator));
    EXPECT_EQ(2.5, Rows(*session_, "SELECT d FROM n")[0][0].real);
}

TEST(OdbcLogin, WrongPasswordFailsWithTheServersText) {
    struct Case {
        Target target;
        const char* expectedText;
    };
    const Case cases[] = {{Target::PostgresOdbc, "password authentication failed"}, {Target::MariaOdbc, "Access denied"}};
    for (const Case& c : cases) {
        std::string connectionString = testdb::ConnectionString(c.target, "");
        TESTDB_REQUIRE(connectionString, c.target);
        OpenRequest request = RequestFor(connectionString);
        request.password = "not_the_password";
        std::string description;
        EXPECT_EQ(E_FAIL, FailureOf([&] { FindProvider("")(request); }, &description)) << testdb::TargetName(c.target);
        EXPECT_NE(std::string::npos, description.find(c.expectedText)) << description;
    }
}

TEST(OdbcProviders, OracleAndMsdasqlNamesReachTheDataSource) {
    std::string connectionString = testdb::ConnectionString(Target::SqliteOdbc, "");
    TESTDB_REQUIRE(connectionString, Target::SqliteOdbc);
    // ado_sqlite is the DSN that db-servers.sh registers for the SQLite ODBC driver.
    for (const char* provider : {"OraOLEDB.Oracle", "OraOLEDB.Oracle.1", "MSDASQL", "MSDASQL.1"}) {
        std::string text = std::string("Provider=") + provider + ";Persist Security Info=False;Data Source=ado_sqlite;";
        std::unique_ptr<Session> session = OpenSession(text);
        EXPECT_EQ("SQLite", session->DbmsName()) << provider;
    }
    std::string description;
    EXPECT_EQ(E_FAIL, FailureOf([] { OpenSession("Provider=MSDASQL.1;Data Source=no_such_dsn_here;"); }, &description));
    EXPECT_NE(std::string::npos, description.find("[unixODBC][Driver Manager]Data source name not found")) << description;
}

}  // namespace
