// The data source of CMorvane::Connect is one value of the connection string: whatever it
// holds, it cannot choose another provider or add keys, and an ordinary data source name
// still connects as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>
#include <morvane/Morvane.h>

#include "TestDatabases.h"

namespace {

using namespace std::string_literals;

class MorvaneConnectSteering : public ::testing::Test {
protected:
    void SetUp() override {
        dbplatform::SetMessageBoxHandler([this](const char* text, const char*, unsigned) {
            shown_.push_back(text);
            return 1;
        });
    }
    void TearDown() override { dbplatform::SetMessageBoxHandler({}); }
    std::vector<std::string> shown_;
};

TEST_F(MorvaneConnectSteering, DataSourceCannotSwitchTheProvider) {
    const std::string file = testdb::TempSqliteFile("morvane_steered");
    const std::string steer = ";Provider=SQLite;Data Source=" + file + ";Create=True";
    const std::string sources[] = {
        "x" + steer,
        "\"x\"" + steer,
        "'x'" + steer,
        "=x" + steer,
        " x " + steer,
        "x\"" + steer + ";\"",
        "x\0"s + steer,
    };
    for (const char* kind : {"MicroSoft Access", "Oracle9i"}) {
        for (const std::string& source : sources) {
            SCOPED_TRACE(std::string(kind) + " / " + source);
            shown_.clear();
            CMorvane store;
            store.m_bstrDbType = kind;
            store.m_bstrDataSource = _bstr_t(source);
            EXPECT_EQ(store.Connect(), 0);
            ASSERT_EQ(shown_.size(), 1u);
            EXPECT_EQ(shown_[0].rfind("连接数据库错误信息:", 0), 0u) << shown_[0];
            EXPECT_FALSE(std::filesystem::exists(file));
            std::filesystem::remove(file);
        }
    }
}

// An ordinary data source name still reaches its ODBC data source, and the connection
// string holds it unquoted, as the template writes it.
TEST_F(MorvaneConnectSteering, OrdinaryDataSourceNamesStillConnect) {
    const char* odbcIni = std::getenv("ODBCINI");
    const std::string configured = odbcIni ? "ado_sqlite" : "";
    TESTDB_REQUIRE(configured, testdb::Target::SqliteOdbc);
    CMorvane store;
    store.m_bstrDbType = "MicroSoft Access";
    store.m_bstrDataSource = configured.c_str();
    EXPECT_EQ(store.Connect(), 1);
    EXPECT_TRUE(shown_.empty()) << shown_.front();
    ASSERT_TRUE(store.m_pConnection);
    EXPECT_EQ(std::string(static_cast<const char*>(store.m_pConnection->GetConnectionString())),
              "Provider=MSDASQL.1;Persist Security Info=False;Data Source=ado_sqlite");
}

}  // namespace
