// Statements and values a product would take although the interface cannot stand behind
// them: a table without columns, and a long wider than the interface's 32 bits.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quillettest;

namespace {

struct Product {
    testdb::Target target;
    int kind;
};

class QuilletNarrow : public ::testing::TestWithParam<Product> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("quillet_narrow");
        const std::string connection = testdb::ConnectionString(GetParam().target, file_);
        TESTDB_REQUIRE(connection, GetParam().target);
        q_ = Make(connection);
        ASSERT_EQ(GetParam().kind, q_->GetDatabaseKind());
        table_ = testdb::UniqueName("q_narrow");
    }
    void TearDown() override {
        if (q_) q_->ExecuteSql(CString("DROP TABLE IF EXISTS " + table_), 1);
        q_.reset();
        std::remove(file_.c_str());
    }
    // Leaves a known text in lastError (a lookup of a field that does not exist) and
    // returns it, so that a later check tells "unchanged" from "set again".
    std::string MarkError() {
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(0, q_->GetFieldValue("NO_SUCH_FIELD", value));
        VariantClear(&value);
        return q_->GetErrorText().str();
    }
    bool TableExists() {
        CStringList names;
        EXPECT_EQ(1, q_->GetTableNames(&names));
        std::vector<std::string> items = Items(names);
        return std::any_of(items.begin(), items.end(),
                           [&](const std::string& item) { return strcasecmp(item.c_str(), table_.c_str()) == 0; });
    }

    std::string file_;
    std::string table_;
    QuilletPtr q_;
};

// Every pair has an empty name or type: no product may end up with a table.
TEST_P(QuilletNarrow, TableWithoutUsableColumnIsRefused) {
    using Create = std::function<int(IQuillet*, const CString&)>;
    const struct {
        const char* what;
        Create create;
    } cases[] = {
        {"CreateTable",
         [](IQuillet* q, const CString& table) {
             auto names = List({"", "B", "C"});
             auto types = List({"int", "", ""});
             return q->CreateTable(table, names.get(), types.get());
         }},
        {"CreateTable with empty lists",
         [](IQuillet* q, const CString& table) {
             CStringList none;
             return q->CreateTable(table, &none, &none);
         }},
        {"CreateTableEx",
         [](IQuillet* q, const CString& table) {
             auto names = List({"A", ""});
             auto types = List({"", "varchar"});
             auto sizes = List({"0", "20"});
             auto extras = List({"", ""});
             auto nulls = List({"not null", ""});
             return q->CreateTableEx(table, names.get(), types.get(), sizes.get(), extras.get(), nulls.get());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(0, c.create(q_.get(), CString(table_)));
        const std::string error = q_->GetErrorText().str();
        EXPECT_FALSE(error.empty());  // the product's own words, or ours where it would comply
        if (GetParam().kind == DB_POSTGRESQL) {
            EXPECT_EQ("CREATE TABLE needs at least one column with both a name and a type.", error);
        }
        EXPECT_FALSE(TableExists());
    }
}

// The interface's long is 32 bits: a wider value is refused and nothing is written, so
// that GetFieldLong can read back whatever SetFieldLong stored.
TEST_P(QuilletNarrow, SetFieldLongTakes32Bits) {
    ASSERT_EQ(1, q_->ExecuteSql(CString("CREATE TABLE " + table_ + " (ID INTEGER PRIMARY KEY, V BIGINT)"), 1));
    const struct {
        long value;
        bool byPosition;
        int expected;
    } cases[] = {
        {5000000000L, false, 0},
        {5000000000L, true, 0},
        {INT32_MAX + 1L, false, 0},
        {INT32_MIN - 1L, true, 0},
        {INT64_MIN, false, 0},
        {INT32_MAX, false, 1},
        {INT32_MIN, true, 1},
        {-7, false, 1},
        {0, true, 1},
    };
    const std::string overflow = SystemMessage(DISP_E_OVERFLOW);
    int id = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + (c.byPosition ? " by position" : " by name"));
        ++id;
        ASSERT_EQ(1, q_->OpenRecordset(CString("select ID, V from " + table_), 1, 3, 3, 1))
            << q_->GetErrorText().str();
        ASSERT_EQ(1, q_->AddNew()) << q_->GetErrorText().str();
        ASSERT_EQ(1, q_->SetFieldInt("ID", id));
        const std::string before = MarkError();
        ASSERT_NE(overflow, before);
        EXPECT_EQ(c.expected, c.byPosition ? q_->SetFieldLongAt(1, c.value) : q_->SetFieldLong("V", c.value));
        EXPECT_EQ(c.expected ? before : overflow, q_->GetErrorText().str());
        ASSERT_EQ(1, q_->Update()) << q_->GetErrorText().str();

        ASSERT_EQ(1, q_->OpenRecordset(CString("select V from " + table_ + " where ID = " + std::to_string(id)), 1,
                                       3, 1, 1));
        VARIANT stored;
        VariantInit(&stored);
        ASSERT_EQ(1, q_->GetFieldValue("V", stored));
        if (c.expected == 0) {
            EXPECT_EQ(VT_NULL, stored.vt);  // nothing written
        } else {
            long back = 12345;
            EXPECT_EQ(1, q_->GetFieldLong("V", back));
            EXPECT_EQ(c.value, back);
        }
        VariantClear(&stored);
    }
    // A closed recordset stays a plain 0 without a text, whatever the value.
    const std::string before = MarkError();
    q_->CloseRecordset();
    EXPECT_EQ(0, q_->SetFieldLong("V", 5000000000L));
    EXPECT_EQ(before, q_->GetErrorText().str());
}

INSTANTIATE_TEST_SUITE_P(Products, QuilletNarrow,
                         ::testing::Values(Product{testdb::Target::SqliteNative, DB_OTHER},
                                           Product{testdb::Target::PostgresNative, DB_POSTGRESQL},
                                           Product{testdb::Target::PostgresOdbc, DB_POSTGRESQL},
                                           Product{testdb::Target::MariaOdbc, DB_MYSQL}),
                         [](const ::testing::TestParamInfo<Product>& info) {
                             return std::string(testdb::TargetName(info.param.target));
                         });

}  // namespace
