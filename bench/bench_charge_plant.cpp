#include "bench_charge_plant.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace benchcharge {

const char* const kNewestChargeSql =
    "SELECT RECEIVETIME,CHARGE,ANGLE1_WEIGHT,ANGLE2_WEIGHT,ANGLE3_WEIGHT,ANGLE4_WEIGHT, ANGLE5_WEIGHT,ANGLE6_WEIGHT,"
    "ANGLE7_WEIGHT,ANGLE8_WEIGHT,ANGLE9_WEIGHT,ANGLE10_WEIGHT,ANGLE11_WEIGHT,OC_FLAG FROM matrix_bl_roof_weight_new   "
    "WHERE RECEIVETIME = (SELECT MAX(RECEIVETIME) FROM matrix_bl_roof_weight_new   WHERE RECEIVETIME > (SELECT "
    "MAX(TIMESTAMP) FROM  MODEL_RESULTBURDENDIS))";
const char* const kNewestRulerSql =
    "select  RECEIVETIME,RULER_HEIGHT1,RULER_HEIGHT2,RULER_HEIGHT3 from matrix_bl_roof_ruler where RECEIVETIME = "
    "(select max(RECEIVETIME) from matrix_bl_roof_ruler)";
const char* const kChargeKeyCheckHead =
    "SELECT RECEIVETIME, CAST(RECEIVETIME AS TEXT) AS STORED_TIME FROM matrix_bl_roof_weight_new WHERE RECEIVETIME = "
    "(SELECT MAX(RECEIVETIME) FROM matrix_bl_roof_weight_new WHERE RECEIVETIME > (SELECT MAX(TIMESTAMP) FROM "
    "MODEL_RESULTBURDENDIS)) AND RECEIVETIME <> ";
const char* const kResultKeyHead = "SELECT * FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP = ";

namespace {

constexpr std::time_t kFirstCharge = 1767225600;  // 2026-01-01 00:00:00 UTC
constexpr long kChargeSeconds = 360;

std::string TimeText(std::time_t seconds) {
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string Numbered(const char* stem, const char* suffix, int first, int last, const char* type) {
    std::string text;
    for (int k = first; k <= last; ++k) text += std::string(", ") + stem + std::to_string(k) + suffix + " " + type;
    return text;
}

}  // namespace

void Execute(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "";
        sqlite3_free(message);
        Fail(sql.substr(0, 60) + ": " + text);
    }
}

namespace {

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        Fail(sql.substr(0, 60) + ": " + sqlite3_errmsg(db));
    return statement;
}

void StepDone(sqlite3* db, sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) Fail(std::string("insert: ") + sqlite3_errmsg(db));
    sqlite3_reset(statement);
}

// The plant's weights and gauge levels: the same charge number always gives the same values.
double Weight(long number, int position) { return 3.0 + 0.01 * static_cast<double>((number * 7 + position * 13) % 300); }
double Level(long number) { return 1.5 + 0.2 * std::sin(static_cast<double>(number) / 15.0); }

}  // namespace

void Fail(const std::string& what) {
    std::fprintf(stderr, "bench-charge: %s\n", what.c_str());
    std::exit(2);
}

double Now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string ChargeTime(long number) { return TimeText(kFirstCharge + number * kChargeSeconds); }
std::string RulerTime(long number) { return TimeText(kFirstCharge + number * kChargeSeconds - 30); }

void ComputeProfile(long number, double (&profile)[kProfilePoints]) {
    for (int i = 0; i < kProfilePoints; ++i)
        profile[i] = 2.0 + 0.004 * i + 0.05 * std::sin(static_cast<double>(number + i) / 7.0);
}

const std::string& ResultInsertSql() {
    static const std::string sql = [] {
        std::string columns = "TIMESTAMP,MATERIAL,LEFTPOINT";
        std::string marks = "?,?,?";
        for (int n = 1; n <= kProfilePoints; ++n) {
            columns += ",SEQ_" + std::to_string(n);
            marks += ",?";
        }
        return "INSERT INTO MODEL_RESULTBURDENDIS (" + columns + ") VALUES (" + marks + ")";
    }();
    return sql;
}

// The tables as the demo plant creates them on SQLite, with its unique time keys.
void CreatePlant(const std::string& file, long processed) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Fail("cannot create " + file);
    Execute(db, "PRAGMA journal_mode=WAL");
    Execute(db, "CREATE TABLE matrix_bl_roof_weight_new (RECEIVETIME DATETIME NOT NULL, CHARGE INTEGER" +
                    Numbered("ANGLE", "_WEIGHT", 1, kPositions, "REAL") + ", OC_FLAG INTEGER)");
    Execute(db, "CREATE TABLE matrix_bl_roof_ruler (RECEIVETIME DATETIME NOT NULL, RULER_HEIGHT1 REAL, "
                "RULER_HEIGHT2 REAL, RULER_HEIGHT3 REAL)");
    Execute(db, "CREATE TABLE matrix_bl_roof_angle (RECEIVETIME DATETIME NOT NULL" +
                    Numbered("ANGLE", "_ANGLE", 1, kPositions, "REAL") + ")");
    Execute(db, "CREATE TABLE MODEL_RESULTBURDENDIS (TIMESTAMP DATETIME, MATERIAL INTEGER, LEFTPOINT REAL, "
                "CHARGE INTEGER" + Numbered("SEQ_", "", 1, kProfilePoints, "DOUBLE") + ")");
    Execute(db, "CREATE TABLE MODEL_RESULTFURNACE (BURDENID INTEGER PRIMARY KEY" +
                    Numbered("SEQ_", "", 0, 70, "DOUBLE") + ")");
    Execute(db, "CREATE UNIQUE INDEX weight_time_key ON matrix_bl_roof_weight_new (RECEIVETIME)");
    Execute(db, "CREATE UNIQUE INDEX ruler_time_key ON matrix_bl_roof_ruler (RECEIVETIME)");
    Execute(db, "CREATE UNIQUE INDEX angle_time_key ON matrix_bl_roof_angle (RECEIVETIME)");
    Execute(db, "CREATE UNIQUE INDEX result_time_key ON MODEL_RESULTBURDENDIS (TIMESTAMP)");
    sqlite3_close(db);

    {
        ChargingSystem recorder(file);
        recorder.Execute("BEGIN");
        for (long number = 1; number <= processed; ++number) recorder.Record(number);
        recorder.Execute("COMMIT");
    }

    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Fail("cannot open " + file);
    Execute(db, "BEGIN");
    sqlite3_stmt* result = Prepare(db, ResultInsertSql());
    double profile[kProfilePoints];
    for (long number = 1; number <= processed; ++number) {
        std::string time = ChargeTime(number);
        sqlite3_bind_text(result, 1, time.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(result, 2, number % 2 ? 10 : 20);
        sqlite3_bind_double(result, 3, 0.5);
        ComputeProfile(number, profile);
        for (int i = 0; i < kProfilePoints; ++i) sqlite3_bind_double(result, 4 + i, profile[i]);
        StepDone(db, result);
    }
    sqlite3_finalize(result);
    Execute(db, "COMMIT");
    Execute(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
}

ChargingSystem::ChargingSystem(const std::string& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) Fail("cannot open " + file);
    sqlite3_busy_timeout(db_, 5000);
    benchcharge::Execute(db_, "PRAGMA synchronous=NORMAL");
    ruler_ = Prepare(db_, "INSERT INTO matrix_bl_roof_ruler VALUES (?, ?, ?, ?)");
    std::string marks = "?, ?";
    for (int k = 0; k <= kPositions; ++k) marks += ", ?";
    weight_ = Prepare(db_, "INSERT INTO matrix_bl_roof_weight_new VALUES (" + marks + ")");
}

ChargingSystem::~ChargingSystem() {
    sqlite3_finalize(ruler_);
    sqlite3_finalize(weight_);
    sqlite3_close(db_);
}

void ChargingSystem::Execute(const char* sql) { benchcharge::Execute(db_, sql); }

void ChargingSystem::Record(long number) {
    const std::string rulerTime = RulerTime(number);
    sqlite3_bind_text(ruler_, 1, rulerTime.c_str(), -1, SQLITE_TRANSIENT);
    for (int k = 0; k < 3; ++k) sqlite3_bind_double(ruler_, 2 + k, Level(number) + 0.01 * k);
    StepDone(db_, ruler_);
    const std::string time = ChargeTime(number);
    sqlite3_bind_text(weight_, 1, time.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(weight_, 2, number);
    for (int k = 0; k < kPositions; ++k) sqlite3_bind_double(weight_, 3 + k, Weight(number, k));
    sqlite3_bind_int(weight_, 3 + kPositions, static_cast<int>(number % 2));
    StepDone(db_, weight_);
}

}  // namespace benchcharge
