// The command line of morvane-demo, parsed with CLI11. The help text is also the
// manual page's source (help2man reads --help and --version at build time), so its
// sections are written the way help2man recognises them.
#include "morvane-demo-options.h"

#include <CLI/CLI.hpp>

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include <dbplatform/automation/DateTime.h>

#ifndef MORVANE_DEMO_VERSION
#error "MORVANE_DEMO_VERSION is set by the build"
#endif

namespace demo {

namespace {

constexpr const char* kDescription =
    "morvane-demo: the burden-distribution model's host on a plant database of its own.\n"
    "The charging system records a charge about every six minutes; the first run replays the\n"
    "last 24 hours, a later run what fell due since. Each charge is processed as it arrives\n"
    "and the newest profiles are plotted to DIR/profiles.svg.";

constexpr const char* kFooter =
    "Files:\n"
    "  DIR/plant.db      the SQLite plant database (five tables)\n"
    "  DIR/odbc.ini      the private ODBC data source morvane_plant; odbcinst.ini names the\n"
    "                    SQLite ODBC driver. Both are written only when absent: edits are kept.\n"
    "  DIR/profiles.svg  the newest eight burden-surface profiles\n"
    "  DIR/plant.lock    held by the run working on the plant: a second run waits for it\n"
    "                    (or, with --no-wait, refuses)\n"
    "\n"
    "A plant on a server:\n"
    "  With --dsn NAME the job works on the user's ODBC data source NAME (configured in\n"
    "  odbc.ini as usual; DIR then only holds the plot). The tables must exist, or\n"
    "  --create-schema creates them. No file lock is taken: several model hosts may share\n"
    "  the store, whose insert keeps one result per charge (and the unique keys that\n"
    "  --create-schema adds refuse a second one). The charging system is not simulated\n"
    "  unless --simulate asks for it.\n"
    "\n"
    "Environment:\n"
    "  MORVANE_HOME      the plant folder when --home is not given\n"
    "  MORVANE_PASSWORD  the password for --dsn; without it, the data source's own, or a\n"
    "                    prompt on a terminal when the data source names none\n"
    "\n"
    "Exit status:\n"
    "  0 done (also after SIGINT or SIGTERM ended --follow); 1 the job failed (the cause is\n"
    "  printed); 2 a bad argument, or --reset refused without a terminal to confirm on and\n"
    "  without --yes; 3 --no-wait and another run works on the plant.";

constexpr int kFirstYear = 1971, kLastYear = 9990;

// "" for a whole number of charges from 0 to kMaxArrivals; otherwise why not. Digits
// only: a sign, blank or exponent is refused rather than guessed at.
std::string CheckArrive(const std::string& text) {
    const std::string bound = "at most " + std::to_string(kMaxArrivals) +
                              " charges at once (a year at one every six minutes)";
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return "'" + text + "' is not a whole number of charges; " + bound;
    // More significant digits than the bound has cannot be within it; so strtol never
    // sees a number that would overflow.
    std::string_view digits = text;
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    if (digits.size() > std::to_string(kMaxArrivals).size() ||
        std::strtol(std::string(digits).c_str(), nullptr, 10) > kMaxArrivals)
        return text + " is too many: " + bound;
    return "";
}

// Replaces `text` by its canonical date-time form; "" or why it is not a date.
std::string CheckNow(std::string& text) {
    std::string canonical;
    if (FAILED(dbplatform::CanonicalDateText(text, &canonical)))
        return "'" + text + "' is not a date and time (YYYY-MM-DD HH:MM:SS, local time)";
    // The run replays the day before and may add a year of charges after: both must stay
    // inside the dates the platform represents.
    int year = std::atoi(canonical.substr(0, 4).c_str());
    if (year < kFirstYear || year > kLastYear)
        return canonical + " is outside the years " + std::to_string(kFirstYear) + " to " + std::to_string(kLastYear);
    text = canonical;
    return "";
}

// "" when FILE can be created where it is named: a file name in an existing folder.
// Checked before the run, so that a mistyped path does not wait for a day of charges.
std::string CheckExportPath(const std::string& text) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(text, error);
    if (text.empty() || error || !path.has_filename()) return "'" + text + "' is not a file name";
    if (std::filesystem::is_directory(path, error)) return text + " is a folder";
    if (!std::filesystem::is_directory(path.parent_path(), error))
        return "cannot write " + text + ": there is no folder " + path.parent_path().string();
    return "";
}

}  // namespace

int ParseCommandLine(int argc, char** argv, Options& options) {
    CLI::App app{kDescription, "morvane-demo"};
    app.footer(kFooter);
    app.get_formatter()->column_width(28);
    app.set_version_flag("--version", std::string("morvane-demo ") + MORVANE_DEMO_VERSION,
                         "print the version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");

    std::string arrive;
    app.add_option("--home", options.home, "plant folder (default: $MORVANE_HOME, else ./morvane-plant)")
        ->type_name("DIR")
        ->envname("MORVANE_HOME")
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? std::string("the plant folder must be named") : ""; }, "",
            "home"));
    app.add_flag("--reset", options.reset,
                 "empty the plant and start the day over; asks first on a terminal. Over a plant.db "
                 "that is not a plant database, sets that file aside and starts a new one");
    app.add_flag("-y,--yes", options.yes, "confirm --reset without asking");
    app.add_option("--arrive", arrive,
                   "let N more charges arrive now, beyond those due by the clock (at most " +
                       std::to_string(kMaxArrivals) + ")")
        ->type_name("N")
        ->check(CLI::Validator([](std::string& text) { return CheckArrive(text); }, "", "arrive"));
    app.add_option("--now", options.now,
                   "take TIME (YYYY-MM-DD HH:MM:SS, local) as the present instead of the clock, so "
                   "that two runs simulate the same charges")
        ->type_name("TIME")
        ->check(CLI::Validator([](std::string& text) { return CheckNow(text); }, "", "now"));
    app.add_option("--export-csv", options.exportCsv,
                   "after the run, write every stored result (time, charge, material, the 250 "
                   "profile values) to FILE, one line each after a header line")
        ->type_name("FILE")
        ->check(CLI::Validator([](std::string& text) { return CheckExportPath(text); }, "", "export"));
    bool noWait = false;
    app.add_flag("--no-wait", noWait,
                 "when another run works on the same plant, refuse at once with exit status 3 instead of "
                 "waiting for it");
    app.add_flag("--follow", options.follow,
                 "after catching up, keep polling the store and process each charge as it arrives, until "
                 "SIGINT or SIGTERM (which end the run after the charge in hand, with exit status 0)");
    app.add_option("--poll", options.poll, "seconds between two polls of --follow (default 5)")
        ->type_name("SECONDS")
        ->check(CLI::Range(kPollRange[0], kPollRange[1]));
    auto* dsn = app.add_option("--dsn", options.dsn,
                               "work on the ODBC data source NAME (a plant on a server) instead of DIR/plant.db")
                    ->type_name("NAME")
                    ->check(CLI::Validator(
                        [](std::string& text) {
                            return text.empty() || text.find_first_of(";{}=[]") != std::string::npos
                                       ? std::string("'" + text + "' is not a data source name")
                                       : std::string();
                        },
                        "", "dsn"));
    app.add_option("--db-type", options.dbType,
                   "the store's database kind for --dsn: \"MicroSoft Access\" (the default) or \"Oracle9i\"")
        ->type_name("KIND")
        ->needs(dsn)
        ->check(CLI::IsMember(std::vector<std::string>{"MicroSoft Access", "Oracle9i"}));
    app.add_option("--user", options.user, "the user name for --dsn (default: the data source's own)")
        ->type_name("NAME")
        ->needs(dsn);
    app.add_flag("--create-schema", options.createSchema,
                 "with --dsn: create the five tables and their unique keys where they are missing, with "
                 "the product's own types")
        ->needs(dsn);
    bool simulate = false, noSimulate = false;
    auto* simulateFlag = app.add_flag("--simulate", simulate,
                                      "simulate the charging system (the default on the plant in DIR; with --dsn "
                                      "only when asked, since a plant's charging system writes the charges)");
    app.add_flag("--no-simulate", noSimulate, "do not simulate the charging system: only process what is stored")
        ->excludes(simulateFlag);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("morvane-demo: ") + error.what() + "\nRun 'morvane-demo --help' for the options.\n";
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);  // help and version on stdout, errors on stderr
        return status == 0 ? 0 : 2;
    }
    options.simulate = simulate     ? Options::Simulation::kOn
                       : noSimulate ? Options::Simulation::kOff
                                    : Options::Simulation::kDefault;
    options.wait = !noWait;
    options.arrive = arrive.empty() ? 0 : std::strtol(arrive.c_str(), nullptr, 10);
    assert(options.arrive >= 0 && options.arrive <= kMaxArrivals);
    if (options.arrive > 0 && !Simulates(options)) {
        std::fprintf(stderr, "morvane-demo: --arrive needs the charging system simulated (--simulate)\n"
                             "Run 'morvane-demo --help' for the options.\n");
        return 2;
    }
    return -1;
}

}  // namespace demo
