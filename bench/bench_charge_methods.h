// The four ways of running the charge cycle the benchmark compares. Each processes
// `charges` new charges, numbered from `first`, on the plant in `file`: the charging
// system records a charge (not timed), then the cycle reads it, computes its profile and
// stores the result. Returns the CPU seconds the cycles took.
#pragma once

#include <string>

#include "bench_charge_plant.h"

namespace benchcharge {

struct CycleRun {
    double seconds = 0;
    long processed = 0;  // charges whose result was stored
};

// Records each charge from `first` on (not timed), then times `cycle(number)`, which
// tells whether it stored the charge's result.
template <class Cycle>
CycleRun RunCycles(const std::string& file, long first, long charges, Cycle&& cycle) {
    ChargingSystem recorder(file);
    CycleRun run;
    for (long number = first; number < first + charges; ++number) {
        recorder.Record(number);
        double start = Now();
        run.processed += cycle(number) ? 1 : 0;
        run.seconds += Now() - start;
    }
    return run;
}

// sqlite3, every statement prepared again on every call (the texts as the store sends them).
CycleRun RunSqliteReprepared(const std::string& file, long first, long charges);
// sqlite3, each statement prepared once and the keys bound.
CycleRun RunSqlitePrepared(const std::string& file, long first, long charges);
// The same texts through the SQLite ODBC driver, SQLExecDirect on every call.
CycleRun RunOdbcRaw(const std::string& file, long first, long charges);
// CMorvane through the SQLite ODBC driver, its command timeout in force.
CycleRun RunStore(const std::string& file, long first, long charges);

// The ODBC data source the ODBC methods use; the parent writes it (WriteDataSource)
// before starting them.
constexpr const char* kDataSource = "bench_charge";
// Writes odbcinst.ini and odbc.ini into `folder`, naming `file` under kDataSource,
// and points the driver manager at them; "" or what is missing.
std::string WriteDataSource(const std::string& folder, const std::string& file);

}  // namespace benchcharge
