// morvane-demo: a host program of the burden-distribution store, on a plant database
// of its own (SQLite, reached through a private ODBC data source, as a host reaches
// "MicroSoft Access" here). The pieces: the plant (folder, data source, tables, and a
// synthetic charging system), the example model, and the SVG plot.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <morvane/Morvane.h>

namespace demo {

inline constexpr int kProfilePoints = 250;
inline constexpr int kPositions = 11;
using Profile = std::array<double, kProfilePoints>;

// ---- The plant ----

struct PlantPaths {
    std::string home;       // the folder that holds everything below
    std::string database;   // home/plant.db
    std::string dataSource; // the ODBC data source name
    std::string plot;       // home/profiles.svg
};

// Creates the folder and writes odbcinst.ini (the SQLite ODBC driver, wherever this
// system has it) and odbc.ini (the data source, StepAPI=1) into it, each only when it is
// missing: a kept odbc.ini is the user's, and the database it names replaces
// paths.database. Then points unixODBC at them through ODBCSYSINI and ODBCINI. Must run
// before the first connection of the process. Returns "" or an error.
std::string RegisterDataSource(PlantPaths& paths);

// The SQLite ODBC driver library: the one registered as SQLite3 with unixODBC, else the
// one the package libsqliteodbc installed, else one in a multiarch library folder.
// "" when there is none; `searched` then says where it was looked for.
std::string FindSqliteOdbcDriver(std::string* searched);

// The value of `key` in `[section]` of an ODBC configuration text (names compared
// without letter case, the first entry winning, comments skipped); "" when absent.
std::string IniValue(const std::string& text, const std::string& section, const std::string& key);
bool IniHasSection(const std::string& text, const std::string& section);

// What is at the plant database's path. Only an absent file becomes a new plant by
// itself: an empty or foreign file is reported, never taken over silently.
struct PlantFile {
    enum State { kAbsent, kPlant, kUnusable } state;
    std::string problem;  // why a kUnusable file cannot be the plant
};
PlantFile CheckPlantFile(const std::string& database);
// Renames an unusable plant file to <database>.bad-<date-time>, so that --reset can
// start a new plant without destroying what was there. Returns "" or an error.
std::string SetPlantFileAside(const std::string& database, std::string* aside);
// Makes an absent plant database whole or not at all: an empty SQLite database in
// write-ahead logging is written under a name of its own beside it and then renamed to
// `database`. A run killed at any moment so leaves no plant file or a readable one, never
// the zero-byte file an engine leaves between creating a file and writing its first page
// (which the next run would have to refuse). Leftovers of a killed creation are removed
// first; the caller holds the plant lock. Returns "" or an error.
std::string CreatePlantFile(const std::string& database);

// One run at a time on a plant folder: an exclusive lock on DIR/plant.lock, held for
// the life of the object and dropped by the kernel however the process ends.
class PlantLock {
public:
    enum Result { kTaken, kBusy, kFailed };
    PlantLock() = default;
    ~PlantLock();
    PlantLock(const PlantLock&) = delete;
    PlantLock& operator=(const PlantLock&) = delete;
    // Creates `home` when missing and takes its lock. When another process holds it:
    // with `wait`, says so on standard error and waits; without, returns kBusy. kBusy
    // and kFailed leave the reason in `message`.
    Result Take(const std::string& home, bool wait, std::string* message);

private:
    int fd_ = -1;
};

// The product behind a store's connection, for the statements that differ by product.
enum class Product { kSqlite, kPostgres, kMaria, kOther };
Product ProductOf(CMorvane& store);

// Creates the five tables when missing, with `product`'s own types. Returns "" or an error.
std::string CreateTables(CMorvane& store, Product product);
// Adds the unique keys that make a second charging record or result at one time
// impossible (RECEIVETIME of the three charging tables, TIMESTAMP of the result table),
// where they are missing. A table that already holds such duplicates is not changed:
// the return names each one with the number of surplus rows ("" when all is well).
std::string AddUniqueKeys(CMorvane& store);
// The tables of the five that the store lacks, by name ("" when none).
std::string MissingTables(CMorvane& store);
// Removes every row of the five tables, in one transaction: an interrupted reset
// leaves the plant as it was.
void ClearTables(CMorvane& store);

// One charge as the charging system records it.
struct Charge {
    std::string time;  // canonical date-time text
    std::int32_t number = 0;
    std::array<double, kPositions> weight{};
    int ocFlag = 0;  // 1 coke (material code 10), 0 ore (material code 20)
};

// The charging system: charges about every six minutes, coke and ore alternating,
// the same charge number always giving the same charge (a seeded generator).
class ChargingSystem {
public:
    explicit ChargingSystem(CMorvane& store) : store_(store) {}
    // The newest recorded charge (number 0 and an empty time when there is none).
    Charge Newest();
    // The charge that follows `previous` (the first one starts at `firstTime`).
    Charge Next(const Charge& previous, const std::string& firstTime) const;
    // Records the charge, the gauge reading taken just before it, and, at every shift
    // change (and for the first charge), a new chute-angle record: all in one
    // transaction, so that an interrupted run leaves the arrival whole or absent.
    // Returns false, with nothing written, when the charge was already recorded by
    // another charging system sharing the store.
    bool Record(const Charge& charge);

private:
    void Write(const Charge& charge);
    void Execute(const std::string& sql);
    CMorvane& store_;
};

// ---- The example model ----

struct ModelInput {
    Profile previous{};                      // the surface before this charge
    std::array<float, kPositions> weight{};  // tonnes laid at each chute position
    std::array<double, kPositions> chuteAngle{};  // degrees from the vertical
    double density = 1.0;                    // t/m3
    double reposeAngle = 35.0;               // degrees
    // Stock-line height (m) the gauges read just before the charge, at the gauge point;
    // NaN when there is no reading, and the burden then descends by what came in.
    double gaugeLevel = std::numeric_limits<double>::quiet_NaN();
};

struct ModelResult {
    Profile surface{};
    double lowestRadius = 0;  // radius of the surface's lowest point (m)
};

inline constexpr double kThroatRadius = 4.0;  // m
double RadiusOfPoint(int point);              // m, point 0 at the axis, 249 at the wall
// The stock-line gauges hang half a metre inside the throat wall: profile point 218
// (3.50 m). Readings outside kGaugeRange are taken as a faulty gauge.
inline constexpr int kGaugePoint = 218;
inline constexpr double kGaugeRange[2] = {-5.0, 30.0};
// The mean of gauges 1 and 2 (heights [0] and [1]; NaN for one not read) over those with
// a plausible reading; NaN when none has. A faulty gauge is named in `faulty`.
double GaugeLevel(const double (&heights)[3], std::string* faulty);
ModelResult ComputeProfile(const ModelInput& input);

// ---- The plot ----

struct PlottedProfile {
    std::string time;
    std::int32_t charge = 0;
    int material = 0;
    Profile surface{};
    double gauge = std::numeric_limits<double>::quiet_NaN();  // mean gauge reading before the charge
};
// Writes an SVG of the profiles (stock-line height against radius). Returns "" or an error.
std::string WritePlot(const std::string& path, const std::vector<PlottedProfile>& profiles);

// The newest `count` stored results, newest first, read with the host's own query.
std::vector<PlottedProfile> NewestResults(CMorvane& store, int count);

// ---- Failures ----

// Installs the diagnostics handler that keeps the newest few failure records of the
// platform, for PrintFailureCause. Call once, before the first connection.
void RecordFailureCauses();
// Drops the kept records: what failed before and was dealt with is no cause of a
// later failure.
void ForgetFailureCauses();
// Prints, under the message of a failed operation, its cause: the kept diagnostics
// records (the driver's words: a full disk, a lock, a missing table) and the
// description of the error the tool caught itself when no record repeats it. The
// records printed are dropped.
void PrintFailureCause(const _com_error* caught);

// ---- The export ----

// Writes every stored result, oldest first, as CSV: a header line, then per result its
// time, charge number, material code and the 250 profile values. The file appears only
// when complete. Returns "" and the number of rows in `rows`, or an error.
std::string ExportResults(CMorvane& store, const std::string& path, long* rows);

}  // namespace demo
