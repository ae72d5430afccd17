// Charge-cycle benchmark: the store's road of one charge (DumpSelectNewBD,
// SkipSelectNewBD, a 250-value profile, ResultInsertBD) against the same SQL issued raw.
//
// The parent builds a plant database (processed charges with their results) once, then
// runs every method three times, each run in a process of its own (this program again,
// with --method) on a fresh copy of the plant, and prints the median charges per second
// and the time ratios of all methods to each other. Times are CPU seconds of the cycles
// alone; recording each new charge is not timed.
//
//   bench-charge [--full] [--processed N] [--charges N] [--keep]
//   default 10,000 processed and 200 new charges; --full 100,000 and 2,000
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_charge_methods.h"
#include "bench_charge_plant.h"

namespace {

using benchcharge::CycleRun;
using Method = CycleRun (*)(const std::string& file, long first, long charges);

struct MethodEntry {
    const char* name;
    const char* label;
    Method run;
};

const MethodEntry kMethods[] = {
    {"sqlite-reprepared", "(a) sqlite3, prepared per call", benchcharge::RunSqliteReprepared},
    {"sqlite-prepared", "(b) sqlite3, prepared once", benchcharge::RunSqlitePrepared},
    {"odbc-raw", "(c) ODBC, SQLExecDirect per call", benchcharge::RunOdbcRaw},
    {"store-odbc", "(d) CMorvane through ODBC", benchcharge::RunStore},
};
constexpr int kBaselines = 3;  // the raw methods every method is compared with
constexpr int kRuns = 3;

long NumberArgument(int argc, char** argv, int& i) {
    if (i + 1 >= argc) benchcharge::Fail(std::string(argv[i]) + " needs a number");
    char* end = nullptr;
    long value = std::strtol(argv[++i], &end, 10);
    if (*end != '\0' || value < 1) benchcharge::Fail(std::string(argv[i - 1]) + " needs a positive number");
    return value;
}

// A child: one method on its own copy of the plant; prints "seconds processed".
int RunChild(const std::string& method, const std::string& file, long first, long charges) {
    for (const MethodEntry& entry : kMethods) {
        if (method != entry.name) continue;
        std::string folder = std::filesystem::path(file).parent_path().string();
        if (std::string problem = benchcharge::WriteDataSource(folder, file); !problem.empty()) benchcharge::Fail(problem);
        CycleRun run = entry.run(file, first, charges);
        std::printf("%.9f %ld\n", run.seconds, run.processed);
        return 0;
    }
    benchcharge::Fail("no method " + method);
}

// One run of `entry` on a fresh copy of `plant` in a process of its own.
CycleRun RunMeasured(const std::string& self, const MethodEntry& entry, const std::filesystem::path& plant,
                     const std::filesystem::path& folder, long first, long charges) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / "plant.db";
    std::filesystem::copy_file(plant, copy);
    std::string command = "'" + self + "' --method " + entry.name + " --db '" + copy.string() +
                          "' --first " + std::to_string(first) + " --charges " + std::to_string(charges);
    FILE* child = popen(command.c_str(), "r");
    if (!child) benchcharge::Fail("cannot start " + command);
    CycleRun run;
    int read = std::fscanf(child, "%lf %ld", &run.seconds, &run.processed);
    if (pclose(child) != 0 || read != 2) benchcharge::Fail(std::string(entry.name) + " failed");
    if (run.processed != charges)
        benchcharge::Fail(std::string(entry.name) + " stored " + std::to_string(run.processed) + " of " +
                          std::to_string(charges) + " results");
    std::filesystem::remove_all(folder);
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    long processed = 10000;
    long charges = 200;
    bool keep = false;
    std::string method, file;
    long first = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--full") {
            processed = 100000;
            charges = 2000;
        } else if (arg == "--processed") {
            processed = NumberArgument(argc, argv, i);
        } else if (arg == "--charges") {
            charges = NumberArgument(argc, argv, i);
        } else if (arg == "--first") {
            first = NumberArgument(argc, argv, i);
        } else if (arg == "--keep") {
            keep = true;
        } else if (arg == "--method" && i + 1 < argc) {
            method = argv[++i];
        } else if (arg == "--db" && i + 1 < argc) {
            file = argv[++i];
        } else {
            std::fprintf(stderr, "usage: bench-charge [--full] [--processed N] [--charges N] [--keep]\n");
            return 2;
        }
    }
    if (!method.empty()) return RunChild(method, file, first, charges);

    char pattern[] = "/tmp/bench-charge-XXXXXX";
    if (!mkdtemp(pattern)) benchcharge::Fail("cannot make a temporary folder");
    const std::filesystem::path folder = pattern;
    const std::filesystem::path plant = folder / "plant.db";
    std::printf("plant: %ld processed charges; %ld new charges per run, %d runs per method\n", processed, charges, kRuns);
    std::fflush(stdout);
    benchcharge::CreatePlant(plant.string(), processed);
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    std::vector<double> seconds;  // median CPU seconds per charge, by method
    for (const MethodEntry& entry : kMethods) {
        std::vector<double> runs;
        for (int run = 0; run < kRuns; ++run)
            runs.push_back(RunMeasured(self, entry, plant, folder / "run", processed + 1, charges).seconds / charges);
        seconds.push_back(Median(runs));
    }

    std::printf("\n%-36s %12s", "method", "charges/s");
    for (int b = 0; b < kBaselines; ++b) std::printf("   vs %-4.3s", kMethods[b].label);
    std::printf("\n");
    for (std::size_t m = 0; m < seconds.size(); ++m) {
        std::printf("%-36s %12.0f", kMethods[m].label, 1.0 / seconds[m]);
        for (int b = 0; b < kBaselines; ++b) std::printf("   %7.2fx", seconds[m] / seconds[b]);
        std::printf("\n");
    }
    std::printf("(ratios: the method's time per charge over the baseline's; below 1 is faster)\n");
    if (keep) std::printf("plant kept in %s\n", folder.c_str());
    else std::filesystem::remove_all(folder);
    return 0;
}
