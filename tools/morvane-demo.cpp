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
// Usage: morvane-demo [--reset] [--home DIR] [--arrive N]
#include "morvane-demo.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>

namespace {

struct Options {
    bool reset = false;
    std::string home;
    long arrive = 0;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: morvane-demo [--reset] [--home DIR] [--arrive N]\n"
                 "  --home DIR   plant folder (default $MORVANE_HOME, else ./morvane-plant)\n"
                 "  --reset      empty the plant database and start the day over\n"
                 "  --arrive N   let N more charges arrive now, beyond those due by the clock\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    const char* home = std::getenv("MORVANE_HOME");
    options.home = home && *home ? home : "morvane-plant";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--reset") {
            options.reset = true;
        } else if (arg == "--home" && i + 1 < argc) {
            options.home = argv[++i];
        } else if (arg == "--arrive" && i + 1 < argc) {
            char* end = nullptr;
            options.arrive = std::strtol(argv[++i], &end, 10);
            if (*end || options.arrive < 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string LocalTimeText(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    return dbplatform::TextFromDate(dbplatform::DateFromLocalTime(local));
}

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

// The road of one charge. Returns false when no unprocessed charge is left.
bool ProcessNewestCharge(CMorvane& store, demo::Profile& previous) {
    store.m_szNewTime[0] = '\0';
    if (store.DumpSelectNewBD() < 0) throw std::runtime_error("reading the newest charge failed");
    if (store.m_szNewTime[0] == '\0') return false;
    store.SkipSelectNewBD();
    std::memcpy(store.m_szBDTime, store.m_szNewTime, sizeof(store.m_szBDTime));
    if (store.DumpGetException() < 0) throw std::runtime_error("reading the gauges failed");
    char time[sizeof(store.m_szNewTime)];
    std::memcpy(time, store.m_szNewTime, sizeof(time));
    if (store.AngleSelectNew(time) < 0) throw std::runtime_error("reading the chute angles failed");

    demo::ModelInput input;
    input.previous = previous;
    std::copy(std::begin(store.m_fAngleWeight), std::end(store.m_fAngleWeight), input.weight.begin());
    std::copy(std::begin(store.m_dChuteAngle), std::end(store.m_dChuteAngle), input.chuteAngle.begin());
    input.density = store.m_dMaterialDensity;
    input.reposeAngle = store.m_dMaterialAngle;
    demo::ModelResult result = demo::ComputeProfile(input);

    store.m_nBDMaterial = store.m_nMaterialCode;
    store.m_dBDLeftPoint = result.lowestRadius;
    std::copy(result.surface.begin(), result.surface.end(), store.m_dBDSeq);
    if (store.ResultInsertBD() != 1) throw std::runtime_error("storing the result failed");
    previous = result.surface;
    return true;
}

int Run(const Options& options) {
    demo::PlantPaths paths;
    paths.home = std::filesystem::absolute(options.home).lexically_normal().string();
    paths.database = paths.home + "/plant.db";
    paths.dataSource = "morvane_plant";
    paths.plot = paths.home + "/profiles.svg";
    if (std::string error = demo::RegisterDataSource(paths); !error.empty()) {
        std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
        return 1;
    }

    CoInitialize(nullptr);
    CMorvane store;
    store.m_bstrDbType = "MicroSoft Access";
    store.m_bstrDataSource = paths.dataSource.c_str();
    if (store.Connect() != 1) {
        std::fprintf(stderr, "morvane-demo: cannot open the data source %s (%s)\n", paths.dataSource.c_str(),
                     paths.database.c_str());
        return 1;
    }
    demo::CreateTables(store);
    if (options.reset) demo::ClearTables(store);

    demo::ChargingSystem plant(store);
    demo::Charge newest = plant.Newest();
    const std::time_t now = std::time(nullptr);
    const std::string nowText = LocalTimeText(now);
    const std::string dayAgo = LocalTimeText(now - 24 * 3600);

    // A new plant starts with its first charge and the standard profile at it; a plant
    // whose results are gone is seeded again, or nothing would count as processed.
    if (newest.number == 0) {
        newest = plant.Next(newest, dayAgo);
        plant.Record(newest);
    }
    if (demo::NewestResults(store, 1).empty()) {
        if (store.ResultStandBD() < 0) throw std::runtime_error("seeding the result table failed");
        std::fprintf(stderr, "morvane-demo: plant database %s seeded with the standard profile at its first charge\n",
                     paths.database.c_str());
    }

    // Every charge due by the clock, then the extra ones asked for.
    std::vector<demo::Charge> arrivals;
    demo::Charge next = plant.Next(newest, dayAgo);
    for (; next.time <= nowText; next = plant.Next(next, dayAgo)) arrivals.push_back(next);
    for (long extra = 0; extra < options.arrive; ++extra, next = plant.Next(next, dayAgo)) arrivals.push_back(next);

    std::vector<demo::PlottedProfile> stored = demo::NewestResults(store, 1);
    demo::Profile previous{};
    if (!stored.empty()) previous = stored.front().surface;

    std::vector<double> milliseconds;
    auto processPending = [&] {
        for (;;) {
            auto start = std::chrono::steady_clock::now();
            if (!ProcessNewestCharge(store, previous)) return;
            milliseconds.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    };
    processPending();  // whatever arrived while no host was running
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        plant.Record(arrivals[i]);
        processPending();
        Progress(i + 1, arrivals.size());
    }

    if (milliseconds.empty()) {
        demo::Charge last = plant.Newest();
        std::printf("No new charges since the last run: the newest, #%d at %s, is processed.\n", last.number,
                    last.time.c_str());
    } else {
        std::vector<double> sorted = milliseconds;
        std::sort(sorted.begin(), sorted.end());
        double median = sorted.size() % 2 ? sorted[sorted.size() / 2]
                                          : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
        std::printf("Charges processed: %zu\nTime per charge: median %.2f ms, worst %.2f ms\n", sorted.size(),
                    median, sorted.back());
    }
    std::vector<demo::PlottedProfile> profiles = demo::NewestResults(store, 8);
    if (std::string error = demo::WritePlot(paths.plot, profiles); !error.empty()) {
        std::fprintf(stderr, "morvane-demo: %s\n", error.c_str());
        return 1;
    }
    std::printf("Database: %s\nPlot of the newest %zu profiles: %s\n", paths.database.c_str(), profiles.size(),
                paths.plot.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 2;
    }
    try {
        return Run(options);
    } catch (const _com_error& error) {
        std::fprintf(stderr, "morvane-demo: %s (%s)\n", error.ErrorMessage(),
                     static_cast<const char*>(error.Description()) ? static_cast<const char*>(error.Description())
                                                                     : "");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "morvane-demo: %s\n", error.what());
    }
    return 1;
}
