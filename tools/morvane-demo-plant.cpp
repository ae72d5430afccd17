// The plant of the demo: its folder, its private ODBC data source, its five tables,
// and a charging system that records synthetic charges the way the real one does.
#include "morvane-demo.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace demo {

namespace {

constexpr int kChargeSeconds = 360;  // a charge about every six minutes
constexpr int kShiftHours = 8;

// A small seeded generator: the same charge number always gives the same charge, so a
// rerun or a reset replays the same day.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
double Uniform(std::int64_t number, int salt) {  // in [0, 1)
    return static_cast<double>(Mix(static_cast<std::uint64_t>(number) * 131 + static_cast<std::uint64_t>(salt)) >> 11) /
           9007199254740992.0;
}
// Seconds by which charge `number` leaves its six-minute grid point (under a minute,
// so charges stay in order).
int Jitter(std::int32_t number) { return static_cast<int>(std::lround(Uniform(number, 1) * 90.0 - 45.0)); }

std::string AddSeconds(const std::string& time, long seconds) {
    DATE date = 0;
    if (FAILED(dbplatform::DateFromText(time, &date))) return time;
    return dbplatform::TextFromDate(date + static_cast<double>(seconds) / 86400.0);
}

int HourOf(const std::string& time) { return std::atoi(time.substr(11, 2).c_str()); }

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", value);
    return text;
}

std::string Columns(const char* stem, const char* suffix, int first, int last, const char* type) {
    std::string text;
    for (int k = first; k <= last; ++k) {
        text += ", ";
        text += stem + std::to_string(k) + suffix + " " + type;
    }
    return text;
}

}  // namespace

void CreateTables(CMorvane& store) {
    const char* statements[] = {
        "CREATE INDEX IF NOT EXISTS weight_time ON matrix_bl_roof_weight_new (RECEIVETIME)",
        ("CREATE TABLE IF NOT EXISTS matrix_bl_roof_ruler (RECEIVETIME DATETIME NOT NULL, RULER_HEIGHT1 REAL, "
         "RULER_HEIGHT2 REAL, RULER_HEIGHT3 REAL)"),
        "CREATE INDEX IF NOT EXISTS ruler_time ON matrix_bl_roof_ruler (RECEIVETIME)",
        "CREATE INDEX IF NOT EXISTS angle_time ON matrix_bl_roof_angle (RECEIVETIME)",
        "CREATE INDEX IF NOT EXISTS result_time ON MODEL_RESULTBURDENDIS (TIMESTAMP)",
    };
    auto execute = [&](const std::string& sql) { store.m_pConnection->Execute(_bstr_t(sql), nullptr, adCmdText); };
    execute("CREATE TABLE IF NOT EXISTS matrix_bl_roof_weight_new (RECEIVETIME DATETIME NOT NULL, CHARGE INTEGER" +
            Columns("ANGLE", "_WEIGHT", 1, kPositions, "REAL") + ", OC_FLAG INTEGER)");
    execute("CREATE TABLE IF NOT EXISTS matrix_bl_roof_angle (RECEIVETIME DATETIME NOT NULL" +
            Columns("ANGLE", "_ANGLE", 1, kPositions, "REAL") + ")");
    execute("CREATE TABLE IF NOT EXISTS MODEL_RESULTBURDENDIS (TIMESTAMP DATETIME, MATERIAL INTEGER, LEFTPOINT REAL, "
            "CHARGE INTEGER" + Columns("SEQ_", "", 1, kProfilePoints, "DOUBLE") + ")");
    execute("CREATE TABLE IF NOT EXISTS MODEL_RESULTFURNACE (BURDENID INTEGER PRIMARY KEY" +
            Columns("SEQ_", "", 0, 70, "DOUBLE") + ")");
    for (const char* sql : statements) execute(sql);
}

void ClearTables(CMorvane& store) {
    for (const char* table : {"matrix_bl_roof_weight_new", "matrix_bl_roof_ruler", "matrix_bl_roof_angle",
                              "MODEL_RESULTBURDENDIS", "MODEL_RESULTFURNACE"})
        store.m_pConnection->Execute(_bstr_t((std::string("DELETE FROM ") + table).c_str()), nullptr, adCmdText);
}

Charge ChargingSystem::Newest() {
    Charge charge;
    _RecordsetPtr rows = store_.m_pConnection->Execute(
        _bstr_t("SELECT CHARGE, RECEIVETIME FROM matrix_bl_roof_weight_new ORDER BY RECEIVETIME DESC LIMIT 1"), nullptr,
        adCmdText);
    if (rows->GetadoEOF() == VARIANT_FALSE) {
        charge.number = static_cast<int>(rows->GetCollect(_variant_t("CHARGE")));
        charge.time = static_cast<_bstr_t>(rows->GetCollect(_variant_t("RECEIVETIME"))).str();
    }
    return charge;
}

Charge ChargingSystem::Next(const Charge& previous, const std::string& firstTime) const {
    Charge charge;
    charge.number = previous.number + 1;
    charge.time = previous.time.empty()
                      ? AddSeconds(firstTime, Jitter(charge.number))
                      : AddSeconds(previous.time, kChargeSeconds - Jitter(previous.number) + Jitter(charge.number));
    charge.ocFlag = charge.number % 2;  // odd charges coke, even charges ore
    // Coke goes mostly to the centre (inner positions), ore mostly towards the wall.
    const double total = charge.ocFlag ? 11.0 + 2.0 * Uniform(charge.number, 2) : 55.0 + 10.0 * Uniform(charge.number, 3);
    double shares[kPositions];
    double sum = 0;
    for (int k = 0; k < kPositions; ++k) {
        double towardWall = 1.0 - k / 10.0;
        double base = charge.ocFlag ? 0.6 + 0.8 * (1.0 - towardWall) : 0.6 + 0.8 * towardWall;
        shares[k] = base * (0.85 + 0.3 * Uniform(charge.number, 10 + k));
        sum += shares[k];
    }
    for (int k = 0; k < kPositions; ++k) charge.weight[k] = std::round(total * shares[k] / sum * 100.0) / 100.0;
    return charge;
}

void ChargingSystem::Execute(const std::string& sql) {
    store_.m_pConnection->Execute(_bstr_t(sql), nullptr, adCmdText);
}

void ChargingSystem::Record(const Charge& charge) {
    // A new chute-angle programme at each shift change, in force before the charge.
    std::string previousTime = AddSeconds(charge.time, -kChargeSeconds - 60);
    bool newShift = charge.number == 1 || HourOf(previousTime) / kShiftHours != HourOf(charge.time) / kShiftHours ||
                    previousTime.substr(0, 10) != charge.time.substr(0, 10);
    if (newShift) {
        static const double base[kPositions] = {44, 42, 40, 38, 36, 34, 32, 30, 27, 24, 20};
        std::string sql = "INSERT INTO matrix_bl_roof_angle VALUES ('" + AddSeconds(charge.time, -120) + "'";
        for (int k = 0; k < kPositions; ++k)
            sql += ", " + Number(base[k] + std::round((Uniform(charge.number, 40 + k) - 0.5) * 10.0) / 10.0);
        Execute(sql + ")");
    }
    // The stock-line gauges are read just before the charge goes in.
    double level = 1.5 + 0.2 * std::sin(charge.number / 15.0);
    Execute("INSERT INTO matrix_bl_roof_ruler VALUES ('" + AddSeconds(charge.time, -30) + "', " +
            Number(level + 0.05 * Uniform(charge.number, 60)) + ", " + Number(level + 0.05 * Uniform(charge.number, 61)) +
            ", " + Number(level) + ")");
    std::string sql = "INSERT INTO matrix_bl_roof_weight_new VALUES ('" + charge.time + "', " +
                      std::to_string(charge.number);
    for (double weight : charge.weight) sql += ", " + Number(weight);
    Execute(sql + ", " + std::to_string(charge.ocFlag) + ")");
}

}  // namespace demo
