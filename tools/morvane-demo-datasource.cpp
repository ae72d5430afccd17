// The plant's private ODBC data source and the check of its database file. The driver
// is looked up where the system keeps it, never at one architecture's fixed path, and
// the configuration files are the user's once written: a run only writes them when
// they are missing.
#include "morvane-demo.h"

#include <unistd.h>

#include <glob.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace demo {

namespace {

constexpr const char* kDriverFile = "libsqlite3odbc.so";
constexpr const char* kDriverName = "SQLite3";

bool IsFile(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

// Standard output of a fixed shell command (no user text ever enters it); "" when it
// cannot run.
std::string CommandOutput(const char* command) {
    std::string output;
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr) return output;
    std::array<char, 4096> buffer;
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), read);
    pclose(pipe);
    return output;
}

std::string Trim(std::string text) {
    std::size_t first = text.find_first_not_of(" \t\r\n");
    std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) { return CString(a).CompareNoCase(b.c_str()) == 0; }

bool WriteNewFile(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

}  // namespace

std::string IniValue(const std::string& text, const std::string& section, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    bool inSection = false;
    bool found = false;
    std::string value;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            inSection = close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos) continue;
        if (SameName(Trim(line.substr(0, equals)), key)) {
            // The first entry counts, as the ODBC driver manager reads it.
            if (!found) value = Trim(line.substr(equals + 1));
            found = true;
        }
    }
    return found ? value : std::string();
}

bool IniHasSection(const std::string& text, const std::string& section) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        std::size_t close = line.find(']');
        if (!line.empty() && line.front() == '[' && close != std::string::npos &&
            SameName(Trim(line.substr(1, close - 1)), section))
            return true;
    }
    return false;
}

std::string FindSqliteOdbcDriver(std::string* searched) {
    // 1. The driver registered under its usual name in the ODBC configuration in force.
    std::string registered = IniValue(CommandOutput("odbcinst -q -d -n SQLite3 2>/dev/null"), kDriverName, "Driver");
    if (IsFile(registered)) return registered;
    // 2. The file list of the Debian package that ships it.
    std::istringstream packaged(CommandOutput("dpkg -L libsqliteodbc 2>/dev/null"));
    for (std::string line; std::getline(packaged, line);) {
        line = Trim(line);
        if (line.size() > std::strlen(kDriverFile) && line.ends_with(std::string("/") + kDriverFile) && IsFile(line))
            return line;
    }
    // 3. The ODBC folder of each multiarch library folder, then the single-arch ones.
    for (const char* pattern : {"/usr/lib/*/odbc/libsqlite3odbc.so", "/usr/lib/odbc/libsqlite3odbc.so",
                                "/usr/lib64/libsqlite3odbc.so", "/usr/local/lib/odbc/libsqlite3odbc.so"}) {
        glob_t matches{};
        if (glob(pattern, 0, nullptr, &matches) == 0) {
            for (std::size_t i = 0; i < matches.gl_pathc; ++i) {
                std::string path = matches.gl_pathv[i];
                if (IsFile(path)) {
                    globfree(&matches);
                    return path;
                }
            }
        }
        globfree(&matches);
    }
    if (searched)
        *searched = "the driver registered as SQLite3 (odbcinst -q -d), the files of the package libsqliteodbc "
                    "(dpkg -L), /usr/lib/*/odbc, /usr/lib/odbc and /usr/local/lib/odbc";
    return "";
}

std::string RegisterDataSource(PlantPaths& paths) {
    std::error_code error;
    std::filesystem::create_directories(paths.home, error);
    if (error) return "cannot create " + paths.home + ": " + error.message();

    const std::string driversFile = paths.home + "/odbcinst.ini";
    const std::string sourcesFile = paths.home + "/odbc.ini";
    if (!std::filesystem::exists(driversFile, error)) {
        std::string searched;
        std::string driver = FindSqliteOdbcDriver(&searched);
        if (driver.empty())
            return "the SQLite ODBC driver is missing (looked in " + searched + "): apt-get install libsqliteodbc";
        if (!WriteNewFile(driversFile, std::string("[") + kDriverName + "]\nDriver=" + driver + "\n"))
            return "cannot write " + driversFile + ": " + std::strerror(errno);
    }
    if (!std::filesystem::exists(sourcesFile, error)) {
        // StepAPI=1: rows are fetched as they are read instead of the whole result first.
        // JournalMode=WAL: the plant is this program's own database, and in write-ahead
        // logging a host reading it never blocks the charging system writing to it.
        if (!WriteNewFile(sourcesFile, "[" + paths.dataSource + "]\nDriver=" + kDriverName + "\nDatabase=" +
                                           paths.database + "\nStepAPI=1\nTimeout=5000\nJournalMode=WAL\n"))
            return "cannot write " + sourcesFile + ": " + std::strerror(errno);
    } else {
        // A kept file is taken as the user wrote it, including the database it names.
        std::ifstream file(sourcesFile);
        std::stringstream text;
        text << file.rdbuf();
        if (!file) return "cannot read " + sourcesFile;
        if (!IniHasSection(text.str(), paths.dataSource))
            return sourcesFile + " has no data source [" + paths.dataSource +
                   "]: add it, or remove the file to have it written again";
        std::string database = IniValue(text.str(), paths.dataSource, "Database");
        if (database.empty())
            return sourcesFile + " names no Database for [" + paths.dataSource + "]";
        database = std::filesystem::absolute(database).lexically_normal().string();
        if (database != paths.database)
            std::fprintf(stderr, "morvane-demo: %s names the plant database %s; using it\n", sourcesFile.c_str(),
                         database.c_str());
        paths.database = database;
    }
    setenv("ODBCSYSINI", paths.home.c_str(), 1);
    setenv("ODBCINI", sourcesFile.c_str(), 1);
    return "";
}

PlantFile CheckPlantFile(const std::string& database) {
    std::error_code error;
    auto status = std::filesystem::status(database, error);
    if (!std::filesystem::exists(status)) return {PlantFile::kAbsent, ""};
    if (!std::filesystem::is_regular_file(status)) return {PlantFile::kUnusable, database + " is not a file"};
    std::ifstream file(database, std::ios::binary);
    if (!file) return {PlantFile::kUnusable, "cannot read " + database + ": " + std::strerror(errno)};
    char header[16] = {};
    file.read(header, sizeof header);
    if (file.gcount() == 0)
        return {PlantFile::kUnusable, database + " is empty (0 bytes), not a plant database"};
    static const char kSqliteHeader[16] = "SQLite format 3";  // with its terminating NUL
    if (file.gcount() < 16 || std::memcmp(header, kSqliteHeader, sizeof kSqliteHeader) != 0)
        return {PlantFile::kUnusable, database + " is not an SQLite database"};
    return {PlantFile::kPlant, ""};
}

std::string SetPlantFileAside(const std::string& database, std::string* aside) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    *aside = database + ".bad-" + stamp;
    std::error_code error;
    std::filesystem::rename(database, *aside, error);
    if (error) return "cannot move " + database + " aside: " + error.message();
    return "";
}

std::string CreatePlantFile(const std::string& database) {
    const std::filesystem::path target(database);
    const std::string partialPrefix = target.filename().string() + ".new-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error))
        if (entry.path().filename().string().rfind(partialPrefix, 0) == 0) std::filesystem::remove(entry.path(), error);
    const std::string partial = database + ".new-" + std::to_string(getpid());
    CoInitialize(nullptr);
    std::string problem;
    try {
        _ConnectionPtr connection;
        if (FAILED(connection.CreateInstance("ADODB.Connection"))) throw _com_error(E_FAIL);
        // Create=True makes a new SQLite file in write-ahead logging, and writes its first page.
        const std::string open = "Provider=SQLite;Data Source=" + dbplatform::ConnectionStringValue(partial) + ";Create=True";
        connection->Open(_bstr_t(open.c_str()), _bstr_t(""), _bstr_t(""), -1);
        connection->Close();
    } catch (const _com_error& failure) {
        problem = "cannot create " + partial + ": " + static_cast<const char*>(failure.Description());
    }
    CoUninitialize();
    if (problem.empty() && CheckPlantFile(partial).state != PlantFile::kPlant)
        problem = "cannot create " + partial + ": the new database file holds no SQLite header";
    if (problem.empty()) {
        std::filesystem::rename(partial, database, error);
        if (error) problem = "cannot rename " + partial + " to " + database + ": " + error.message();
    }
    if (!problem.empty()) std::filesystem::remove(partial, error);
    return problem;
}

}  // namespace demo
