// Generic-dialect queries with row limits in subqueries, after distinct and before ';',
// and brackets inside literals, run through OpenRecordset's translation on each product:
// the rows that come back are the rows the host asked for.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace quillettest;

namespace {

// `sql` uses {t} for the table; `rows` is the record count, and `first` the value of the
// first field of the first row.
struct LimitCase {
    const char* sql;
    long rows;
    long first;
};

const LimitCase kCases[] = {
    {"select count(*) from (select top 2 [id] from {t} order by [id]) x", 1, 2},
    {"select top 1 [id] from (select top 3 [id] from {t} order by [id] desc) x order by [id]", 1, 4},
    {"select [id] from (select top 4 [id] from {t} order by [id]) x where [id] > 1 order by [id]", 3, 2},
    {"select distinct top 2 [name] from {t} order by [name]", 2, -1},
    {"select top 2 [id] from {t} order by [id] desc;", 2, 6},
    {"select [id] from {t} where [name] = '[x]'", 1, 6},
};

class RowLimits : public ::testing::TestWithParam<testdb::Target> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("row_limits");
        connection_ = testdb::ConnectionString(GetParam(), file_);
        table_ = testdb::UniqueName("row_limits");
    }
    void TearDown() override {
        if (q_) q_->ExecuteSql(CString("DROP TABLE " + table_), adCmdText);
        std::remove(file_.c_str());
    }
    std::string file_, connection_, table_;
    QuilletPtr q_;
};

TEST_P(RowLimits, EachSelectKeepsItsOwnLimit) {
    TESTDB_REQUIRE(connection_, GetParam());
    q_ = Make(connection_);
    q_->ExecuteSql(CString("DROP TABLE " + table_), adCmdText);
    ASSERT_EQ(q_->ExecuteSql(CString("CREATE TABLE " + table_ + " (id INT, name VARCHAR(20))"), adCmdText), 1)
        << q_->GetErrorText().str();
    const char* names[] = {"a", "a", "b", "b", "c", "[x]"};
    for (int id = 1; id <= 6; ++id) {
        std::string insert = "INSERT INTO " + table_ + " VALUES (" + std::to_string(id) + ", '" + names[id - 1] + "')";
        ASSERT_EQ(q_->ExecuteSql(CString(insert), adCmdText), 1) << q_->GetErrorText().str();
    }
    for (const auto& c : kCases) {
        std::string sql = c.sql;
        sql.replace(sql.find("{t}"), 3, "[" + table_ + "]");
        SCOPED_TRACE(sql);
        ASSERT_EQ(q_->OpenRecordset(CString(sql), 1, adOpenStatic, adLockReadOnly, adCmdText), 1)
            << q_->GetErrorText().str() << " / " << q_->GetLastSql().str();
        EXPECT_EQ(q_->GetRecordCount(), c.rows) << q_->GetLastSql().str();
        if (c.first >= 0) {
            long first = -1;
            EXPECT_EQ(q_->GetFieldLongAt(0, first), 1) << q_->GetErrorText().str();
            EXPECT_EQ(first, c.first) << q_->GetLastSql().str();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Products, RowLimits,
                         ::testing::Values(testdb::Target::SqliteNative, testdb::Target::PostgresNative,
                                           testdb::Target::MariaOdbc),
                         [](const ::testing::TestParamInfo<testdb::Target>& info) {
                             return std::string(testdb::TargetName(info.param));
                         });

}  // namespace
