// The walk benchmark's methods on PostgreSQL (native and plain libpq) and through ODBC
// (the SQLite ODBC driver, and a plain SQLFetch/SQLGetData loop). Each reads the rows
// that bench_walk.cpp wrote to its SQLite file; the PostgreSQL ones read a copy of them
// loaded into the server first.
#pragma once

#include <ctime>
#include <map>
#include <string>

namespace benchwalk {

struct ServerWalkResult {
    double seconds = 0;
    double checksum = 0;  // keeps the reads from being optimised away
};

// CPU time of this process, as every walk measures it: the machine running the benchmark
// is usually busy with other work, and wall time would measure that too; nor is the
// server's share of a PostgreSQL walk counted, only what the client spends on the rows.
inline double Now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The PostgreSQL table that holds the rows of `sqliteFile` (named after the file).
std::string PostgresTableFor(const std::string& sqliteFile);
// The ADO connection string of the benchmark's PostgreSQL server (DBPLATFORM_TEST_PG),
// empty when it is not configured.
std::string PostgresConnectionString();
// Copies the rows of `sqliteFile` into PostgresTableFor(sqliteFile); false without a server.
bool LoadIntoPostgres(const std::string& sqliteFile);
void DropFromPostgres(const std::string& sqliteFile);

// The ODBC connection string for the SQLite file through the SQLite ODBC driver.
std::string SqliteOdbcConnectionString(const std::string& sqliteFile);

ServerWalkResult WalkPgRaw(const std::string& sqliteFile);
ServerWalkResult WalkPgRawSingleRow(const std::string& sqliteFile);
ServerWalkResult WalkPgRawCopy(const std::string& sqliteFile);
ServerWalkResult WalkRecordsetPg(const std::string& sqliteFile);
ServerWalkResult WalkOdbcRaw(const std::string& sqliteFile);
ServerWalkResult WalkRecordsetOdbc(const std::string& sqliteFile);

// Prints each walk's time against its own engine's raw loop (both PostgreSQL loops for the
// recordset) beside the ratio it aims at, for the methods present in `medianSeconds`
// (name -> seconds).
void PrintWalkRatios(const std::map<std::string, double>& medianSeconds);

// Runs `query` through a static read-only client Recordset on `connectionString`, reading
// every row with GetCollect. `timeConnecting` counts opening the connection in the time;
// `name` labels the error a failure prints before exiting with 2.
ServerWalkResult WalkRecordset(const std::string& connectionString, const std::string& query, const char* name,
                               bool timeConnecting);

}  // namespace benchwalk
