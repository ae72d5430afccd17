// Several model hosts on one store: each charge gets exactly one result, whoever
// stores it, with or without a unique key on the result table. The hosts are real
// processes (morvane_result_insert_host) on one SQLite file and one PostgreSQL schema,
// through the ODBC drivers; the store is checked with the sqlite3 or psql client.
#include <chrono>
#include <cstdio>
#include <thread>

#include "HostProcesses.h"
#include "PlantDatabase.h"

namespace plant {
namespace {

using hosts::Quoted;

struct SharedCase {
    const char* name;
    bool uniqueKey;   // a unique index on TIMESTAMP
    bool walJournal;  // SQLite only: the journal mode the plant tool gives its files
};

const SharedCase kSharedCases[] = {
    {"NoUniqueKey", false, false},
    {"UniqueKey", true, false},
    {"NoUniqueKeyWal", false, true},
};

class SharedStoreTest : public PlantTest {
protected:
    std::string Pg(const char* key) { return hosts::ConnectionKeys("DBPLATFORM_TEST_PG_ODBC")[key]; }

    // Runs `sql` in a psql of its own in this test's schema, in the background: the
    // caller reads its end with pclose.
    FILE* StartPsql(const std::string& sql) {
        std::string command = "PGPASSWORD=" + Quoted(Pg("pwd")) + " PGOPTIONS=" +
                              Quoted("-c search_path=" + testdb::UniqueName("m")) +
                              " psql -X -q -v ON_ERROR_STOP=1 -o /dev/null -h " + Quoted(Pg("server")) + " -p " +
                              Quoted(Pg("port")) + " -U " + Quoted(Pg("uid")) + " -d " + Quoted(Pg("database")) +
                              " -c " + Quoted(sql);
        return popen(command.c_str(), "r");
    }
};

// 4 hosts store the same charges at the same time: every charge ends with one row,
// written whole by one host, and every host saw status 1 and no message for each call.
TEST_P(SharedStoreTest, EveryChargeGetsExactlyOneResult) {
    const int cycles = hosts::Cycles();
    for (const SharedCase& c : kSharedCases) {
        if (c.walJournal && Postgres()) continue;
        SCOPED_TRACE(c.name);
        Client("DELETE FROM MODEL_RESULTBURDENDIS;");
        if (c.walJournal) Client("PRAGMA journal_mode=WAL;");
        Client(c.uniqueKey ? "CREATE UNIQUE INDEX result_time ON MODEL_RESULTBURDENDIS (TIMESTAMP);"
                           : "DROP INDEX IF EXISTS result_time;");

        if (Postgres()) {
            hosts::RunHosts(dataSource_, cycles, Pg("uid"), {{"MORVANE_TEST_PASSWORD", Pg("pwd")}});
        } else {
            hosts::RunHosts(dataSource_, cycles, "", {});
        }

        EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), cycles) << "rows";
        EXPECT_EQ(ClientValue("SELECT COUNT(DISTINCT TIMESTAMP) FROM MODEL_RESULTBURDENDIS;"), std::to_string(cycles))
            << "distinct times";
        EXPECT_EQ(ClientValue("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP < '" + TimeAt(0) +
                              "' OR TIMESTAMP > '" + TimeAt(cycles - 1) + "';"),
                  "0")
            << "rows outside the charges stored";
        // A row written by two hosts at once would mix their numbers.
        EXPECT_EQ(ClientValue("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS WHERE SEQ_1 <> SEQ_250 OR SEQ_1 <> "
                              "LEFTPOINT OR SEQ_1 NOT BETWEEN 1 AND " + std::to_string(hosts::kHosts) + ";"),
                  "0")
            << "rows mixing hosts";
    }
}

// A duplicate the store refuses, from a writer that takes no lock and commits while
// this host waits on the unique key, is the row that exists: status 1, nothing shown,
// and the other writer's row stays alone. A refusal by any other integrity rule is a
// failure, shown, with nothing written; the object stays usable afterwards.
struct RefusalCase {
    const char* name;
    const char* index;           // the integrity rule on the result table
    bool otherWriterHolds;       // another writer inserts the key and commits later
    int expectedStatus;
    std::size_t expectedShown;
    long expectedRows;           // rows with the key afterwards
};

TEST_P(SharedStoreTest, RefusedInsertIsExistingRowOnlyWhenTheKeyIsThere) {
    const std::string time = TimeAt(30);
    const RefusalCase cases[] = {
        {"DuplicateFromWriterWithoutLock", "CREATE UNIQUE INDEX result_time ON MODEL_RESULTBURDENDIS (TIMESTAMP);",
         true, 1, 0, 1},
        {"OneResultPerDayRule",
         Postgres() ? "CREATE UNIQUE INDEX result_day ON MODEL_RESULTBURDENDIS (CAST(TIMESTAMP AS date));"
                    : "CREATE UNIQUE INDEX result_day ON MODEL_RESULTBURDENDIS (substr(TIMESTAMP, 1, 10));",
         false, -1, 1, 0},
    };
    for (const RefusalCase& c : cases) {
        if (c.otherWriterHolds && !Postgres()) continue;  // SQLite's write lock admits no such writer
        SCOPED_TRACE(c.name);
        Client("DROP INDEX IF EXISTS result_time; DROP INDEX IF EXISTS result_day; DELETE FROM MODEL_RESULTBURDENDIS;");
        Client(c.index);
        if (!c.otherWriterHolds) AddResult(TimeAt(0), "10", "0", 7.0);  // same day, other time

        CMorvane store;
        ASSERT_EQ(Connect(store), 1);
        std::snprintf(store.m_szBDTime, sizeof(store.m_szBDTime), "%s", time.c_str());
        store.m_nBDMaterial = 20;
        store.m_dBDLeftPoint = 5;
        for (double& point : store.m_dBDSeq) point = 5;
        shown_.clear();

        FILE* writer = nullptr;
        if (c.otherWriterHolds) {
            writer = StartPsql("/* other writer */ BEGIN; " + ResultSql(time, "99", "0", 9.0) + " SELECT pg_sleep(1.5); COMMIT;");
            ASSERT_NE(writer, nullptr);
            // Wait until its insert is in and it sleeps (the server shows only the
            // start of a long statement, so the writer is known by its opening comment).
            bool sleeping = false;
            for (int i = 0; i < 100 && !sleeping; ++i)
                sleeping = ClientValue("SELECT COUNT(*) FROM pg_stat_activity WHERE query LIKE '/* other writer */%' "
                                       "AND wait_event = 'PgSleep';") == "1";
            ASSERT_TRUE(sleeping) << "the other writer did not start";
        }
        int status = store.ResultInsertBD();
        if (writer) {
            EXPECT_EQ(pclose(writer), 0) << "the other writer failed";
        }

        EXPECT_EQ(status, c.expectedStatus);
        ASSERT_EQ(shown_.size(), c.expectedShown) << (shown_.empty() ? "" : shown_.front().text);
        if (c.expectedShown) {
            EXPECT_EQ(shown_.front().text, Expected("ResultInsertBD", DB_E_INTEGRITYVIOLATION));
        }
        EXPECT_EQ(ClientValue("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP = '" + time + "';"),
                  std::to_string(c.expectedRows));
        if (c.otherWriterHolds) {
            EXPECT_EQ(ClientValue("SELECT MATERIAL FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP = '" + time + "';"),
                      "99");
        }

        // Usable afterwards: the next charge is stored (the next day, for the day rule).
        shown_.clear();
        std::string next = TimeAt(30 + 1440);
        std::snprintf(store.m_szBDTime, sizeof(store.m_szBDTime), "%s", next.c_str());
        EXPECT_EQ(store.ResultInsertBD(), 1);
        EXPECT_TRUE(shown_.empty()) << (shown_.empty() ? "" : shown_.front().text);
        EXPECT_EQ(ClientValue("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP = '" + next + "';"), "1");
    }
}

// A failure is shown in a modal box, which waits for the plant engineer: meanwhile the
// other hosts must be able to write, so the call holds no lock while it shows one.
// (SQLite: another writer's BEGIN IMMEDIATE fails at once while a write lock is held.)
TEST_P(SharedStoreTest, NoLockIsHeldWhileAFailureIsShown) {
    if (Postgres()) GTEST_SKIP() << "checked on SQLite, whose write lock another client can probe";
    struct Case {
        const char* name;
        const char* schema;
        std::size_t expectedShown;
    } cases[] = {
        {"RefusedByIntegrityRule",
         "CREATE UNIQUE INDEX result_day ON MODEL_RESULTBURDENDIS (substr(TIMESTAMP, 1, 10));", 1},
        {"TableMissing", "DROP TABLE MODEL_RESULTBURDENDIS;", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Client(c.schema);
        if (c.expectedShown == 1) AddResult(TimeAt(0), "10", "0", 7.0);
        CMorvane store;
        ASSERT_EQ(Connect(store), 1);
        std::snprintf(store.m_szBDTime, sizeof(store.m_szBDTime), "%s", TimeAt(30).c_str());
        std::vector<bool> othersWrote;  // per message shown
        dbplatform::SetMessageBoxHandler([&](const char*, const char*, unsigned) {
            othersWrote.push_back(Client("BEGIN IMMEDIATE; ROLLBACK; SELECT 'wrote';") ==
                                  std::vector<std::string>{"wrote"});
            return 1;
        });
        EXPECT_EQ(store.ResultInsertBD(), -1);
        EXPECT_EQ(othersWrote, std::vector<bool>(c.expectedShown, true));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, SharedStoreTest, ::testing::Values(Target::Sqlite, Target::Postgres), TargetName);

}  // namespace
}  // namespace plant
