// The databases the tests run against, and how a test reacts when one is missing.
//
// scripts/db-servers.sh start (run by scripts/test-all.sh) starts private PostgreSQL and
// MariaDB instances on 127.0.0.1 (ports 55432 and 53306 unless chosen otherwise) and writes
// build/odbc/env.sh, which sets ODBCSYSINI, ODBCINI and the DBPLATFORM_TEST_* connection
// strings with their ports. In CI (CI=true) a missing server fails the test; elsewhere the test says so
// loudly and is counted as skipped.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testdb {

enum class Target { SqliteNative, SqliteOdbc, PostgresNative, PostgresOdbc, MariaOdbc };

inline const char* TargetName(Target target) {
    switch (target) {
        case Target::SqliteNative: return "SqliteNative";
        case Target::SqliteOdbc: return "SqliteOdbc";
        case Target::PostgresNative: return "PostgresNative";
        case Target::PostgresOdbc: return "PostgresOdbc";
        case Target::MariaOdbc: return "MariaOdbc";
    }
    return "?";
}

inline std::vector<Target> AllTargets() {
    return {Target::SqliteNative, Target::SqliteOdbc, Target::PostgresNative, Target::PostgresOdbc, Target::MariaOdbc};
}

inline bool InCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// A name unique to this process, for tables and files: tests run in parallel processes
// against the same servers.
inline std::string UniqueName(const std::string& stem) {
    return stem + "_" + std::to_string(::getpid());
}

// A fresh SQLite file path in the temporary directory (removed first if present).
inline std::string TempSqliteFile(const std::string& stem) {
    auto path = std::filesystem::temp_directory_path() / (UniqueName(stem) + ".db");
    std::filesystem::remove(path);
    return path.string();
}

// The connection string for `target`, or "" when its server is not configured.
// `sqliteFile` is the database file for the two SQLite targets.
inline std::string ConnectionString(Target target, const std::string& sqliteFile) {
    auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    switch (target) {
        case Target::SqliteNative: return "Provider=SQLite;Data Source=" + sqliteFile + ";Create=True";
        case Target::SqliteOdbc:
            if (env("ODBCSYSINI").empty()) return "";
            return "Driver=SQLite3;Database=" + sqliteFile + ";StepAPI=1";
        case Target::PostgresNative: return env("DBPLATFORM_TEST_PG");
        case Target::PostgresOdbc: return env("DBPLATFORM_TEST_PG_ODBC");
        case Target::MariaOdbc: return env("DBPLATFORM_TEST_MARIA_ODBC");
    }
    return "";
}

// Call at the start of a test that needs `target`: fails in CI, skips loudly elsewhere.
#define TESTDB_REQUIRE(connectionString, target)                                                      \
    do {                                                                                              \
        if ((connectionString).empty()) {                                                             \
            if (::testdb::InCi()) FAIL() << "database target " << ::testdb::TargetName(target)        \
                                         << " is not configured (scripts/db-servers.sh start)";       \
            GTEST_SKIP() << "*** database target " << ::testdb::TargetName(target)                    \
                         << " is not configured: run scripts/db-servers.sh start and source "          \
                            "build/odbc/env.sh ***";                                                  \
        }                                                                                             \
    } while (0)

}  // namespace testdb
