// The PostgreSQL provider through libpq: connection keys, type mapping from OIDs,
// streaming rows, ctid write-back and the mapping of SQLSTATEs.
#include <cmath>
#include <limits>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/providers/postgresql/PgConnectParams.h>

#include "odbc_test_support.h"
#include "insert_row.h"

namespace {

using namespace providertest;
using testdb::Target;

TEST(PgConnectParams, TranslatesTheAdoKeys) {
    using Params = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        const char* connectionString;
        Params expected;  // before the fixed client_encoding and options
    };
    const Case cases[] = {
        {"Provider=PostgreSQL;Data Source=db.example:5433;Location=plant;User ID=u;Password=p",
         {{"host", "db.example"}, {"port", "5433"}, {"dbname", "plant"}, {"user", "u"}, {"password", "p"}}},
        {"Provider=PostgreSQL;Data Source=127.0.0.1;Initial Catalog=plant;Port=6000",
         {{"host", "127.0.0.1"}, {"port", "6000"}, {"dbname", "plant"}}},
        {"Provider=PostgreSQL;Data Source=[::1]:5434;Location=x", {{"host", "::1"}, {"port", "5434"}, {"dbname", "x"}}},
    };
    for (const Case& c : cases) {
        OpenRequest request = RequestFor(c.connectionString);
        request.timeoutSeconds = 0;
        Params params = dbplatform::provider::postgresql::LibpqParams(request);
        ASSERT_GE(params.size(), 2u);
        params.resize(params.size() - 2);
        EXPECT_EQ(c.expected, params) << c.connectionString;
    }
    OpenRequest request = RequestFor("Provider=PostgreSQL;Data Source=h");
    request.timeoutSeconds = 3;
    Params params = dbplatform::provider::postgresql::LibpqParams(request);
    EXPECT_NE(params.end(), std::find(params.begin(), params.end(), std::pair<std::string, std::string>("connect_timeout", "3")));
}

class PgNative : public ::testing::Test {
protected:
    void SetUp() override {
        connectionString_ = testdb::ConnectionString(Target::PostgresNative, "");
        TESTDB_REQUIRE(connectionString_, Target::PostgresNative);
        session_ = OpenSession(connectionString_);
        table_ = testdb::UniqueName("pg_t");
        Exec(*session_, "DROP TABLE IF EXISTS " + table_);
    }
    void TearDown() override {
        if (session_) Exec(*session_, "DROP TABLE IF EXISTS " + table_);
    }
    std::string connectionString_;
    std::string table_;
    std::unique_ptr<Session> session_;
};

TEST_F(PgNative, MapsTypesFromOids) {
    Exec(*session_, "CREATE TABLE " + table_ +
                       " (id INTEGER PRIMARY KEY, s SMALLINT, big BIGINT, w REAL, d DOUBLE PRECISION, n NUMERIC(10,2),"
                       " f BOOLEAN, x TEXT, v VARCHAR(20), c CHAR(3), b BYTEA, t TIMESTAMP, tz TIMESTAMPTZ, dt DATE)");
    Exec(*session_, "INSERT INTO " + table_ +
                       " VALUES (7, 2, 9000000000, 1.5, 0.1, 12.25, true, 'text', 'vc', 'abc', '\\x0102ff',"
                       " '2005-12-19 08:30:00', '2005-12-19 08:30:00+00', '2005-12-19')");
    CommandResult result = session_->Execute("SELECT * FROM " + table_, ExecuteOptions{true});
    ASSERT_TRUE(result.rows);
    struct Expected {
        DataTypeEnum type;
        ValueKind kind;
        long definedSize;
    };
    const Expected expected[] = {
        {adInteger, ValueKind::Integer, 4},      {adSmallInt, ValueKind::Integer, 2},    {adBigInt, ValueKind::Integer, 8},
        {adSingle, ValueKind::Double, 4},        {adDouble, ValueKind::Double, 8},       {adNumeric, ValueKind::Double, 19},
        {adBoolean, ValueKind::Boolean, 2},      {adVarWChar, ValueKind::Text, 0},       {adVarWChar, ValueKind::Text, 20},
        {adVarWChar, ValueKind::Text, 3},        {adLongVarBinary, ValueKind::Bytes, 2147483647},
        {adDBTimeStamp, ValueKind::Date, 16},    {adDBTimeStamp, ValueKind::Date, 16},   {adDBTimeStamp, ValueKind::Date, 16},
    };
    ASSERT_TRUE(result.rows->Fetch());
    std::vector<std::size_t> fields;
    for (std::size_t c = 0; c < result.rows->Columns().size(); ++c)
        if (!result.rows->Columns()[c].rowIdentity) fields.push_back(c);
    ASSERT_EQ(std::size(expected), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ColumnInfo& column = result.rows->Columns()[fields[i]];
        EXPECT_EQ(expected[i].type, column.type) << column.name;
        EXPECT_EQ(expected[i].definedSize, column.definedSize) << column.name;
        EXPECT_EQ(expected[i].kind, result.rows->Cell(fields[i]).kind) << column.name;
        EXPECT_EQ(table_, column.baseTable) << column.name;
        EXPECT_EQ(column.name == "id", column.key) << column.name;
    }
    auto cell = [&](std::size_t i) { return result.rows->Cell(fields[i]); };
    EXPECT_EQ(9000000000, cell(2).integer);
    EXPECT_EQ(1.5, cell(3).real);
    EXPECT_EQ(12.25, cell(5).real);
    EXPECT_EQ(1, cell(6).integer);
    EXPECT_EQ("abc", std::string(cell(9).bytes));
    EXPECT_EQ(std::string("\x01\x02\xff", 3), std::string(cell(10).bytes));
    EXPECT_EQ("2005-12-19 08:30:00", dbplatform::TextFromDate(cell(11).real));
    EXPECT_EQ("2005-12-19 00:00:00", dbplatform::TextFromDate(cell(13).real));
}

TEST_F(PgNative, AnotherCommandWhileRowsStreamKeepsEveryRow) {
    Exec(*session_, "CREATE TABLE " + table_ + " AS SELECT g AS id FROM generate_series(1, 5000) g");
    CommandResult first = session_->Execute("SELECT id FROM " + table_ + " ORDER BY id", ExecuteOptions{});
    ASSERT_TRUE(first.rows && first.rows->Fetch());
    EXPECT_EQ(1, first.rows->Cell(0).integer);
    // The connection carries one command at a time: this must not lose or break the first.
    EXPECT_EQ(1u, Rows(*session_, "SELECT count(*) FROM " + table_).size());
    std::int64_t expected = 2;
    while (first.rows->Fetch()) EXPECT_EQ(expected++, first.rows->Cell(0).integer);
    EXPECT_EQ(5001, expected);
    // A result abandoned part-way leaves the connection usable.
    CommandResult abandoned = session_->Execute("SELECT id FROM " + table_, ExecuteOptions{});
    ASSERT_TRUE(abandoned.rows->Fetch());
    abandoned.rows.reset();
    EXPECT_EQ(5000, Rows(*session_, "SELECT count(*) FROM " + table_)[0][0].integer);
}

TEST_F(PgNative, WritesBackThroughCtidAndKeys) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id SERIAL PRIMARY KEY, s VARCHAR(20), b BYTEA)");
    RowLocator locator;
    std::string bytes("\x00\x01\xfe", 3);
    ASSERT_EQ(1, InsertRowInto(*session_, table_, {{"s", adVarWChar, Text("one"), {}}, {"b", adLongVarBinary, Value{ValueKind::Bytes, 0, 0, bytes}, {}}},
                                     &locator));
    // The stored row comes back whole, the generated key included, with its identity.
    ASSERT_EQ(4u, locator.columns.size());
    EXPECT_EQ("id", locator.columns[0].first);
    EXPECT_EQ(1, locator.columns[0].second.integer);
    EXPECT_EQ(bytes, locator.columns[2].second.bytes);
    EXPECT_EQ("row_identity_", locator.columns[3].first);
    for (int i = 0; i < 3; ++i) {
        std::string before = i == 0 ? "one" : "v" + std::to_string(i - 1);
        EXPECT_EQ(1, session_->UpdateRow(table_, {{"s", adVarWChar, Text("v" + std::to_string(i)), Text(before)}}, &locator));
    }
    auto rows = Rows(*session_, "SELECT s, b FROM " + table_);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("v2", rows[0][0].bytes);
    EXPECT_EQ(bytes, rows[0][1].bytes);
    EXPECT_EQ(1, session_->DeleteRow(table_, locator));
    EXPECT_EQ(0, session_->DeleteRow(table_, locator));
}

TEST_F(PgNative, WritesBackColumnsCreatedWithQuotedCapitals) {
    Exec(*session_, "CREATE TABLE " + table_ + " (\"ID\" INTEGER PRIMARY KEY, \"Name\" VARCHAR(20))");
    CommandResult result = session_->Execute("SELECT * FROM " + table_, ExecuteOptions{true});
    std::vector<std::string> baseColumns;
    for (const ColumnInfo& column : result.rows->Columns())
        if (!column.rowIdentity) baseColumns.push_back(column.baseColumn);
    result.rows.reset();
    ASSERT_EQ((std::vector<std::string>{"ID", "Name"}), baseColumns);
    RowLocator locator;
    ASSERT_EQ(1, InsertRowInto(*session_, table_, {{"ID", adInteger, Integer(1), {}}, {"Name", adVarWChar, Text("a"), {}}}, &locator));
    RowLocator byKey;
    byKey.columns.emplace_back("ID", Integer(1));
    EXPECT_EQ(1, session_->UpdateRow(table_, {{"Name", adVarWChar, Text("b"), Text("a")}}, &byKey));
    EXPECT_EQ("b", Rows(*session_, "SELECT \"Name\" FROM " + table_)[0][0].bytes);
}

TEST_F(PgNative, MapsSqlStatesWithTheServersMessage) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, t TIMESTAMP)");
    Exec(*session_, "INSERT INTO " + table_ + " VALUES (1, NULL)");
    struct Case {
        std::string sql;
        HRESULT expected;
        const char* text;
    };
    const Case cases[] = {
        {"SELECT * FROM no_such_table_here", DB_E_NOTABLE, "does not exist"},
        {"SELEC 1", DB_E_ERRORSINCOMMAND, "syntax error"},
        {"INSERT INTO " + table_ + " VALUES (1, NULL)", DB_E_INTEGRITYVIOLATION, "duplicate key"},
        {"INSERT INTO " + table_ + " VALUES (2, 'garbage')", DB_E_CANTCONVERTVALUE, "invalid input syntax"},
        {"SELECT 1/0", DB_E_CANTCONVERTVALUE, "division by zero"},
    };
    for (const Case& c : cases) {
        std::string description;
        EXPECT_EQ(c.expected, FailureOf([&] { Rows(*session_, c.sql); }, &description)) << c.sql;
        EXPECT_NE(std::string::npos, description.find(c.text)) << description;
        EXPECT_NE('\n', description.empty() ? '\n' : description.back()) << description;
    }
    // The session stays usable after every failure.
    EXPECT_EQ(1u, Rows(*session_, "SELECT * FROM " + table_).size());
}

TEST_F(PgNative, ViewsAreReadWithoutRowIdentityEvenInATransaction) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER)");
    Exec(*session_, "INSERT INTO " + table_ + " VALUES (1)");
    Exec(*session_, "CREATE VIEW " + table_ + "_v AS SELECT id FROM " + table_);
    session_->BeginTransaction();
    auto rows = Rows(*session_, "SELECT * FROM " + table_ + "_v", true);
    EXPECT_EQ(1u, rows.size());
    EXPECT_EQ(1u, Rows(*session_, "SELECT * FROM " + table_, true).size());
    session_->CommitTransaction();
    Exec(*session_, "DROP VIEW " + table_ + "_v");
}

TEST_F(PgNative, WrongPasswordIsALoginFailure) {
    OpenRequest request = RequestFor(connectionString_);
    request.password = "not_the_password";
    std::string description;
    EXPECT_EQ(E_FAIL, FailureOf([&] { FindProvider("PostgreSQL")(request); }, &description));
    EXPECT_NE(std::string::npos, description.find("password authentication failed")) << description;
}

TEST_F(PgNative, ListsSystemTablesApart) {
    Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER)");
    TableFilter filter;
    filter.name = table_;
    auto entries = session_->ListTables(filter);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("TABLE", entries[0].type);
    filter = TableFilter{};
    filter.name = "pg_class";
    entries = session_->ListTables(filter);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("SYSTEM TABLE", entries[0].type);
}

// Each value read alone (Cell) and with its whole row (ReadRow, as the row store reads)
// comes out the same, and as the server stores it: NULL apart from the empty text and
// bytes, the ends of the number ranges, the words for infinities and NaN.
TEST_F(PgNative, ReadsEdgeValuesAloneAndByRow) {
    struct Case {
        const char* expression;
        ValueKind kind;
        std::int64_t integer;
        double real;
        std::string bytes;
    };
    const double infinity = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"''::text", ValueKind::Text, 0, 0, ""},
        {"NULL::text", ValueKind::Null, 0, 0, ""},
        {"''::bytea", ValueKind::Bytes, 0, 0, ""},
        {"'\\x00ff'::bytea", ValueKind::Bytes, 0, 0, std::string("\0\xff", 2)},
        {"NULL::bytea", ValueKind::Null, 0, 0, ""},
        {"NULL::integer", ValueKind::Null, 0, 0, ""},
        {"NULL::timestamp", ValueKind::Null, 0, 0, ""},
        {"9223372036854775807::int8", ValueKind::Integer, INT64_MAX, 0, ""},
        {"(-9223372036854775808)::int8", ValueKind::Integer, INT64_MIN, 0, ""},
        {"(-32768)::int2", ValueKind::Integer, -32768, 0, ""},
        {"'Infinity'::float8", ValueKind::Double, 0, infinity, ""},
        {"'-Infinity'::float8", ValueKind::Double, 0, -infinity, ""},
        {"1.7976931348623157e308::float8", ValueKind::Double, 0, 1.7976931348623157e308, ""},
        {"2.2250738585072014e-308::float8", ValueKind::Double, 0, 2.2250738585072014e-308, ""},
        {"'-0'::float8", ValueKind::Double, 0, -0.0, ""},
        {"12345678901234567890.5::numeric", ValueKind::Double, 0, 12345678901234567890.5, ""},
        {"true", ValueKind::Boolean, 1, 0, ""},
        {"false", ValueKind::Boolean, 0, 0, ""},
        {"'1899-12-30 00:00:00'::timestamp", ValueKind::Date, 0, 0, ""},
        {"'2005-12-19 12:00:00'::timestamp", ValueKind::Date, 0, 38705.5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        CommandResult alone = session_->Execute(std::string("SELECT ") + c.expression + ", 'after'", ExecuteOptions{});
        CommandResult byRow = session_->Execute(std::string("SELECT ") + c.expression + ", 'after'", ExecuteOptions{});
        ASSERT_TRUE(alone.rows && alone.rows->Fetch());
        ASSERT_TRUE(byRow.rows && byRow.rows->Fetch());
        CellView cells[2];
        byRow.rows->ReadRow(cells, 2);
        for (const CellView& read : {alone.rows->Cell(0), cells[0]}) {
            ASSERT_EQ(c.kind, read.kind);
            EXPECT_EQ(c.integer, read.integer);
            if (c.kind == ValueKind::Double || c.kind == ValueKind::Date) {
                EXPECT_EQ(c.real, read.real);
                EXPECT_EQ(std::signbit(c.real), std::signbit(read.real));
            }
            EXPECT_EQ(c.bytes, std::string(read.bytes));
        }
        EXPECT_EQ("after", std::string(cells[1].bytes));
    }
    EXPECT_TRUE(std::isnan(Rows(*session_, "SELECT 'NaN'::float8")[0][0].real));
    // A value that is no automation date fails alike both ways.
    for (const char* expression : {"'infinity'::timestamp", "'0001-01-01'::date"}) {
        CommandResult alone = session_->Execute(std::string("SELECT ") + expression, ExecuteOptions{});
        CommandResult byRow = session_->Execute(std::string("SELECT ") + expression, ExecuteOptions{});
        ASSERT_TRUE(alone.rows->Fetch() && byRow.rows->Fetch());
        std::string aloneText, byRowText;
        CellView cell;
        HRESULT aloneFailure = FailureOf([&] { alone.rows->Cell(0); }, &aloneText);
        HRESULT byRowFailure = FailureOf([&] { byRow.rows->ReadRow(&cell, 1); }, &byRowText);
        EXPECT_NE(S_OK, aloneFailure) << expression;
        EXPECT_EQ(aloneFailure, byRowFailure) << expression;
        EXPECT_EQ(aloneText, byRowText) << expression;
    }
}

}  // namespace
