// The charge cycle issued raw through sqlite3: the floor the other methods are measured against.
#include <map>

#include "bench_charge_methods.h"
#include "bench_charge_plant.h"

namespace benchcharge {
namespace {

// One connection and the cycle's statements, either prepared on every call (as a client
// that sends text does) or kept from the first call with the key bound.
class SqliteCycle {
public:
    SqliteCycle(const std::string& file, bool keepPrepared) : keepPrepared_(keepPrepared) {
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) Fail("cannot open " + file);
        sqlite3_busy_timeout(db_, 5000);
        Execute(db_, "PRAGMA synchronous=NORMAL");  // as the ODBC driver sets it on every connection
    }
    ~SqliteCycle() {
        for (auto& [text, statement] : kept_) sqlite3_finalize(statement);
        sqlite3_close(db_);
    }
    SqliteCycle(const SqliteCycle&) = delete;
    SqliteCycle& operator=(const SqliteCycle&) = delete;

    // Reads the newest charge and stores its result; false when there was none.
    bool Run(long number) {
        std::string key;
        int material = 0;
        double weights = 0;
        {
            Use newest(*this, kNewestChargeSql);
            if (sqlite3_step(newest.statement) != SQLITE_ROW) return false;
            const unsigned char* time = sqlite3_column_text(newest.statement, 0);
            key = time ? reinterpret_cast<const char*>(time) : "";
            (void)sqlite3_column_int(newest.statement, 1);
            for (int k = 0; k < kPositions; ++k) weights += sqlite3_column_double(newest.statement, 2 + k);
            material = sqlite3_column_int(newest.statement, 2 + kPositions) == 1 ? 10 : 20;
        }
        ExpectNoRow(kChargeKeyCheckHead, key, "");
        {
            Use ruler(*this, kNewestRulerSql);
            if (sqlite3_step(ruler.statement) == SQLITE_ROW)
                weights += sqlite3_column_double(ruler.statement, 1) + sqlite3_column_double(ruler.statement, 2);
        }
        double profile[kProfilePoints];
        ComputeProfile(number, profile);
        Step("BEGIN IMMEDIATE");
        ExpectNoRow(kResultKeyHead, key, "");
        {
            Use insert(*this, ResultInsertSql());
            sqlite3_bind_text(insert.statement, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert.statement, 2, material);
            sqlite3_bind_double(insert.statement, 3, weights > 0 ? 0.5 : 0.0);
            for (int n = 0; n < kProfilePoints; ++n) sqlite3_bind_double(insert.statement, 4 + n, profile[n]);
            if (sqlite3_step(insert.statement) != SQLITE_DONE) Fail(std::string("insert: ") + sqlite3_errmsg(db_));
        }
        Step("COMMIT");
        return true;
    }

private:
    // A statement for the length of one call: finalized after it, or reset and kept.
    struct Use {
        Use(SqliteCycle& cycle, const std::string& sql) : cycle(cycle) {
            if (cycle.keepPrepared_) {
                sqlite3_stmt*& kept = cycle.kept_[sql];
                if (!kept) kept = cycle.Prepare(sql);
                statement = kept;
            } else {
                statement = cycle.Prepare(sql);
            }
        }
        ~Use() {
            if (cycle.keepPrepared_) {
                sqlite3_reset(statement);
                sqlite3_clear_bindings(statement);
            } else {
                sqlite3_finalize(statement);
            }
        }
        SqliteCycle& cycle;
        sqlite3_stmt* statement = nullptr;
    };

    sqlite3_stmt* Prepare(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            Fail(sql.substr(0, 60) + ": " + sqlite3_errmsg(db_));
        return statement;
    }

    void Step(const char* sql) {
        Use use(*this, sql);
        if (sqlite3_step(use.statement) != SQLITE_DONE) Fail(std::string(sql) + ": " + sqlite3_errmsg(db_));
    }

    // A lookup by key that must find nothing: the key as a literal in the text, or bound.
    void ExpectNoRow(const char* head, const std::string& key, const char* tail) {
        if (keepPrepared_) {
            Use use(*this, std::string(head) + "?" + tail);
            sqlite3_bind_text(use.statement, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(use.statement) != SQLITE_DONE) Fail(std::string("lookup found a row: ") + head);
        } else {
            Use use(*this, std::string(head) + "'" + key + "'" + tail);
            if (sqlite3_step(use.statement) != SQLITE_DONE) Fail(std::string("lookup found a row: ") + head);
        }
    }

    sqlite3* db_ = nullptr;
    bool keepPrepared_;
    std::map<std::string, sqlite3_stmt*> kept_;
};

CycleRun RunSqlite(const std::string& file, long first, long charges, bool keepPrepared) {
    SqliteCycle cycle(file, keepPrepared);
    return RunCycles(file, first, charges, [&](long number) { return cycle.Run(number); });
}

}  // namespace

CycleRun RunSqliteReprepared(const std::string& file, long first, long charges) {
    return RunSqlite(file, first, charges, false);
}

CycleRun RunSqlitePrepared(const std::string& file, long first, long charges) {
    return RunSqlite(file, first, charges, true);
}

}  // namespace benchcharge
