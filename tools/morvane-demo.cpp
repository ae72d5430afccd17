// morvane-demo: the product's main job on the embedded default.
//
// It keeps a plant database in a folder of its own ($MORVANE_HOME, default
// ./morvane-plant): plant.db (SQLite), odbcinst.ini and odbc.ini (the private ODBC data
// source "morvane_plant" through which CMorvane reaches it, as a host reaches
// "MicroSoft Access"), and profiles.svg. The charging system records a charge about
// every six minutes; the first run replays the last 24 hours, a later run only what
// arrived since (--arrive N adds N more charges at once). Each charge is processed as
// it arrives, as at the plant, because the store always hands out the newest charge
// after the newest result: the road of one charge (DumpSelectNewBD, SkipSelectNewBD,
// DumpGetException, AngleSelectNew, the example model, ResultInsertBD).
//
// One run at a time works on a plant folder (a lock in it); every arrival and a reset
// are one transaction each, and unique keys on the time columns make a second record of
// one charge or a second result impossible, so a run killed at any moment is simply
// run again. --dsn works on a user's own data source instead (a plant on a server),
// --follow keeps a model host running until SIGINT or SIGTERM.
//
// Usage: morvane-demo [--home DIR] [--reset [--yes]] [--arrive N] [--now TIME]
//                     [--export-csv FILE] [--follow [--poll S]] [--dsn NAME ...]
//                     (morvane-demo --help says more).
#include "morvane-demo.h"
#include "morvane-demo-options.h"
#include "morvane-demo-password.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <limits>
#include <stdexcept>

namespace {

// A bar redrawn in place on a terminal; in a log, one line per tenth of the work.
void Progress(std::size_t done, std::size_t total) {
    const int width = 40;
    int filled = total ? static_cast<int>(width * done / total) : width;
    static int printedTenth = -1;
    if (!isatty(STDERR_FILENO)) {
        int tenth = total ? static_cast<int>(10 * done / total) : 10;
        if (tenth == printedTenth) return;
        printedTenth = tenth;
    }
    std::fprintf(stderr, "%s[%.*s%*s] %zu/%zu charges", isatty(STDERR_FILENO) ? "\r" : "", filled,
                 "########################################", width - filled, "", done, total);
    if (done == total || !isatty(STDERR_FILENO)) std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Set by SIGINT and SIGTERM during --follow: the run ends after the charge in hand.
volatile std::sig_atomic_t g_stopSignal = 0;
void OnStopSignal(int signal) { g_stopSignal = signal; }

// What a run did, for its summary.
struct Tally {
    std::vector<double> milliseconds;  // per charge this run processed
    long byOtherHosts = 0;             // charges another host stored first
};

// Rows of `table` whose time `column` holds `time`. The time came from the store; only
// its canonical form, which no quote survives, goes into the statement.
long CountWhere(CMorvane& store, const char* table, const char* column, const std::string& time) {
    std::string canonical;
    if (FAILED(dbplatform::CanonicalDateText(time, &canonical)))
        throw std::runtime_error("the charge time '" + time + "' is not a date and time");
    std::string sql = std::string("SELECT COUNT(*) FROM ") + table + " WHERE " + column + " = '" + canonical + "'";
    _RecordsetPtr rows = store.m_pConnection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    return static_cast<long>(rows->GetFields()->GetItem(_variant_t(0L))->GetValue());
}

// The road of one charge. Returns false when no unprocessed charge is left. The surface
// the charge falls on is the newest stored result, read back from the store: the same
// whether this run computed it a moment ago, an earlier (perhaps killed) run did, or
// another host sharing the store.
bool ProcessNewestCharge(CMorvane& store, Tally& tally) {
    store.m_szNewTime[0] = '\0';
    if (store.DumpSelectNewBD() < 0) throw std::runtime_error("reading the newest charge failed");
    if (store.m_szNewTime[0] == '\0') return false;
    store.SkipSelectNewBD();
    std::memcpy(store.m_szBDTime, store.m_szNewTime, sizeof(store.m_szBDTime));
    // DumpSelectNewBD left the newest reading of all in m_dRulerHeight, and a reading
    // not found (or NULL) leaves the slots as they were: mark them unread first.
    store.m_dRulerHeight[0] = store.m_dRulerHeight[1] = std::numeric_limits<double>::quiet_NaN();
    const int gauges = store.DumpGetException();
    if (gauges < 0) throw std::runtime_error("reading the gauges failed");
    std::string faultyGauge;
    const double gaugeLevel = gauges == 1 ? demo::GaugeLevel(store.m_dRulerHeight, &faultyGauge)
                                          : std::numeric_limits<double>::quiet_NaN();
    if (!faultyGauge.empty())
        std::fprintf(stderr, "\nmorvane-demo: %s before the charge at %s; ignored\n", faultyGauge.c_str(),
                     store.m_szNewTime);
    char time[sizeof(store.m_szNewTime)];
    std::memcpy(time, store.m_szNewTime, sizeof(time));
    if (store.AngleSelectNew(time) < 0) throw std::runtime_error("reading the chute angles failed");

    demo::ModelInput input;
    std::vector<demo::PlottedProfile> below = demo::NewestResults(store, 1);
    if (!below.empty()) input.previous = below.front().surface;
    std::copy(std::begin(store.m_fAngleWeight), std::end(store.m_fAngleWeight), input.weight.begin());
    std::copy(std::begin(store.m_dChuteAngle), std::end(store.m_dChuteAngle), input.chuteAngle.begin());
    input.density = store.m_dMaterialDensity;
    input.reposeAngle = store.m_dMaterialAngle;
    input.gaugeLevel = gaugeLevel;
    demo::ModelResult result = demo::ComputeProfile(input);

    store.m_nBDMaterial = store.m_nMaterialCode;
    store.m_dBDLeftPoint = result.lowestRadius;
    std::copy(result.surface.begin(), result.surface.end(), store.m_dBDSeq);
    if (store.ResultInsertBD() != 1) {
        // A host sharing the store may have stored this charge's result first: then the
        // key refused ours, and the charge is processed all the same.
        if (CountWhere(store, "MODEL_RESULTBURDENDIS", "TIMESTAMP", time) == 0)
            throw std::runtime_error(std::string("storing the result of the charge at ") + time + " failed");
        demo::ForgetFailureCauses();
        ++tally.byOtherHosts;
        return true;
    }
    return true;
}

// Asks on the terminal before --reset empties the plant. Without a terminal nobody can
// answer, so only --yes confirms. Returns -1 to go on, else the exit status.
int ConfirmReset(const demo::Options& options, const std::string& where) {
    if (!options.reset || options.yes) return -1;
    if (!isatty(STDIN_FILENO)) {
        std::fprintf(stderr,
                     "morvane-demo: --reset empties %s and needs a confirmation: run it on a terminal, or add "
                     "--yes\n",
                     where.c_str());
        return 2;
    }
    std::fprintf(stderr, "Empty %s and start the day over? [y/N] ", where.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) answer.clear();
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return -1;
    std::fprintf(stderr, "morvane-demo: nothing changed\n");
    return 1;
}

// The charges the clock has brought since `newest`, counted without keeping them.
// Beyond a year's worth the plant is taken as abandoned: replaying it would take days.
long ChargesDue(const demo::ChargingSystem& plant, const demo::Charge& newest, const std::string& nowText,
                const std::string& dayAgo) {
    long due = 0;
    for (demo::Charge next = plant.Next(newest, dayAgo); next.time <= nowText; next = plant.Next(next, dayAgo)) {
        if (++due > demo::kMaxArrivals)
            throw std::runtime_error("the plant's newest charge, #" + std::to_string(newest.number) + " at " +
                                     newest.time + ", is more than a year before " + nowText +
                                     ": too much to replay; --reset starts the day over");
    }
    return due;
}

// Waits `seconds`, or less when a stop signal arrives.
void Pause(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!g_stopSignal && std::chrono::steady_clock::now() < until) {
        timespec step{0, 50 * 1000 * 1000};
        nanosleep(&step, nullptr);
    }
}

// The present of the run: --now, else the clock.
DATE Now(const demo::Options& options) {
    DATE now = dbplatform::DateFromUnixTime(std::time(nullptr));
    if (!options.now.empty() && FAILED(dbplatform::DateFromText(options.now, &now)))
        throw std::runtime_error("--now " + options.now + " is not a date");
    return now;
}

// Opens the store: the private plant data source, or the user's --dsn.
bool Connect(CMorvane& store, const demo::Options& options, const demo::PlantPaths& paths,
             const std::string& password) {
    store.m_bstrDbType = options.dsn.empty() ? "MicroSoft Access" : options.dbType.c_str();
    store.m_bstrDataSource = paths.dataSource.c_str();
    store.m_bstrUserID = options.user.c_str();
    store.m_bstrPassword = password.c_str();
    return store.Connect() == 1;
}

// Makes the store ready for the job: the plant's own tables and keys, or on a user's
// data source only what --create-schema asks for. Returns "" or why the job cannot run.
std::string PrepareStore(CMorvane& store, const demo::Options& options, const std::string& where) {
    const bool ownsSchema = options.dsn.empty() || options.createSchema;
    if (ownsSchema) demo::CreateTables(store, demo::ProductOf(store));
    if (std::string missing = demo::MissingTables(store); !missing.empty())
        return where + " lacks the table(s) " + missing + (options.dsn.empty() ? "" : ": --create-schema creates them");
    if (ownsSchema) {
        if (std::string duplicates = demo::AddUniqueKeys(store); !duplicates.empty())
            return where + " holds charges or results recorded twice (" + duplicates +
                   "), which its unique keys are to forbid; nothing was changed. Remove the surplus rows (see "
                   "the README, \"Duplicated rows\") and run again";
    }
    return "";
}

int Run(const demo::Options& options) {
    demo::PlantPaths paths;
    paths.home = std::filesystem::absolute(options.home).lexically_normal().string();
    paths.database = paths.home + "/plant.db";
    paths.dataSource = options.dsn.empty() ? "morvane_plant" : options.dsn;
    paths.plot = paths.home + "/profiles.svg";
    const bool serverPlant = !options.dsn.empty();
    const std::string where = serverPlant ? "the data source " + options.dsn : "the plant database " + paths.database;

    // A plant folder is one run's at a time. A store on a server has no such file: there
    // the hosts rely on the store's unique keys and the store's atomic insert instead.
    demo::PlantLock lock;
    if (!serverPlant) {
        std::string problem;
        switch (lock.Take(paths.home, options.wait, &problem)) {
            case demo::PlantLock::kTaken: break;
            case demo::PlantLock::kBusy: std::fprintf(stderr, "morvane-demo: %s\n", problem.c_str()); return 3;
            case demo::PlantLock::kFailed: std::fprintf(stderr, "morvane-demo: %s\n", problem.c_str()); return 1;
        }
        if (std::string error = demo::RegisterDataSource(paths); !error.empty()) {
            std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
            return 1;
        }
    } else {
        std::error_code error;
        std::filesystem::create_directories(paths.home, error);
        if (error) {
            std::fprintf(stderr, "morvane-demo: cannot create %s: %s\n", paths.home.c_str(), error.message().c_str());
            return 1;
        }
    }
    if (!options.exportCsv.empty()) {
        // The export is written by renaming a finished file over FILE: never over the
        // plant's own files.
        std::error_code error;
        const auto exportPath = std::filesystem::weakly_canonical(options.exportCsv, error);
        for (const std::string& own : {paths.database, paths.home + "/odbc.ini", paths.home + "/odbcinst.ini",
                                       paths.plot, paths.home + "/plant.lock"})
            if (!error && exportPath == std::filesystem::weakly_canonical(own, error)) {
                std::fprintf(stderr, "morvane-demo: --export-csv %s would replace the plant's own %s\n",
                             options.exportCsv.c_str(), own.c_str());
                return 2;
            }
    }
    if (int status = ConfirmReset(options, where); status >= 0) return status;

    if (!serverPlant) {
        demo::PlantFile file = demo::CheckPlantFile(paths.database);
        if (file.state == demo::PlantFile::kUnusable) {
            if (!options.reset) {
                std::fprintf(stderr, "morvane-demo: %s; --reset sets it aside and starts a new plant\n",
                             file.problem.c_str());
                return 1;
            }
            std::string aside;
            if (std::string error = demo::SetPlantFileAside(paths.database, &aside); !error.empty()) {
                std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
                return 1;
            }
            std::fprintf(stderr, "morvane-demo: %s; moved to %s, starting a new plant\n", file.problem.c_str(),
                         aside.c_str());
        }
        if (file.state != demo::PlantFile::kPlant) {
            if (std::string error = demo::CreatePlantFile(paths.database); !error.empty()) {
                std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
                return 1;
            }
        }
    }

    const std::string password = serverPlant ? demo::PasswordFor(options.dsn, options.user) : std::string();
    CoInitialize(nullptr);
    CMorvane store;
    if (!Connect(store, options, paths, password)) {
        std::fprintf(stderr, "morvane-demo: cannot open %s\n", where.c_str());
        demo::PrintFailureCause(nullptr);
        return 1;
    }
    if (std::string problem = PrepareStore(store, options, where); !problem.empty()) {
        std::fprintf(stderr, "morvane-demo: %s\n", problem.c_str());
        return 1;
    }
    if (options.reset) demo::ClearTables(store);

    // From here a stop signal ends a following run after the charge in hand. Before,
    // while it waits for the plant or connects, nothing is written and the signal's
    // default ending is as clean.
    if (options.follow) {
        struct sigaction stop {};
        stop.sa_handler = OnStopSignal;
        sigemptyset(&stop.sa_mask);
        sigaction(SIGINT, &stop, nullptr);
        sigaction(SIGTERM, &stop, nullptr);
    }

    const bool simulate = demo::Simulates(options);
    demo::ChargingSystem plant(store);
    demo::Charge newest = plant.Newest();
    const DATE startedAt = Now(options);
    const std::string dayAgo = dbplatform::TextFromDate(startedAt - 1.0);
    DATE newestDate = 0;
    if (newest.number != 0 && FAILED(dbplatform::DateFromText(newest.time, &newestDate)))
        throw std::runtime_error("the newest charge's time, '" + newest.time + "', is not a date");

    // A new plant starts with its first charge and the standard profile at it; a plant
    // whose results are gone is seeded again, or nothing would count as processed.
    if (simulate && newest.number == 0) {
        newest = plant.Next(newest, dayAgo);
        plant.Record(newest);
    }
    if (demo::NewestResults(store, 1).empty() && plant.Newest().number != 0) {
        if (store.ResultStandBD() < 0) throw std::runtime_error("seeding the result table failed");
        std::fprintf(stderr, "morvane-demo: %s seeded with the standard profile at its first charge\n",
                     where.c_str());
    }

    Tally tally;
    auto processPending = [&] {
        while (!g_stopSignal) {
            auto start = std::chrono::steady_clock::now();
            const long before = tally.byOtherHosts;
            if (!ProcessNewestCharge(store, tally)) return;
            if (tally.byOtherHosts == before)
                tally.milliseconds.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    };
    processPending();  // whatever arrived while no host was running

    // The charging system: every charge due by the clock, made one at a time, each
    // processed as it arrives.
    demo::Charge last = newest;
    auto simulateUntil = [&](DATE now, long extra, bool showProgress) {
        if (!simulate) return;
        last = plant.Newest();
        const std::string nowText = dbplatform::TextFromDate(now);
        const long total = ChargesDue(plant, last, nowText, dayAgo) + extra;
        demo::Charge next = plant.Next(last, dayAgo);
        for (long i = 0; i < total && !g_stopSignal; ++i, next = plant.Next(next, dayAgo)) {
            plant.Record(next);
            processPending();
            if (showProgress) Progress(static_cast<std::size_t>(i + 1), static_cast<std::size_t>(total));
        }
    };
    simulateUntil(startedAt, options.arrive, true);

    if (options.follow) {
        std::fprintf(stderr, "morvane-demo: caught up; following %s every %g s (SIGINT or SIGTERM ends the run)\n",
                     where.c_str(), options.poll);
        double backOff = 0;  // seconds; 0 while the store answers
        while (!g_stopSignal) {
            try {
                if (backOff > 0) {
                    if (!Connect(store, options, paths, password)) throw std::runtime_error("reconnecting failed");
                    std::fprintf(stderr, "morvane-demo: %s answers again\n", where.c_str());
                    backOff = 0;
                }
                simulateUntil(Now(options), 0, false);
                processPending();
                demo::ForgetFailureCauses();
            } catch (const std::exception& error) {
                backOff = backOff == 0 ? options.poll : std::min(backOff * 2, 300.0);
                std::fprintf(stderr, "morvane-demo: %s; trying again in %g s\n", error.what(), backOff);
                demo::PrintFailureCause(nullptr);
            } catch (const _com_error& error) {
                backOff = backOff == 0 ? options.poll : std::min(backOff * 2, 300.0);
                std::fprintf(stderr, "morvane-demo: %s; trying again in %g s\n", error.ErrorMessage(), backOff);
                demo::PrintFailureCause(&error);
            }
            Pause(backOff > 0 ? backOff : options.poll);
        }
        std::fprintf(stderr, "morvane-demo: %s received; stopping\n", g_stopSignal == SIGINT ? "SIGINT" : "SIGTERM");
    }

    if (tally.milliseconds.empty()) {
        demo::Charge newestNow = plant.Newest();
        std::printf("No new charges since the last run: the newest, #%d at %s, is processed.\n", newestNow.number,
                    newestNow.time.c_str());
    } else {
        std::vector<double> sorted = tally.milliseconds;
        std::sort(sorted.begin(), sorted.end());
        double median = sorted.size() % 2 ? sorted[sorted.size() / 2]
                                          : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
        std::printf("Charges processed: %zu\nTime per charge: median %.2f ms, worst %.2f ms\n", sorted.size(),
                    median, sorted.back());
    }
    if (tally.byOtherHosts > 0)
        std::printf("Charges another host processed first: %ld\n", tally.byOtherHosts);
    std::vector<demo::PlottedProfile> profiles = demo::NewestResults(store, 8);
    if (std::string error = demo::WritePlot(paths.plot, profiles); !error.empty()) {
        std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
        return 1;
    }
    std::printf("Database: %s\nPlot of the newest %zu profiles: %s\n",
                serverPlant ? ("data source " + options.dsn).c_str() : paths.database.c_str(), profiles.size(),
                paths.plot.c_str());
    if (!options.exportCsv.empty()) {
        long rows = 0;
        if (std::string error = demo::ExportResults(store, options.exportCsv, &rows); !error.empty()) {
            std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
            return 1;
        }
        std::printf("Results exported: %ld rows to %s\n", rows, options.exportCsv.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The SQLite ODBC driver reads its data source through libodbcinst, and unixODBC
    // unloads both after the last connection; what the library keeps for the process is
    // then in memory that no loaded code owns. Kept mapped, it stays attributed to the
    // library (and the leak checker of a sanitizer build can tell it from ours).
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
    demo::Options options;
    if (int status = demo::ParseCommandLine(argc, argv, options); status >= 0) return status;
    demo::RecordFailureCauses();
    try {
        return Run(options);
    } catch (const _com_error& error) {
        std::fprintf(stderr, "morvane-demo: %s\n", error.ErrorMessage());
        demo::PrintFailureCause(&error);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "morvane-demo: %s\n", error.what());
        demo::PrintFailureCause(nullptr);
    }
    return 1;
}
