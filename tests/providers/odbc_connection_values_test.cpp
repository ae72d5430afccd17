// A connection-string value, user name or password reaches an ODBC driver as exactly one
// value: whatever it holds, it can neither add an attribute nor replace one (the
// database, above all), on the drivers installed here.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/dbplatform.h>
#include <dbplatform/providers/odbc/OdbcConnectionText.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using dbplatform::provider::odbc::DriverFamily;
using dbplatform::provider::odbc::OdbcAttributeValue;
using dbplatform::provider::odbc::ValueOrigin;
using testdb::Target;

TEST(OdbcAttributeValues, EachFamilyReadsBackOneValue) {
    struct Case {
        DriverFamily family;
        ValueOrigin origin;
        const char* value;
        std::optional<const char*> written;  // nullopt: refused
    };
    const auto S = DriverFamily::Standard, M = DriverFamily::PartialBraces, N = DriverFamily::NoBraces;
    const auto Str = ValueOrigin::ConnectionString, Cred = ValueOrigin::Credential;
    const Case cases[] = {
        {S, Str, "plain", "plain"},
        {S, Str, "{PostgreSQL Unicode}", "{PostgreSQL Unicode}"},
        {S, Str, "{a}}b}", "{a}}b}"},
        {S, Str, "{pw};Database=postgres;X={}", "{{pw}};Database=postgres;X={}}}"},
        {S, Str, "{a}", "{a}"},
        {S, Cred, "{pw}", "{{pw}}}"},
        {S, Cred, "a;b}c", "{a;b}}c}"},
        {S, Cred, "a=b", "{a=b}"},
        {S, Cred, " pw", "{ pw}"},
        {S, Str, "}", "{}}}"},
        {M, Str, "{MariaDB Unicode}", "{MariaDB Unicode}"},
        {M, Str, "a;Database=x", std::nullopt},
        {M, Str, "{a;Database=x}", std::nullopt},
        {M, Cred, "{pw}", std::nullopt},
        {M, Str, "{a}}b}", std::nullopt},
        {M, Str, "{a}};Database=x;Y={}", std::nullopt},
        {M, Cred, "a}b=c", "a}b=c"},
        {M, Cred, "plain", "plain"},
        {N, Str, "/tmp/a b.db", "/tmp/a b.db"},
        {N, Cred, "{pw}", "{pw}"},
        {N, Str, "{a;Database=/tmp/b.db}", std::nullopt},
        {N, Cred, "x;Database=/tmp/b.db", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        testcom::Failure failure;
        std::string written;
        failure = testcom::FailureOf([&] { written = OdbcAttributeValue("K", c.value, c.family, c.origin); });
        if (c.written) {
            EXPECT_EQ(failure.hr, S_OK) << failure.description;
            EXPECT_EQ(written, *c.written);
        } else {
            EXPECT_EQ(failure.hr, E_INVALIDARG);
            EXPECT_EQ(failure.description.find(c.value), std::string::npos) << "the value must not be echoed";
        }
    }
}

// `base` with key `key` set to `value`, in ADO syntax (quoted as ADO needs).
std::string WithValue(const std::string& base, const std::string& key, const std::string& value) {
    dbplatform::ado::ConnectionString parsed;
    EXPECT_EQ(dbplatform::ado::ConnectionString::Parse(base, &parsed, nullptr), S_OK);
    parsed.Set(key, value);
    return parsed.ToString();
}

// The current database as the server names it, after opening `connectionString`;
// throws what Open raised.
std::string DatabaseReached(const std::string& connectionString, const std::string& query,
                            const std::string& password = "") {
    _ConnectionPtr connection;
    EXPECT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
    connection->Open(_bstr_t(connectionString), _bstr_t(""), _bstr_t(password), adConnectUnspecified);
    _RecordsetPtr rows = connection->Execute(_bstr_t(query), nullptr, adCmdText);
    return static_cast<_bstr_t>(rows->GetCollect(_variant_t(0L))).str();
}

// Values an attacker would put into an attribute the driver ignores, to switch databases.
std::vector<std::string> SwitchingValues(const std::string& other) {
    return {"{a};Database=" + other + ";X={}", "a;Database=" + other, "{a}};Database=" + other + ";Y={}",
            "a}};Database=" + other, "=;Database=" + other, "};Database=" + other + ";{"};
}

TEST(PostgresOdbcValues, NoValueSwitchesTheDatabase) {
    std::string base = testdb::ConnectionString(Target::PostgresOdbc, "");
    TESTDB_REQUIRE(base, Target::PostgresOdbc);
    const std::string query = "select current_database()";
    ASSERT_EQ(DatabaseReached(base, query), "adotest");
    for (const std::string& value : SwitchingValues("postgres")) {
        SCOPED_TRACE(value);
        std::string reached;
        testcom::Failure failure = testcom::FailureOf([&] { reached = DatabaseReached(WithValue(base, "X", value), query); });
        EXPECT_EQ(failure.hr, S_OK) << failure.description;
        EXPECT_EQ(reached, "adotest");
    }
}

// A password is taken literally: braces around the right password make a wrong one,
// and one that carries attributes logs in nowhere.
TEST(PostgresOdbcValues, PasswordsAreLiteral) {
    std::string base = testdb::ConnectionString(Target::PostgresOdbc, "");
    TESTDB_REQUIRE(base, Target::PostgresOdbc);
    dbplatform::ado::ConnectionString parsed;
    ASSERT_EQ(dbplatform::ado::ConnectionString::Parse(base, &parsed, nullptr), S_OK);
    parsed.Remove("Pwd");
    const std::string withoutPassword = parsed.ToString();
    const std::string query = "select current_database()";
    EXPECT_EQ(DatabaseReached(withoutPassword, query, "adotest_pw"), "adotest");
    EXPECT_EQ(DatabaseReached(WithValue(withoutPassword, "Password", "adotest_pw"), query), "adotest");
    const std::string wrong[] = {"{adotest_pw}", "adotest_pw};Database=postgres;X={", "{adotest_pw};Database=postgres"};
    for (const std::string& password : wrong) {
        SCOPED_TRACE(password);
        EXPECT_NE(testcom::FailureOf([&] { DatabaseReached(withoutPassword, query, password); }).hr, S_OK);
        EXPECT_NE(testcom::FailureOf([&] { DatabaseReached(WithValue(withoutPassword, "Password", password), query); }).hr,
                  S_OK);
    }
}

TEST(MariaOdbcValues, NoValueSwitchesTheDatabase) {
    std::string base = testdb::ConnectionString(Target::MariaOdbc, "");
    TESTDB_REQUIRE(base, Target::MariaOdbc);
    const std::string query = "select database()";
    ASSERT_EQ(DatabaseReached(base, query), "adotest");
    for (const std::string& value : SwitchingValues("information_schema")) {
        SCOPED_TRACE(value);
        std::string reached;
        testcom::Failure failure = testcom::FailureOf([&] { reached = DatabaseReached(WithValue(base, "X", value), query); });
        // Either the value is carried whole or it is refused; never another database.
        if (failure.hr == S_OK) EXPECT_EQ(reached, "adotest");
        else EXPECT_EQ(failure.hr, E_INVALIDARG) << failure.description;
    }
}

// The SQLite driver ends every value at the next ';': a value holding one is refused,
// wherever it stands, and the file it names is never created.
TEST(SqliteOdbcValues, TheDatabaseCannotBeReplaced) {
    const std::string file = testdb::TempSqliteFile("odbc_values_main");
    const std::string other = testdb::TempSqliteFile("odbc_values_other");
    std::string base = testdb::ConnectionString(Target::SqliteOdbc, file);
    TESTDB_REQUIRE(base, Target::SqliteOdbc);
    const std::string query = "select file from pragma_database_list where name = 'main'";
    ASSERT_EQ(DatabaseReached(base, query), file);
    struct Case {
        std::string connectionString;
        std::string password;
    };
    std::vector<Case> cases;
    for (const std::string& value : SwitchingValues(other)) {
        cases.push_back({WithValue(base, "X", value), ""});
        cases.push_back({"X=\"" + value + "\";" + base, ""});  // before the real Database
        cases.push_back({base, value});
        cases.push_back({WithValue(base, "Password", value), ""});
        cases.push_back({"Data Source=ado_sqlite", value});  // the driver found through the data source
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connectionString + " / " + c.password);
        std::string reached;
        testcom::Failure failure = testcom::FailureOf([&] { reached = DatabaseReached(c.connectionString, query, c.password); });
        EXPECT_EQ(failure.hr, E_INVALIDARG) << failure.description << " reached " << reached;
        EXPECT_FALSE(std::filesystem::exists(other));
    }
    // Braces are not quotes to this driver: a value in braces is used as written.
    EXPECT_EQ(DatabaseReached(WithValue(base, "X", "{b}"), query, "{pw}"), file);
    std::filesystem::remove(file);
}

}  // namespace
