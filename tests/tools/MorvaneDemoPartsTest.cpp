// The parts of morvane-demo that decide on their own: reading the user's ODBC
// configuration, judging what lies at the plant database's path, finding the driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestDatabases.h"
#include "morvane-demo.h"

namespace {

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

TEST(MorvaneDemoOdbcDriver, TheSqliteDriverIsFoundOnThisMachine) {
    std::string searched;
    std::string driver = demo::FindSqliteOdbcDriver(&searched);
    ASSERT_FALSE(driver.empty()) << searched;
    EXPECT_TRUE(std::filesystem::is_regular_file(driver)) << driver;
    EXPECT_TRUE(driver.ends_with("/libsqlite3odbc.so")) << driver;
}

}  // namespace
