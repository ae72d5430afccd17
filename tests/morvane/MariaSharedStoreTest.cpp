// Several model hosts on one MariaDB store: each charge gets exactly one result. The
// store's table names are fixed, so the test makes a database of its own (the test
// servers let the test user make databases named adotest_...) and drops it at the end;
// the hosts reach it through a private ODBC data source, and the rows are counted with
// the mariadb client.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "../TestDatabases.h"
#include "HostProcesses.h"

namespace {

using hosts::Quoted;

// Output of a shell command and its exit status.
std::string Shell(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        *status = -1;
        return output;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) output += line;
    *status = pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

class MariaSharedStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* text = std::getenv("DBPLATFORM_TEST_MARIA_ODBC");
        connection_ = text ? text : "";
        TESTDB_REQUIRE(connection_, testdb::Target::MariaOdbc);
        keys_ = hosts::ConnectionKeys("DBPLATFORM_TEST_MARIA_ODBC");
        database_ = testdb::UniqueName("adotest_morvane_shared");
        Server("DROP DATABASE IF EXISTS " + database_ + "; CREATE DATABASE " + database_ + ";");
        created_ = true;

        auto dir = std::filesystem::temp_directory_path() / testdb::UniqueName("morvane_maria_odbc");
        std::filesystem::create_directories(dir);
        // The drivers as the test servers' own ODBC configuration registers them.
        const char* drivers = std::getenv("ODBCSYSINI");
        ASSERT_TRUE(drivers) << "source build/odbc/env.sh";
        std::filesystem::copy_file(std::filesystem::path(drivers) / "odbcinst.ini", dir / "odbcinst.ini",
                                   std::filesystem::copy_options::overwrite_existing);
        dataSource_ = testdb::UniqueName("morvane_maria");
        std::ofstream(dir / "odbc.ini") << "[" << dataSource_ << "]\nDriver=MariaDB Unicode\nServer=" << keys_["server"]
                                        << "\nPort=" << keys_["port"] << "\nDatabase=" << database_ << "\n";
        odbcDir_ = dir.string();

        std::string columns;
        for (int n = 1; n <= 250; ++n) columns += ", SEQ_" + std::to_string(n) + " DOUBLE";
        Client("CREATE TABLE MODEL_RESULTBURDENDIS (TIMESTAMP DATETIME, MATERIAL INTEGER, LEFTPOINT REAL, CHARGE "
               "INTEGER" + columns + ");");
    }

    void TearDown() override {
        if (created_) Server("DROP DATABASE IF EXISTS " + database_ + ";");
        if (!odbcDir_.empty()) std::filesystem::remove_all(odbcDir_);
    }

    // The server as the test user, outside any database: making and dropping the test's own.
    void Server(const std::string& sql) {
        int status = 0;
        std::string output = Shell("MYSQL_PWD=" + Quoted(keys_["pwd"]) + " mariadb -h " + Quoted(keys_["server"]) +
                                       " -P " + Quoted(keys_["port"]) + " -u " + Quoted(keys_["uid"]) + " -e " +
                                       Quoted(sql),
                                   &status);
        ASSERT_EQ(status, 0) << "cannot make the test database (scripts/db-servers.sh start): " << output;
    }

    // The test's database as the test user; the first column of the first row.
    std::string Client(const std::string& sql) {
        int status = 0;
        std::string output = Shell("MYSQL_PWD=" + Quoted(keys_["pwd"]) + " mariadb -N -B -h " + Quoted(keys_["server"]) +
                                       " -P " + Quoted(keys_["port"]) + " -u " + Quoted(keys_["uid"]) + " " +
                                       Quoted(database_) + " -e " + Quoted(sql),
                                   &status);
        EXPECT_EQ(status, 0) << sql << "\n" << output;
        return output.substr(0, output.find_first_of("\t\n"));
    }

    std::string connection_;
    std::map<std::string, std::string> keys_;
    std::string database_, dataSource_, odbcDir_;
    bool created_ = false;
};

// Hosts that store the same charges at once leave one whole row per charge, with or
// without a unique key, and every call of every host returned 1 with nothing shown.
TEST_F(MariaSharedStoreTest, EveryChargeGetsExactlyOneResult) {
    const int cycles = hosts::Cycles();
    struct Case {
        const char* name;
        const char* schema;
    } cases[] = {
        {"NoUniqueKey", "DELETE FROM MODEL_RESULTBURDENDIS;"},
        {"UniqueKey", "DELETE FROM MODEL_RESULTBURDENDIS; CREATE UNIQUE INDEX result_time ON "
                      "MODEL_RESULTBURDENDIS (TIMESTAMP);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Client(c.schema);
        hosts::RunHosts(dataSource_, cycles, keys_["uid"],
                        {{"ODBCSYSINI", odbcDir_}, {"ODBCINI", odbcDir_ + "/odbc.ini"},
                         {"MORVANE_TEST_PASSWORD", keys_["pwd"]}});
        EXPECT_EQ(Client("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS;"), std::to_string(cycles)) << "rows";
        EXPECT_EQ(Client("SELECT COUNT(DISTINCT TIMESTAMP) FROM MODEL_RESULTBURDENDIS;"), std::to_string(cycles))
            << "distinct times";
        EXPECT_EQ(Client("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS WHERE SEQ_1 <> SEQ_250 OR SEQ_1 <> LEFTPOINT;"),
                  "0")
            << "rows mixing hosts";
    }
}

}  // namespace
