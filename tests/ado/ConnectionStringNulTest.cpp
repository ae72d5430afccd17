// A NUL in a connection string or in Open's credentials is refused with E_INVALIDARG:
// the providers pass values on as C strings, which would silently end at it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using namespace std::string_literals;

TEST(ConnectionStringNul, RefusedWherePutInTheText) {
    const std::string cases[] = {
        "Provider=SQLite;Data Source=/tmp/a.db\0.other;Create=True"s,
        "Provider=SQLite\0;Data Source=/tmp/a.db"s,
        "Data Source=\"quoted\0value\""s,
        "Ke\0y=v"s,
        "Data Source=plant;\0"s,
        "\0"s,
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.find('\0'));
        dbplatform::ado::ConnectionString parsed;
        std::string why;
        EXPECT_EQ(dbplatform::ado::ConnectionString::Parse(text, &parsed, &why), E_INVALIDARG);
        EXPECT_NE(why.find("NUL character at offset " + std::to_string(text.find('\0'))), std::string::npos) << why;
    }
}

// Through Connection.Open on the SQLite provider: neither the file before the NUL nor
// anything else is opened or created.
TEST(ConnectionStringNul, OpenCreatesNothing) {
    const std::string file = testdb::TempSqliteFile("nul_connection");
    struct Case {
        std::string connectionString;
        std::string userId;
        std::string password;
    };
    const std::string good = "Provider=SQLite;Data Source=" + file + ";Create=True";
    const Case cases[] = {
        {"Provider=SQLite;Data Source=" + file + "\0.other;Create=True"s, "", ""},
        {good + "\0;Data Source=/tmp/elsewhere.db"s, "", ""},
        {good, "", "pw\0tail"s},
        {good, "user\0tail"s, ""},
        {good + ";Password=pw\0tail"s, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connectionString.size());
        _ConnectionPtr connection;
        ASSERT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
        testcom::Failure failure = testcom::FailureOf([&] {
            connection->Open(_bstr_t(c.connectionString), _bstr_t(c.userId), _bstr_t(c.password),
                             adConnectUnspecified);
        });
        EXPECT_EQ(failure.hr, E_INVALIDARG) << failure.description;
        EXPECT_NE(failure.description.find("NUL"), std::string::npos) << failure.description;
        EXPECT_EQ(connection->GetState(), adStateClosed);
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

}  // namespace
