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
};

inline constexpr double kPollRange[2] = {0.1, 3600.0};

// Parses the command line into `options`. Returns -1 when the job is to run; otherwise
// the exit status (0 after --help or --version on standard output, 2 after a usage
// error that names the argument on standard error).
int ParseCommandLine(int argc, char** argv, Options& options);

}  // namespace demo
