// The plant of the demo: its folder, its private ODBC data source, its five tables,
// and a charging system that records synthetic charges the way the real one does.
#include "morvane-demo.h"

#include <cctype>
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

Product ProductOf(CMorvane& store) {
    std::string name;
    try {
        _variant_t value = store.m_pConnection->GetProperties()->GetItem(_variant_t("DBMS Name"))->GetValue();
        if (value.vt != VT_NULL && value.vt != VT_EMPTY) name = static_cast<_bstr_t>(value).str();
    } catch (const _com_error&) {
        ForgetFailureCauses();  // an unnamed product is no failure: the portable forms serve it
    }
    name = CString(name).MakeUpper().str();
    if (name.find("SQLITE") != std::string::npos) return Product::kSqlite;
    if (name.find("POSTGRES") != std::string::npos) return Product::kPostgres;
    if (name.find("MARIADB") != std::string::npos || name.find("MYSQL") != std::string::npos) return Product::kMaria;
    return Product::kOther;
}

namespace {

struct ColumnTypes {
    const char* time;
    const char* integer;
    const char* number;
};

// A time column holds whole seconds: the store keys results by the 19-character text of
// a charge's time, and a fraction of a second would make a charge impossible to key.
ColumnTypes TypesOf(Product product) {
    switch (product) {
        case Product::kSqlite: return {"DATETIME", "INTEGER", "REAL"};
        case Product::kPostgres: return {"timestamp(0)", "integer", "double precision"};
        case Product::kMaria: return {"DATETIME", "INT", "DOUBLE"};
        case Product::kOther: break;
    }
    return {"TIMESTAMP", "INTEGER", "DOUBLE PRECISION"};
}

// The four tables keyed by time, each with its time column and the name of its key.
struct KeyedTable {
    const char* table;
    const char* column;
    const char* key;
    const char* oldIndex;  // the plain index an older plant has on the column
};
constexpr KeyedTable kKeyedTables[] = {
    {"matrix_bl_roof_weight_new", "RECEIVETIME", "weight_time_key", "weight_time"},
    {"matrix_bl_roof_ruler", "RECEIVETIME", "ruler_time_key", "ruler_time"},
    {"matrix_bl_roof_angle", "RECEIVETIME", "angle_time_key", "angle_time"},
    {"MODEL_RESULTBURDENDIS", "TIMESTAMP", "result_time_key", "result_time"},
};

constexpr const char* kTables[] = {"matrix_bl_roof_weight_new", "matrix_bl_roof_ruler", "matrix_bl_roof_angle",
                                   "MODEL_RESULTBURDENDIS", "MODEL_RESULTFURNACE"};

void ExecuteOn(CMorvane& store, const std::string& sql) {
    store.m_pConnection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
}

long ScalarOf(CMorvane& store, const std::string& sql) {
    _RecordsetPtr rows = store.m_pConnection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    if (rows->GetadoEOF() != VARIANT_FALSE) return 0;
    _variant_t value = rows->GetFields()->GetItem(_variant_t(0L))->GetValue();
    return value.vt == VT_NULL ? 0 : static_cast<long>(value);
}

// Runs `body` as one transaction: committed when it returns, rolled back when it throws.
template <class Body>
void InTransaction(CMorvane& store, Body&& body) {
    store.m_pConnection->BeginTrans();
    try {
        body();
    } catch (...) {
        try {
            store.m_pConnection->RollbackTrans();
        } catch (const _com_error&) {
            // A lost connection has rolled the transaction back already.
        }
        throw;
    }
    store.m_pConnection->CommitTrans();
}

}  // namespace

std::string CreateTables(CMorvane& store, Product product) {
    const ColumnTypes types = TypesOf(product);
    const std::string time = std::string(types.time) + " NOT NULL";
    auto execute = [&](const std::string& sql) { ExecuteOn(store, sql); };
    execute("CREATE TABLE IF NOT EXISTS matrix_bl_roof_weight_new (RECEIVETIME " + time + ", CHARGE " + types.integer +
            Columns("ANGLE", "_WEIGHT", 1, kPositions, types.number) + ", OC_FLAG " + types.integer + ")");
    execute("CREATE TABLE IF NOT EXISTS matrix_bl_roof_ruler (RECEIVETIME " + time + ", RULER_HEIGHT1 " + types.number +
            ", RULER_HEIGHT2 " + types.number + ", RULER_HEIGHT3 " + types.number + ")");
    execute("CREATE TABLE IF NOT EXISTS matrix_bl_roof_angle (RECEIVETIME " + time +
            Columns("ANGLE", "_ANGLE", 1, kPositions, types.number) + ")");
    // The result's own columns keep the SQLite plant's historic DOUBLE name there.
    const char* profile = product == Product::kSqlite ? "DOUBLE" : types.number;
    execute("CREATE TABLE IF NOT EXISTS MODEL_RESULTBURDENDIS (TIMESTAMP " + std::string(types.time) + ", MATERIAL " +
            types.integer + ", LEFTPOINT " + types.number + ", CHARGE " + types.integer +
            Columns("SEQ_", "", 1, kProfilePoints, profile) + ")");
    execute("CREATE TABLE IF NOT EXISTS MODEL_RESULTFURNACE (BURDENID " + std::string(types.integer) + " PRIMARY KEY" +
            Columns("SEQ_", "", 0, 70, profile) + ")");
    return "";
}

std::string AddUniqueKeys(CMorvane& store) {
    std::string duplicates;
    for (const KeyedTable& keyed : kKeyedTables) {
        long surplus = ScalarOf(store, std::string("SELECT COUNT(*) - COUNT(DISTINCT ") + keyed.column + ") FROM " +
                                           keyed.table);
        if (surplus > 0)
            duplicates += std::string(duplicates.empty() ? "" : "; ") + keyed.table + ": " +
                          std::to_string(surplus) + " row" + (surplus == 1 ? "" : "s") + " more than distinct " +
                          keyed.column + " values";
    }
    if (!duplicates.empty()) return duplicates;
    const bool sqlite = ProductOf(store) == Product::kSqlite;
    for (const KeyedTable& keyed : kKeyedTables) {
        ExecuteOn(store, std::string("CREATE UNIQUE INDEX IF NOT EXISTS ") + keyed.key + " ON " + keyed.table + " (" +
                             keyed.column + ")");
        // The plain index an older plant has is covered by the key now.
        if (sqlite) ExecuteOn(store, std::string("DROP INDEX IF EXISTS ") + keyed.oldIndex);
    }
    return "";
}

std::string MissingTables(CMorvane& store) {
    std::string missing;
    for (const char* table : kTables) {
        try {
            ExecuteOn(store, std::string("SELECT COUNT(*) FROM ") + table + " WHERE 1 = 0");
        } catch (const _com_error&) {
            missing += std::string(missing.empty() ? "" : ", ") + table;
        }
    }
    ForgetFailureCauses();  // the missing tables are the report; their errors are no cause
    return missing;
}

void ClearTables(CMorvane& store) {
    InTransaction(store, [&] {
        for (const char* table : kTables) ExecuteOn(store, std::string("DELETE FROM ") + table);
    });
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

bool ChargingSystem::Record(const Charge& charge) {
    try {
        InTransaction(store_, [&] { Write(charge); });
    } catch (const _com_error&) {
        // Another charging system on a shared store may have recorded this very charge
        // first; its unique key then refused ours. Anything else is a failure.
        if (ScalarOf(store_, "SELECT COUNT(*) FROM matrix_bl_roof_weight_new WHERE RECEIVETIME = '" + charge.time +
                                 "'") == 0)
            throw;
        ForgetFailureCauses();
        return false;
    }
    return true;
}

void ChargingSystem::Write(const Charge& charge) {
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
