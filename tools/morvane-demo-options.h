// The command line of morvane-demo: what a run is asked to do, checked before anything
// on disk is touched.
#pragma once

#include <string>

namespace demo {

// A year of charges at one every six minutes: the most one run lets arrive at once, and
// the most it replays to catch up with the clock. Beyond it a run would take days.
inline constexpr long kMaxArrivals = 365L * 24 * 10;

struct Options {
    std::string home = "morvane-plant";  // --home, else $MORVANE_HOME
    bool reset = false;
    bool yes = false;       // --reset without asking
    long arrive = 0;        // 0 .. kMaxArrivals
    std::string now;        // canonical date-time text; empty: the system clock
    std::string exportCsv;  // empty: no export
    bool wait = true;       // a second run on the same plant waits for the first (--no-wait: refuses)
    bool follow = false;    // keep polling after catching up, until SIGINT or SIGTERM
    double poll = 5.0;      // seconds between two polls of --follow: kPollRange
    // A plant on a server: the user's ODBC data source instead of the private SQLite plant.
    std::string dsn;                           // empty: the plant in --home
    std::string dbType = "MicroSoft Access";   // CMorvane's m_bstrDbType
    std::string user;                          // empty: the data source's own
    bool createSchema = false;                 // create the five tables when missing
    // The synthetic charging system: on by default on the plant in --home, off on a
    // data source (there the plant's charging system writes the charges).
    enum class Simulation { kDefault, kOn, kOff } simulate = Simulation::kDefault;
};

inline constexpr double kPollRange[2] = {0.1, 3600.0};

// Whether this run simulates the charging system.
inline bool Simulates(const Options& options) {
    return options.simulate == Options::Simulation::kOn ||
           (options.simulate == Options::Simulation::kDefault && options.dsn.empty());
}

// Parses the command line into `options`. Returns -1 when the job is to run; otherwise
// the exit status (0 after --help or --version on standard output, 2 after a usage
// error that names the argument on standard error).
int ParseCommandLine(int argc, char** argv, Options& options);

}  // namespace demo
