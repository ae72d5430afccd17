// Walk benchmark: reads a large table once per method and reports time and peak memory.
//
// The parent creates the table in a temporary SQLite file, then runs every method in a
// child process of its own (this program again, with --mode), so that each peak memory
// figure belongs to that method alone. Add a method by adding a row to kMethods.
//
//   bench-walk [--rows N] [--repeat R] [--methods a,b,...] [--keep]
//
// Defaults: 1,000,000 rows, every method once. With --repeat each method runs R times,
// each in a fresh process, the methods taking turns round by round, and the median
// time and median memory are shown. The memory
// column is the peak resident memory above the child's own at its start, against the
// values read (8 bytes per number or date plus the bytes of each text).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_walk_quillet.h"
#include "bench_walk_servers.h"

namespace {

using WalkResult = benchwalk::ServerWalkResult;
using benchwalk::Now;

using Method = WalkResult (*)(const std::string& databaseFile);

const char* kQuery = "select id, born, amount, label from walk";

// sqlite3_prepare/step reading every value on a connection opened with `flags`.
WalkResult WalkSqliteRawOpened(const std::string& file, int flags) {
    WalkResult result;
    double start = Now();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) std::exit(2);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, kQuery, -1, &statement, nullptr) != SQLITE_OK) std::exit(2);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        result.checksum += static_cast<double>(sqlite3_column_int64(statement, 0));
        const unsigned char* born = sqlite3_column_text(statement, 1);
        result.checksum += born ? born[18] : 0;
        result.checksum += sqlite3_column_double(statement, 2);
        result.checksum += sqlite3_column_bytes(statement, 3);
        (void)sqlite3_column_text(statement, 3);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    result.seconds = Now() - start;
    return result;
}

// The raw loop as a program writes it by default (SQLite's serialized connection): the
// floor the others are measured against.
WalkResult WalkSqliteRaw(const std::string& file) { return WalkSqliteRawOpened(file, SQLITE_OPEN_READONLY); }

// The same loop on a connection without SQLite's connection mutex, as the SQLite
// provider opens its connections: what the raw loop costs without the lock it takes
// around every call.
WalkResult WalkSqliteRawUnlocked(const std::string& file) {
    return WalkSqliteRawOpened(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
}

// The same rows through a static read-only client Recordset, read with GetCollect; the
// clock starts once the connection is open.
WalkResult WalkRecordsetSqlite(const std::string& file) {
    return benchwalk::WalkRecordset("Provider=SQLite;Data Source=" + file, kQuery, "recordset-sqlite", false);
}

struct MethodEntry {
    const char* name;
    Method walk;
};

const MethodEntry kMethods[] = {
    {"sqlite-raw", WalkSqliteRaw},
    {"recordset-sqlite", WalkRecordsetSqlite},
    {"quillet-sqlite", benchwalk::WalkQuilletSqlite},
    {"sqlite-raw-unlocked", WalkSqliteRawUnlocked},
    {"quillet-sqlite-index", benchwalk::WalkQuilletSqliteIndex},
    // PostgreSQL (a copy of the same rows) and the SQLite file through the ODBC driver.
    {"pg-raw", benchwalk::WalkPgRaw},
    {"pg-raw-single-row", benchwalk::WalkPgRawSingleRow},
    {"pg-raw-copy", benchwalk::WalkPgRawCopy},
    {"recordset-pg", benchwalk::WalkRecordsetPg},
    {"quillet-pg", benchwalk::WalkQuilletPg},
    {"odbc-raw", benchwalk::WalkOdbcRaw},
    {"recordset-odbc", benchwalk::WalkRecordsetOdbc},
    {"quillet-odbc", benchwalk::WalkQuilletOdbc},
};

// Rows of (integer, date as canonical text, double, text), in one transaction.
// Returns the raw size of the values: 8 bytes per number or date plus the text bytes.
double CreateTable(const std::string& file, long rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) std::exit(2);
    sqlite3_exec(db, "create table walk (id integer primary key, born timestamp, amount double, label text)", nullptr,
                 nullptr, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into walk values (?, ?, ?, ?)", -1, &insert, nullptr);
    double rawBytes = 0;
    for (long i = 1; i <= rows; ++i) {
        char born[32], label[48];
        std::snprintf(born, sizeof born, "20%02ld-%02ld-%02ld %02ld:%02ld:%02ld", i % 100, i % 12 + 1, i % 28 + 1,
                      i % 24, i % 60, (i / 60) % 60);
        int labelLength = std::snprintf(label, sizeof label, "charge %ld of the walk", i);
        sqlite3_bind_int64(insert, 1, i);
        sqlite3_bind_text(insert, 2, born, -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 3, i * 0.25);
        sqlite3_bind_text(insert, 4, label, labelLength, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        rawBytes += 8 + 8 + 8 + labelLength;
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rawBytes;
}

struct Measured {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
    double startMiB = 0;  // the child's resident memory before the method ran
};

// This process's resident memory now, from /proc (0 when unreadable).
double ResidentMiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    double kib = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %lf", &kib) == 1) break;
    std::fclose(status);
    return kib / 1024.0;
}

// Runs one method in a child process and reads its time from a pipe and its peak
// resident memory from the kernel's accounting of that child.
Measured RunChild(const char* self, const char* method, const std::string& file) {
    Measured measured;
    int fds[2];
    if (pipe(fds) != 0) return measured;
    pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(self, self, "--mode", method, "--db", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string output;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return measured;
    double checksum = 0;
    measured.ok = std::sscanf(output.c_str(), "%lf %lf %lf", &measured.seconds, &checksum, &measured.startMiB) >= 1;
    measured.peakMiB = usage.ru_maxrss / 1024.0;  // kilobytes on Linux
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 1000000;
    bool keep = false;
    int repeat = 1;
    std::string only;  // ",a,b," when --methods names some
    const char* mode = nullptr;
    std::string database;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) rows = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--mode") && i + 1 < argc) mode = argv[++i];
        else if (!std::strcmp(argv[i], "--db") && i + 1 < argc) database = argv[++i];
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--methods") && i + 1 < argc) only = std::string(",") + argv[++i] + ",";
        else if (!std::strcmp(argv[i], "--keep")) keep = true;
        else {
            std::fprintf(stderr, "usage: %s [--rows N] [--repeat R] [--methods a,b,...] [--keep]\n", argv[0]);
            return 2;
        }
    }
    if (mode) {
        if (!std::strcmp(mode, "idle")) {
            std::printf("0 0 %.3f\n", ResidentMiB());
            return 0;
        }
        for (const auto& method : kMethods) {
            if (std::strcmp(method.name, mode)) continue;
            double startMiB = ResidentMiB();
            WalkResult result = method.walk(database);
            std::printf("%.6f %.17g %.3f\n", result.seconds, result.checksum, startMiB);
            return 0;
        }
        std::fprintf(stderr, "unknown mode %s\n", mode);
        return 2;
    }

    std::string file = (std::filesystem::temp_directory_path() / ("bench_walk_" + std::to_string(getpid()) + ".db")).string();
    std::filesystem::remove(file);
    std::printf("creating %ld rows in %s ...\n", rows, file.c_str());
    double rawBytes = CreateTable(file, rows);
    std::printf("raw data: %.1f MiB (8 bytes per number or date, plus the text)\n", rawBytes / 1048576.0);
    bool inPostgres = benchwalk::LoadIntoPostgres(file);
    if (!inPostgres) std::printf("PostgreSQL not configured (DBPLATFORM_TEST_PG): its walks fail\n");
    Measured idle = RunChild("/proc/self/exe", "idle", file);
    std::printf("process baseline: %.1f MiB; median of %d run(s) per method\n\n", idle.peakMiB, repeat);
    std::printf("%-22s %10s %10s %12s %10s %10s\n", "method", "cpu s", "peak MiB", "above start", "x values",
                "time/raw");
    struct Runs {
        const MethodEntry* method;
        std::vector<double> seconds, above, peaks;
        bool failed = false;
    };
    std::vector<Runs> chosen;
    for (const auto& method : kMethods)
        if (only.empty() || only.find(std::string(",") + method.name + ",") != std::string::npos)
            chosen.push_back(Runs{&method, {}, {}, {}});
    // Round by round, each method once a round: a load on the machine that comes and goes
    // during the bench then slows every method alike, not the one that ran at the time.
    for (int run = 0; run < repeat; ++run) {
        for (Runs& runs : chosen) {
            if (runs.failed) continue;
            Measured measured = RunChild("/proc/self/exe", runs.method->name, file);
            if (!measured.ok) {
                runs.failed = true;
                continue;
            }
            runs.seconds.push_back(measured.seconds);
            runs.above.push_back(measured.peakMiB - measured.startMiB);
            runs.peaks.push_back(measured.peakMiB);
        }
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    double rawSeconds = 0;
    std::map<std::string, double> medianSeconds;
    for (const Runs& runs : chosen) {
        if (runs.failed) {
            std::printf("%-22s failed\n", runs.method->name);
            continue;
        }
        double time = median(runs.seconds), aboveStart = median(runs.above);
        if (rawSeconds == 0) rawSeconds = time;
        medianSeconds[runs.method->name] = time;
        std::printf("%-22s %10.3f %10.1f %12.1f %10.2f %10.2f\n", runs.method->name, time, median(runs.peaks),
                    aboveStart, aboveStart * 1048576.0 / rawBytes, rawSeconds > 0 ? time / rawSeconds : 0.0);
    }
    benchwalk::PrintWalkRatios(medianSeconds);
    if (inPostgres && !keep) benchwalk::DropFromPostgres(file);
    if (!keep) std::filesystem::remove(file);
    return 0;
}
