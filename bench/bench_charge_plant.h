// The plant database of the charge-cycle benchmark: the store's five tables in their
// SQLite form, processed charges with their results, and a charging system that records
// one new charge at a time. Also the texts every method of the cycle sends, so that the
// raw methods send exactly what the store does.
#pragma once

#include <sqlite3.h>

#include <string>

namespace benchcharge {

constexpr int kPositions = 11;
constexpr int kProfilePoints = 250;
constexpr int kResultValues = 3 + kProfilePoints;  // TIMESTAMP, MATERIAL, LEFTPOINT, the profile

// The newest charge after the newest result, and the newest gauge reading: the store's
// texts character for character.
extern const char* const kNewestChargeSql;
extern const char* const kNewestRulerSql;
// The check that the newest charge's stored time is the key it reads as; the key's
// quoted literal is appended and the statement closed by the caller.
extern const char* const kChargeKeyCheckHead;
// The key lookup under the write lock; the key's quoted literal follows.
extern const char* const kResultKeyHead;
// The insert of one result row: TIMESTAMP, MATERIAL, LEFTPOINT, SEQ_1..SEQ_250 as ?s.
const std::string& ResultInsertSql();

// Seconds of CPU time of this process (all its threads): the machine is busy with
// other work, and wall time would measure that too.
double Now();

// The time text of charge `number` (one every six minutes from a fixed start), and of
// its gauge reading half a minute before it.
std::string ChargeTime(long number);
std::string RulerTime(long number);

// The profile the model would compute for charge `number`.
void ComputeProfile(long number, double (&profile)[kProfilePoints]);

// Creates `file` with `processed` charges and their results; exits with 2 on failure.
void CreatePlant(const std::string& file, long processed);

// The charging system: records charge `number` (its gauge reading and its weights) on a
// connection of its own, as the plant's recorder does.
class ChargingSystem {
public:
    explicit ChargingSystem(const std::string& file);
    ~ChargingSystem();
    ChargingSystem(const ChargingSystem&) = delete;
    ChargingSystem& operator=(const ChargingSystem&) = delete;
    void Record(long number);
    // Runs `sql` on the recorder's connection (BEGIN and COMMIT around a batch).
    void Execute(const char* sql);

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* ruler_ = nullptr;
    sqlite3_stmt* weight_ = nullptr;
};

// Runs `sql`, failing the run when it fails.
void Execute(sqlite3* db, const std::string& sql);

// Fails the run with `what` and the engine's message.
[[noreturn]] void Fail(const std::string& what);

}  // namespace benchcharge
