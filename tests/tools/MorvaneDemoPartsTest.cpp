// The parts of morvane-demo that decide on their own: reading the user's ODBC
// configuration, judging what lies at the plant database's path, finding the driver,
// and the example model's use of the stock-line gauges.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include "TestDatabases.h"
#include "morvane-demo.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(MorvaneDemoOdbcIni, ValuesAreReadAsTheDriverManagerReadsThem) {
    const std::string ini =
        "; written by hand\n"
        "[other]\nDatabase=/elsewhere.db\n"
        "  [ Morvane_Plant ]  \n"
        "# Database=/commented.db\n"
        "driver = SQLite3\n"
        "DATABASE=/plant/first.db\n"
        "Database=/plant/second.db\n"
        "StepAPI=\n";
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"morvane_plant", "Database", "/plant/first.db"},  // names without case; the first entry wins
        {"morvane_plant", "Driver", "SQLite3"},             // blanks around '=' trimmed
        {"other", "Database", "/elsewhere.db"},            // each section its own
        {"morvane_plant", "Timeout", ""},                   // absent key
        {"morvane_plant", "StepAPI", ""},                   // empty value
        {"missing", "Database", ""},                        // absent section
    };
    for (const Case& c : cases)
        EXPECT_EQ(demo::IniValue(ini, c.section, c.key), c.expected) << c.section << "/" << c.key;
    EXPECT_TRUE(demo::IniHasSection(ini, "MORVANE_PLANT"));
    EXPECT_FALSE(demo::IniHasSection(ini, "morvane"));
    EXPECT_FALSE(demo::IniHasSection("# [morvane_plant]\n", "morvane_plant"));
}

TEST(MorvaneDemoPlantFile, OnlyAnAbsentFileOrAnSqliteDatabaseIsAPlant) {
    const auto folder = std::filesystem::temp_directory_path() / testdb::UniqueName("plantfile");
    std::filesystem::create_directories(folder / "folder.db");
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return (folder / name).string();
    };
    struct Case {
        std::string path;
        demo::PlantFile::State expected;
        const char* problem;
    } cases[] = {
        {(folder / "absent.db").string(), demo::PlantFile::kAbsent, ""},
        {write("empty.db", ""), demo::PlantFile::kUnusable, "empty (0 bytes)"},
        {write("text.db", "charge log of the night shift\n"), demo::PlantFile::kUnusable, "not an SQLite database"},
        {write("short.db", "SQLite"), demo::PlantFile::kUnusable, "not an SQLite database"},
        {write("plant.db", std::string("SQLite format 3\0", 16) + std::string(84, '\0')), demo::PlantFile::kPlant, ""},
        {(folder / "folder.db").string(), demo::PlantFile::kUnusable, "not a file"},
    };
    for (const Case& c : cases) {
        demo::PlantFile file = demo::CheckPlantFile(c.path);
        EXPECT_EQ(file.state, c.expected) << c.path;
        EXPECT_NE(file.problem.find(c.problem), std::string::npos) << c.path << ": " << file.problem;
    }
    std::string aside;
    ASSERT_EQ(demo::SetPlantFileAside(folder / "empty.db", &aside), "");
    EXPECT_FALSE(std::filesystem::exists(folder / "empty.db"));
    EXPECT_TRUE(std::filesystem::exists(aside)) << aside;
    std::filesystem::remove_all(folder);
}

// The plant lock: one holder at a time; the next one is told who holds it, and a
// folder that cannot be made is a failure with its reason, not a lock.
TEST(MorvaneDemoPlantLock, OneHolderAtATime) {
    const auto folder = std::filesystem::temp_directory_path() / testdb::UniqueName("plantlock");
    std::filesystem::remove_all(folder);
    const std::string home = (folder / "plant").string();
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "a-file") << "not a folder";

    std::optional<demo::PlantLock> holder(std::in_place);
    std::string message;
    ASSERT_EQ(holder->Take(home, false, &message), demo::PlantLock::kTaken) << message;

    struct Case {
        const char* name;
        std::string home;
        demo::PlantLock::Result expected;
        std::string inMessage;
    } cases[] = {
        {"second run on a taken plant", home, demo::PlantLock::kBusy, "process " + std::to_string(getpid())},
        {"another plant is free", (folder / "other").string(), demo::PlantLock::kTaken, ""},
        {"a file where the folder should be", (folder / "a-file" / "plant").string(), demo::PlantLock::kFailed,
         "cannot create"},
    };
    for (const Case& c : cases) {
        demo::PlantLock second;
        message.clear();
        EXPECT_EQ(second.Take(c.home, false, &message), c.expected) << c.name;
        EXPECT_NE(message.find(c.inMessage), std::string::npos) << c.name << ": " << message;
    }
    // Released with its holder: the plant is free again.
    holder.reset();
    demo::PlantLock next;
    EXPECT_EQ(next.Take(home, false, &message), demo::PlantLock::kTaken) << message;
    std::filesystem::remove_all(folder);
}

TEST(MorvaneDemoOdbcDriver, TheSqliteDriverIsFoundOnThisMachine) {
    std::string searched;
    std::string driver = demo::FindSqliteOdbcDriver(&searched);
    ASSERT_FALSE(driver.empty()) << searched;
    EXPECT_TRUE(std::filesystem::is_regular_file(driver)) << driver;
    EXPECT_TRUE(driver.ends_with("/libsqlite3odbc.so")) << driver;
}

TEST(MorvaneDemoGauges, FaultyOrMissingGaugesAreLeftOut) {
    struct Case {
        double first, second;
        double expected;  // NaN: no level
        bool faulty;
    } cases[] = {
        {1.5, 1.7, 1.6, false},
        {1.5, kNaN, 1.5, false},  // one gauge not read
        {kNaN, kNaN, kNaN, false},
        {1.5, 1e300, 1.5, true},  // a runaway gauge is named, not averaged in
        {-40.0, std::numeric_limits<double>::infinity(), kNaN, true},
    };
    for (const Case& c : cases) {
        const double heights[3] = {c.first, c.second, 99.0};  // [2] is never a gauge
        std::string faulty;
        double level = demo::GaugeLevel(heights, &faulty);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(level)) << c.first << " " << c.second;
        else
            EXPECT_DOUBLE_EQ(level, c.expected) << c.first << " " << c.second;
        EXPECT_EQ(!faulty.empty(), c.faulty) << faulty;
    }
}

// A charge of ore laid on a flat surface 3 m high, as the chute lays it.
demo::ModelInput OreCharge(double gaugeLevel) {
    demo::ModelInput input;
    input.previous.fill(3.0);
    input.weight.fill(6.0f);
    const double angles[demo::kPositions] = {44, 42, 40, 38, 36, 34, 32, 30, 27, 24, 20};
    std::copy(std::begin(angles), std::end(angles), input.chuteAngle.begin());
    input.density = 1.75;
    input.reposeAngle = 35.8;
    input.gaugeLevel = gaugeLevel;
    return input;
}

TEST(MorvaneDemoModel, TheSurfaceStandsOnTheGaugeReading) {
    for (double gauge : {1.3, 1.5, 1.75, 4.0}) {
        demo::ModelResult result = demo::ComputeProfile(OreCharge(gauge));
        // The old surface went down to the reading; the charge lies on top of it.
        const double layer = result.surface[demo::kGaugePoint] - gauge;
        EXPECT_GE(layer, 0.0) << gauge;
        EXPECT_LT(layer, 1.0) << gauge;
        for (double height : result.surface) ASSERT_GE(height, gauge - 1e-9) << gauge;
    }
}

TEST(MorvaneDemoModel, WithoutAGaugeReadingTheMeanLevelHolds) {
    demo::ModelResult result = demo::ComputeProfile(OreCharge(kNaN));
    double volume = 0, area = 0;
    for (int i = 1; i < demo::kProfilePoints; ++i) {
        volume += result.surface[i] * demo::RadiusOfPoint(i);
        area += demo::RadiusOfPoint(i);
    }
    EXPECT_NEAR(volume / area, 3.0, 0.01);
}

}  // namespace
