#include "PlantDatabase.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace plant {

namespace {

constexpr const char* kDriverDir = "/usr/lib/x86_64-linux-gnu/odbc";

// Key=value pairs of an ODBC connection string (DBPLATFORM_TEST_PG_ODBC).
std::map<std::string, std::string> Keys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::stringstream stream(text);
    std::string pair;
    while (std::getline(stream, pair, ';')) {
        auto equals = pair.find('=');
        if (equals == std::string::npos) continue;
        std::string key = pair.substr(0, equals);
        for (auto& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        keys[key] = pair.substr(equals + 1);
    }
    return keys;
}

std::map<std::string, std::string> PgKeys() {
    const char* text = std::getenv("DBPLATFORM_TEST_PG_ODBC");
    return Keys(text ? text : "");
}

std::string SqliteDsn() { return testdb::UniqueName("morvane_sqlite"); }
std::string PgDsn() { return testdb::UniqueName("morvane_pg"); }
std::string PgSchema() { return testdb::UniqueName("m"); }

// One private ODBC configuration per test process, written before its first connection.
void WriteOdbcConfig(const std::string& sqliteFile) {
    static bool written = false;
    if (written) return;
    written = true;
    auto dir = std::filesystem::temp_directory_path() / testdb::UniqueName("morvane_odbc");
    std::filesystem::create_directories(dir);
    std::ofstream drivers(dir / "odbcinst.ini");
    drivers << "[SQLite3]\nDriver=" << kDriverDir << "/libsqlite3odbc.so\n"
            << "[PostgreSQL Unicode]\nDriver=" << kDriverDir << "/psqlodbcw.so\n";
    std::ofstream sources(dir / "odbc.ini");
    sources << "[" << SqliteDsn() << "]\nDriver=SQLite3\nDatabase=" << sqliteFile << "\nStepAPI=1\n";
    auto pg = PgKeys();
    if (!pg.empty()) {
        sources << "[" << PgDsn() << "]\nDriver=PostgreSQL Unicode\nServername=" << pg["server"]
                << "\nPort=" << pg["port"] << "\nDatabase=" << pg["database"]
                << "\nConnSettings=set search_path to " << PgSchema() << "\n";
    }
    drivers.close();
    sources.close();
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
}

std::string Columns(const char* stem, const char* suffix, int first, int last, const std::string& type) {
    std::string text;
    for (int k = first; k <= last; ++k) text += std::string(", ") + stem + std::to_string(k) + suffix + " " + type;
    return text;
}

std::string Schema(bool postgres) {
    const std::string time = postgres ? "TIMESTAMP" : "DATETIME";
    const std::string real = "REAL";
    const std::string dbl = postgres ? "DOUBLE PRECISION" : "DOUBLE";
    return "CREATE TABLE matrix_bl_roof_weight_new (RECEIVETIME " + time + ", CHARGE INTEGER" +
           Columns("ANGLE", "_WEIGHT", 1, 11, real) + ", OC_FLAG INTEGER);\n" +
           "CREATE TABLE matrix_bl_roof_ruler (RECEIVETIME " + time + ", RULER_HEIGHT1 " + dbl + ", RULER_HEIGHT2 " +
           dbl + ", RULER_HEIGHT3 " + dbl + ");\n" + "CREATE TABLE matrix_bl_roof_angle (RECEIVETIME " + time +
           Columns("ANGLE", "_ANGLE", 1, 11, real) + ");\n" + "CREATE TABLE MODEL_RESULTBURDENDIS (TIMESTAMP " + time +
           ", MATERIAL INTEGER, LEFTPOINT " + real + ", CHARGE INTEGER" + Columns("SEQ_", "", 1, 250, dbl) + ");\n" +
           "CREATE TABLE MODEL_RESULTFURNACE (BURDENID INTEGER" + Columns("SEQ_", "", 0, 70, dbl) + ");\n";
}

std::string Shell(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::string TargetName(const ::testing::TestParamInfo<Target>& info) {
    return info.param == Target::Sqlite ? "SqliteOdbc" : "PostgresOdbc";
}

std::string TimeAt(int minute) {
    DATE start = 0;
    dbplatform::DateFromText("2005-12-19 08:00:00", &start);
    return dbplatform::TextFromDate(start + minute / 1440.0);
}

std::string Expected(const char* operation, HRESULT hr) {
    return std::string("错误编号") + operation + "，错误信息:" + _com_error(hr).ErrorMessage();
}

void PlantTest::SetUp() {
    sqliteFile_ = testdb::TempSqliteFile("morvane_plant");
    WriteOdbcConfig(sqliteFile_);
    if (Postgres()) {
        TESTDB_REQUIRE(std::string(std::getenv("DBPLATFORM_TEST_PG_ODBC") ? std::getenv("DBPLATFORM_TEST_PG_ODBC") : ""),
                       testdb::Target::PostgresOdbc);
        schema_ = PgSchema();
        dataSource_ = PgDsn();
        Client("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE; CREATE SCHEMA " + schema_ + ";");
    } else {
        ASSERT_TRUE(std::filesystem::exists(std::string(kDriverDir) + "/libsqlite3odbc.so"))
            << "the SQLite ODBC driver is missing: scripts/install-deps.sh";
        dataSource_ = SqliteDsn();
    }
    Client(Schema(Postgres()));
    dbplatform::SetMessageBoxHandler([this](const char* text, const char* caption, unsigned type) {
        shown_.push_back({text ? text : "", caption ? caption : "", type});
        return 1;  // IDOK
    });
}

void PlantTest::TearDown() {
    dbplatform::SetMessageBoxHandler({});
    if (!schema_.empty()) Client("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE;");
    if (!sqliteFile_.empty()) std::filesystem::remove(sqliteFile_);
}

std::vector<std::string> PlantTest::Client(const std::string& sql) {
    auto script = std::filesystem::temp_directory_path() / testdb::UniqueName("morvane_client.sql");
    { std::ofstream(script) << sql << "\n"; }
    std::string command;
    if (Postgres()) {
        auto pg = PgKeys();
        command = "PGPASSWORD=" + Shell(pg["pwd"]) + " PGOPTIONS=" + Shell("-c search_path=" + PgSchema()) +
                  " psql -X -A -t -q -v ON_ERROR_STOP=1 -P null=NULL -F '|' -h " + Shell(pg["server"]) + " -p " +
                  Shell(pg["port"]) + " -U " + Shell(pg["uid"]) + " -d " + Shell(pg["database"]) + " -f " +
                  Shell(script.string()) + " 2>&1";
    } else {
        command = "sqlite3 -batch -bail -separator '|' -nullvalue NULL " + Shell(sqliteFile_) + " < " +
                  Shell(script.string()) + " 2>&1";
    }
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<std::string> rows;
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return rows;
    }
    char line[65536];
    while (std::fgets(line, sizeof(line), pipe)) {
        std::string row = line;
        while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) row.pop_back();
        rows.push_back(row);
    }
    int rc = pclose(pipe);
    std::filesystem::remove(script);
    EXPECT_EQ(rc, 0) << sql << "\n" << (rows.empty() ? "" : rows.front());
    return rows;
}

std::string PlantTest::ClientValue(const std::string& sql) {
    auto rows = Client(sql);
    if (rows.empty()) return "<no row>";
    return rows.front().substr(0, rows.front().find('|'));
}

double PlantTest::ClientNumber(const std::string& sql) { return std::atof(ClientValue(sql).c_str()); }

long PlantTest::ClientCount(const std::string& table) {
    return std::atol(ClientValue("SELECT COUNT(*) FROM " + table + ";").c_str());
}

int PlantTest::Connect(CMorvane& store) {
    store.m_bstrDbType = "MicroSoft Access";
    store.m_bstrDataSource = dataSource_.c_str();
    if (Postgres()) {
        auto pg = PgKeys();
        store.m_bstrUserID = pg["uid"].c_str();
        store.m_bstrPassword = pg["pwd"].c_str();
    }
    int connected = store.Connect();
    if (connected != 1)
        for (const Shown& s : shown_) std::fprintf(stderr, "shown on Connect: %s\n", s.text.c_str());
    return connected;
}

std::string PlantTest::ChargeSql(const std::string& time, int charge, const std::string& weight,
                                 const std::string& ocFlag) {
    std::string sql = "INSERT INTO matrix_bl_roof_weight_new VALUES ('" + time + "', " + std::to_string(charge);
    for (int k = 0; k < 11; ++k) sql += ", " + weight;
    return sql + ", " + ocFlag + ");\n";
}

void PlantTest::AddCharge(const std::string& time, int charge, const std::string& weight, const std::string& ocFlag) {
    Client(ChargeSql(time, charge, weight, ocFlag));
}

void PlantTest::AddRuler(const std::string& time, const std::string& height1, const std::string& height2) {
    Client("INSERT INTO matrix_bl_roof_ruler VALUES ('" + time + "', " + height1 + ", " + height2 + ", 9);");
}

void PlantTest::AddAngle(const std::string& time, double first) {
    std::string sql = "INSERT INTO matrix_bl_roof_angle VALUES ('" + time + "'";
    for (int k = 0; k < 11; ++k) sql += ", " + std::to_string(first + k);
    Client(sql + ");");
}

std::string PlantTest::ResultSql(const std::string& time, const std::string& material, const std::string& leftPoint,
                                 double seqBase, int seqNull) {
    std::string sql = "INSERT INTO MODEL_RESULTBURDENDIS VALUES ('" + time + "', " + material + ", " + leftPoint + ", 0";
    for (int n = 1; n <= 250; ++n) sql += ", " + (n == seqNull ? std::string("NULL") : std::to_string(seqBase + n / 1000.0));
    return sql + ");\n";
}

void PlantTest::AddResult(const std::string& time, const std::string& material, const std::string& leftPoint,
                          double seqBase, int seqNull) {
    Client(ResultSql(time, material, leftPoint, seqBase, seqNull));
}

void PlantTest::AddFurnace(int burdenId, double base, int seqNull) {
    std::string sql = "INSERT INTO MODEL_RESULTFURNACE VALUES (" + std::to_string(burdenId);
    for (int k = 0; k <= 70; ++k) sql += ", " + (k == seqNull ? std::string("NULL") : std::to_string(base + k / 100.0));
    Client(sql + ");");
}

}  // namespace plant
