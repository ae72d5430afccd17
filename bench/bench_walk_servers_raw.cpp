// The plain-library loops the providers are measured against: PQexec + PQgetvalue, the
// same query streamed in libpq's single-row mode, and SQLExecDirect + SQLFetch + SQLGetData. No platform header here: unixODBC's headers
// declare Windows types of their own.
#include "bench_walk_servers.h"

#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace benchwalk {
namespace {

// libpq keywords from the ADO string "Provider=PostgreSQL;Data Source=host[:port];Location=db;...".
std::string ConnInfo() {
    std::string ado = PostgresConnectionString();
    std::string info;
    std::size_t start = 0;
    while (start < ado.size()) {
        std::size_t end = ado.find(';', start);
        if (end == std::string::npos) end = ado.size();
        std::string pair = ado.substr(start, end - start);
        start = end + 1;
        std::size_t equals = pair.find('=');
        if (equals == std::string::npos) continue;
        std::string key = pair.substr(0, equals), value = pair.substr(equals + 1);
        if (key == "Data Source") {
            std::size_t colon = value.find(':');
            info += " host=" + value.substr(0, colon);
            if (colon != std::string::npos) info += " port=" + value.substr(colon + 1);
        } else if (key == "Location" || key == "Initial Catalog") {
            info += " dbname=" + value;
        } else if (key == "User ID") {
            info += " user=" + value;
        } else if (key == "Password") {
            info += " password=" + value;
        }
    }
    return info;
}

PGconn* ConnectPostgres() {
    PGconn* connection = PQconnectdb(ConnInfo().c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        std::fprintf(stderr, "PostgreSQL: %s", PQerrorMessage(connection));
        PQfinish(connection);
        return nullptr;
    }
    PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);
    return connection;
}

bool Exec(PGconn* connection, const std::string& sql) {
    PGresult* result = PQexec(connection, sql.c_str());
    bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_COPY_IN;
    if (!ok) std::fprintf(stderr, "PostgreSQL: %s", PQresultErrorMessage(result));
    PQclear(result);
    return ok;
}

// Reads every row of `rows` as a host would: the numbers parsed from their text, the
// date's text touched, the label's length; returns their sum.
double ReadRows(const PGresult* rows) {
    double checksum = 0;
    for (int row = 0, count = PQntuples(rows); row < count; ++row) {
        checksum += static_cast<double>(std::atoll(PQgetvalue(rows, row, 0)));
        checksum += PQgetvalue(rows, row, 1)[18];
        checksum += std::strtod(PQgetvalue(rows, row, 2), nullptr);
        checksum += PQgetlength(rows, row, 3);
    }
    return checksum;
}

}  // namespace

std::string PostgresTableFor(const std::string& sqliteFile) { return std::filesystem::path(sqliteFile).stem().string(); }

std::string PostgresConnectionString() {
    const char* value = std::getenv("DBPLATFORM_TEST_PG");
    return value ? value : "";
}

std::string SqliteOdbcConnectionString(const std::string& sqliteFile) {
    return "Driver=SQLite3;Database=" + sqliteFile + ";StepAPI=1";
}

bool LoadIntoPostgres(const std::string& sqliteFile) {
    if (PostgresConnectionString().empty()) return false;
    PGconn* connection = ConnectPostgres();
    if (!connection) return false;
    std::string table = PostgresTableFor(sqliteFile);
    bool ok = Exec(connection, "DROP TABLE IF EXISTS " + table) &&
              Exec(connection, "CREATE TABLE " + table +
                                   " (id integer primary key, born timestamp, amount double precision, label text)") &&
              Exec(connection, "COPY " + table + " FROM STDIN");
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (ok && sqlite3_open_v2(sqliteFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "select id, born, amount, label from walk", -1, &statement, nullptr) == SQLITE_OK) {
        std::string buffer;
        char line[160];
        while (sqlite3_step(statement) == SQLITE_ROW) {
            int length = std::snprintf(line, sizeof line, "%lld\t%s\t%.17g\t%s\n",
                                       static_cast<long long>(sqlite3_column_int64(statement, 0)),
                                       reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)),
                                       sqlite3_column_double(statement, 2),
                                       reinterpret_cast<const char*>(sqlite3_column_text(statement, 3)));
            buffer.append(line, static_cast<std::size_t>(length));
            if (buffer.size() > (1 << 20)) {
                PQputCopyData(connection, buffer.data(), static_cast<int>(buffer.size()));
                buffer.clear();
            }
        }
        if (!buffer.empty()) PQputCopyData(connection, buffer.data(), static_cast<int>(buffer.size()));
        PQputCopyEnd(connection, nullptr);
        PGresult* result = PQgetResult(connection);
        ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        if (!ok) std::fprintf(stderr, "PostgreSQL copy: %s", PQresultErrorMessage(result));
        PQclear(result);
        while (PGresult* rest = PQgetResult(connection)) PQclear(rest);
    } else {
        ok = false;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (ok) ok = Exec(connection, "ANALYZE " + table);
    PQfinish(connection);
    return ok;
}

void DropFromPostgres(const std::string& sqliteFile) {
    if (PGconn* connection = ConnectPostgres()) {
        Exec(connection, "DROP TABLE IF EXISTS " + PostgresTableFor(sqliteFile));
        PQfinish(connection);
    }
}

// PQexec holds the whole result in the client; PQgetvalue reads the text of each value.
ServerWalkResult WalkPgRaw(const std::string& sqliteFile) {
    ServerWalkResult result;
    double start = Now();
    PGconn* connection = ConnectPostgres();
    if (!connection) std::exit(2);
    PGresult* rows = PQexec(connection, ("select id, born, amount, label from " + PostgresTableFor(sqliteFile)).c_str());
    if (PQresultStatus(rows) != PGRES_TUPLES_OK) std::exit(2);
    result.checksum += ReadRows(rows);
    PQclear(rows);
    PQfinish(connection);
    result.seconds = Now() - start;
    return result;
}

// PQsendQuery in single-row mode, each row a result of its own, read as WalkPgRaw reads
// it: the way the provider streams, so the fair floor for it. The clock covers the same
// span as the recordset's walk: connecting, the query, every row, closing.
ServerWalkResult WalkPgRawSingleRow(const std::string& sqliteFile) {
    ServerWalkResult result;
    double start = Now();
    PGconn* connection = ConnectPostgres();
    if (!connection) std::exit(2);
    std::string query = "select id, born, amount, label from " + PostgresTableFor(sqliteFile);
    if (!PQsendQuery(connection, query.c_str()) || !PQsetSingleRowMode(connection)) std::exit(2);
    while (PGresult* rows = PQgetResult(connection)) {
        ExecStatusType status = PQresultStatus(rows);
        if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK) std::exit(2);
        result.checksum += ReadRows(rows);
        PQclear(rows);
    }
    PQfinish(connection);
    result.seconds = Now() - start;
    return result;
}

// The same rows through COPY (query) TO STDOUT: one line of text per row, no result object
// per row. Not what the provider does (COPY tells nothing of the columns' types, so a
// provider would have to describe each query first, a round trip more for every query);
// here to show what libpq's per-row cost is in the single-row loop. The fields are read as
// the other loops read them; the benchmark's labels hold no characters COPY escapes.
ServerWalkResult WalkPgRawCopy(const std::string& sqliteFile) {
    ServerWalkResult result;
    double start = Now();
    PGconn* connection = ConnectPostgres();
    if (!connection) std::exit(2);
    std::string query = "copy (select id, born, amount, label from " + PostgresTableFor(sqliteFile) + ") to stdout";
    PGresult* started = PQexec(connection, query.c_str());
    if (PQresultStatus(started) != PGRES_COPY_OUT) std::exit(2);
    PQclear(started);
    char* line = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(connection, &line, 0)) > 0) {
        const char* field[4] = {line, nullptr, nullptr, nullptr};
        const char* end = line + length;
        for (int f = 1; f < 4; ++f) {
            const char* tab = static_cast<const char*>(std::memchr(field[f - 1], '\t', end - field[f - 1]));
            if (!tab) std::exit(2);
            field[f] = tab + 1;
        }
        result.checksum += static_cast<double>(std::atoll(field[0]));
        result.checksum += field[1][18];
        result.checksum += std::strtod(field[2], nullptr);
        result.checksum += static_cast<double>(end - field[3] - (end[-1] == '\n' ? 1 : 0));
        PQfreemem(line);
    }
    if (length != -1) std::exit(2);
    while (PGresult* rest = PQgetResult(connection)) {
        if (PQresultStatus(rest) != PGRES_COMMAND_OK) std::exit(2);
        PQclear(rest);
    }
    PQfinish(connection);
    result.seconds = Now() - start;
    return result;
}

// SQLFetch and SQLGetData over the SQLite file through the SQLite ODBC driver.
ServerWalkResult WalkOdbcRaw(const std::string& sqliteFile) {
    ServerWalkResult result;
    double start = Now();
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
    std::string text = SqliteOdbcConnectionString(sqliteFile);
    if (!SQL_SUCCEEDED(SQLDriverConnect(connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr,
                                        0, nullptr, SQL_DRIVER_NOPROMPT))) {
        std::fprintf(stderr, "odbc-raw: cannot connect (source build/odbc/env.sh)\n");
        std::exit(2);
    }
    SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement);
    char query[] = "select id, born, amount, label from walk";
    if (!SQL_SUCCEEDED(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(query), SQL_NTS))) std::exit(2);
    while (SQL_SUCCEEDED(SQLFetch(statement))) {
        SQLBIGINT id = 0;
        char born[32];
        double amount = 0;
        char label[256];
        SQLLEN indicator = 0;
        SQLGetData(statement, 1, SQL_C_SBIGINT, &id, sizeof id, &indicator);
        SQLGetData(statement, 2, SQL_C_CHAR, born, sizeof born, &indicator);
        SQLGetData(statement, 3, SQL_C_DOUBLE, &amount, sizeof amount, &indicator);
        SQLGetData(statement, 4, SQL_C_CHAR, label, sizeof label, &indicator);
        result.checksum += static_cast<double>(id) + born[18] + amount + static_cast<double>(indicator);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    SQLDisconnect(connection);
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    result.seconds = Now() - start;
    return result;
}

void PrintWalkRatios(const std::map<std::string, double>& medianSeconds) {
    // Each walk against the raw loop of its own engine, with the ratio it aims at (0: none).
    struct Pair {
        const char* walk;
        const char* raw;
        double target;
    };
    static const Pair kPairs[] = {
        {"recordset-sqlite", "sqlite-raw", 2.0},     {"quillet-sqlite", "sqlite-raw", 2.5},
        {"quillet-sqlite-index", "sqlite-raw", 2.5}, {"recordset-pg", "pg-raw", 0},
        {"recordset-pg", "pg-raw-single-row", 1.2},  {"quillet-pg", "pg-raw-single-row", 0},
        {"recordset-odbc", "odbc-raw", 1.3},         {"quillet-odbc", "odbc-raw", 0}};
    bool header = false;
    for (const Pair& pair : kPairs) {
        auto walk = medianSeconds.find(pair.walk), raw = medianSeconds.find(pair.raw);
        if (walk == medianSeconds.end() || raw == medianSeconds.end() || raw->second <= 0) continue;
        if (!header) std::printf("\n%-22s   %-20s %6s %8s\n", "walk", "against raw loop", "ratio", "target");
        header = true;
        const double ratio = walk->second / raw->second;
        if (pair.target > 0)
            std::printf("%-22s / %-20s %6.2f %8.1f %s\n", pair.walk, pair.raw, ratio, pair.target,
                        ratio <= pair.target ? "met" : "not met");
        else
            std::printf("%-22s / %-20s %6.2f %8s\n", pair.walk, pair.raw, ratio, "-");
    }
}

}  // namespace benchwalk
