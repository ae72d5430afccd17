// The walk benchmark's methods on PostgreSQL (native and plain libpq) and through ODBC
// (the SQLite ODBC driver, and a plain SQLFetch/SQLGetData loop). Each reads the rows
// that bench_walk.cpp wrote to its SQLite file; the PostgreSQL ones read a copy of them
// loaded into the server first.
#pragma once

#include <string>

namespace benchwalk {

struct ServerWalkResult {
    double seconds = 0;
    double checksum = 0;
};

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
ServerWalkResult WalkRecordsetPg(const std::string& sqliteFile);
ServerWalkResult WalkOdbcRaw(const std::string& sqliteFile);
ServerWalkResult WalkRecordsetOdbc(const std::string& sqliteFile);

}  // namespace benchwalk
