// A plant database for one test: the five tables of the store, reached by CMorvane
// through an ODBC data source (the way a host reaches "MicroSoft Access" here), and
// checked with an independent client (the sqlite3 or psql command), never through the
// code under test. SQLite gets a file per test process; PostgreSQL gets a schema per
// test process (the store's SQL names fixed tables), selected by the data source.
#pragma once

#include <gtest/gtest.h>

#include <morvane/Morvane.h>

#include <string>
#include <vector>

#include "../TestDatabases.h"

namespace plant {

enum class Target { Sqlite, Postgres };

struct Shown {
    std::string text;
    std::string caption;
    unsigned type;
};

std::string TargetName(const ::testing::TestParamInfo<Target>& info);

class PlantTest : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override;
    void TearDown() override;

    bool Postgres() const { return GetParam() == Target::Postgres; }

    // Independent client: runs `sql` and returns the rows, columns joined by '|',
    // NULL shown as "NULL".
    std::vector<std::string> Client(const std::string& sql);
    std::string ClientValue(const std::string& sql);  // first column of the first row
    double ClientNumber(const std::string& sql);
    long ClientCount(const std::string& table);

    // Connects `store` to this test's data source (returns Connect's result).
    int Connect(CMorvane& store);

    // Rows for the tables, through the independent client. Numbers are SQL texts so a
    // case can say NULL. The *Sql forms give the statement, for loading many at once.
    static std::string ChargeSql(const std::string& time, int charge, const std::string& weight,
                                 const std::string& ocFlag);
    static std::string ResultSql(const std::string& time, const std::string& material, const std::string& leftPoint,
                                 double seqBase, int seqNull = 0);
    void AddCharge(const std::string& time, int charge, const std::string& weight, const std::string& ocFlag);
    void AddRuler(const std::string& time, const std::string& height1, const std::string& height2);
    void AddAngle(const std::string& time, double first);  // ANGLEk_ANGLE = first + k - 1
    // SEQ_n = seqBase + n / 1000; `seqNull` names one SEQ column to leave NULL (0: none).
    void AddResult(const std::string& time, const std::string& material, const std::string& leftPoint,
                   double seqBase, int seqNull = 0);
    void AddFurnace(int burdenId, double base, int seqNull = -1);  // SEQ_k = base + k / 100

    std::string dataSource_;
    std::vector<Shown> shown_;

private:
    std::string sqliteFile_;
    std::string schema_;
};

// "YYYY-MM-DD HH:MM:SS" of minute `minute` after 2005-12-19 08:00.
std::string TimeAt(int minute);

// The text a query operation shows for a failure with `hr`.
std::string Expected(const char* operation, HRESULT hr);

}  // namespace plant
