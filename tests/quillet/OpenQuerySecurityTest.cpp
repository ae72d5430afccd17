// OpenQuery with hostile names and bounds on the real products: a refused value sends
// nothing and leaves the last SQL text as it was, an accepted one stays a value, and no
// row of another table is ever touched. MySQL is run in both backslash modes, and MariaDB
// also behind a connection string of the "other" kind, which does not name the product.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace quillettest;

namespace {

struct Product {
    testdb::Target target;
    const char* sqlMode;  // MySQL session mode, set before the queries; nullptr elsewhere
    const char* dateType;
    bool otherKind = false;  // reach the MariaDB server through DRIVER={MariaDB Unicode} (kind 0)
};

// The MariaDB test string with its driver named as the product-neutral driver entry.
std::string OtherKindMariaString(std::string text) {
    const std::string mysqlDriver = "Driver=MySQL";
    if (text.rfind(mysqlDriver, 0) == 0) text.replace(0, mysqlDriver.size(), "DRIVER={MariaDB Unicode}");
    return text;
}

const char* kTypeMismatch = "Type mismatch.";
const char* kParameterIncorrect = "The parameter is incorrect.";

// One call of OpenQuery. "{t1}" and "{t2}" stand for the queried table and the other one.
// `error` is nullptr when the call must succeed with `rows` rows; `mysqlError` replaces
// `error` on MySQL and on the "other" kind, where a backslash in a literal is refused.
struct HostileCase {
    const char* table;
    const char* column;
    const char* key;
    const char* lower;
    const char* upper;
    const char* keyType;
    const char* order;
    const char* suffix;
    const char* error;
    long rows;
    const char* mysqlError;
};

const HostileCase kCases[] = {
    // Bounds that would end their literal or stack a statement.
    {"{t1}", "", "d", "2010-01-01' or '1'='1", "", "datetime", "", "", kTypeMismatch, 0, kTypeMismatch},
    {"{t1}", "", "d", "", "2010-01-01# or 1=1 or #2010", "datetime", "", "", kTypeMismatch, 0, kTypeMismatch},
    {"{t1}", "", "id", "99; DELETE FROM {t2}", "", "int", "", "", kTypeMismatch, 0, kTypeMismatch},
    {"{t1}", "", "id", "", "1; UPDATE {t2} SET name = 'gone'", "varchar2", "", "", kTypeMismatch, 0, kTypeMismatch},
    {"{t1}", "", "id", "0 or 1=1", "", "int", "", "", kTypeMismatch, 0, kTypeMismatch},
    {"{t1}", "", "id", "'1' or '1'='1'", "", "int", "", "", kTypeMismatch, 0, kTypeMismatch},
    {"{t1}", "", "name", "zzz\\' or 1=1 -- ", "", "varchar", "", "", nullptr, 0, kTypeMismatch},
    {"{t1}", "", "name", "zzz\\'; DELETE FROM {t2}; -- ", "", "varchar", "", "", nullptr, 0, kTypeMismatch},
    // Names that would leave their brackets, stack a statement or read another table.
    {"{t1}", "", "id]>=0/**/or/**/[id", "99", "", "int", "", "", kParameterIncorrect, 0, kParameterIncorrect},
    {"{t1};DELETE/**/FROM/**/{t2};--", "", "", "", "", "", "", "", kParameterIncorrect, 0, kParameterIncorrect},
    {"{t1}\tunion\tselect\t*\tfrom\t{t2}", "", "", "", "", "", "", "", kParameterIncorrect, 0, kParameterIncorrect},
    {"{t1},{t2}", "", "", "", "", "", "", "", kParameterIncorrect, 0, kParameterIncorrect},
    {"{t1}", "id],[name", "", "", "", "", "", "", kParameterIncorrect, 0, kParameterIncorrect},
    {"{t1}", "", "id", "0", "", "int", "id];DELETE/**/FROM/**/{t2};--", "", kParameterIncorrect, 0,
     kParameterIncorrect},
    {"{t1}", "", "id", "0", "", "int", "id", "desc; DELETE FROM {t2}", kParameterIncorrect, 0, kParameterIncorrect},
    // Accepted values stay values: quotes inside a text, a quoted key, a fraction of a second.
    {"{t1}", "", "name", "x' or '1'='1", "", "varchar", "", "", nullptr, 0, nullptr},
    {"{t1}", "", "name", "", "b' or '1'='1", "varchar", "", "", nullptr, 2, nullptr},
    {"{t1}", "", "id", "'2'", "2", "varchar2", "id", " DESC ", nullptr, 1, nullptr},
    {"{t1}", "name", "d", "2010-01-02 00:00:00", "", "datetime", "name", "asc", nullptr, 2, nullptr},
    {"{t1}", "", "d", " 2010-01-01 00:00:00.500 ", "", "DateTime", "", "", nullptr, 2, nullptr},
};

std::string WithTables(std::string text, const std::string& t1, const std::string& t2) {
    for (auto [mark, name] : {std::pair<std::string, std::string>{"{t1}", t1}, {"{t2}", t2}})
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
            text.replace(at, mark.size(), name);
    return text;
}

class OpenQuerySecurity : public ::testing::TestWithParam<Product> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("open_query_security");
        connection_ = testdb::ConnectionString(GetParam().target, file_);
        if (GetParam().otherKind && !connection_.empty()) connection_ = OtherKindMariaString(connection_);
        t1_ = testdb::UniqueName("oq_rows");
        t2_ = testdb::UniqueName("oq_other");
    }
    void TearDown() override {
        if (q_) {
            q_->ExecuteSql(CString("DROP TABLE " + t1_), adCmdText);
            q_->ExecuteSql(CString("DROP TABLE " + t2_), adCmdText);
        }
        std::remove(file_.c_str());
    }

    void Execute(const std::string& sql) {
        ASSERT_EQ(q_->ExecuteSql(CString(sql), adCmdText), 1) << sql << ": " << q_->GetErrorText().str();
    }

    // The rows of the other table that still hold what was written.
    long IntactOtherRows() {
        std::string sql = "select id from " + t2_ + " where name = 'keep'";
        EXPECT_EQ(q_->OpenRecordset(CString(sql), 0, adOpenStatic, adLockReadOnly, adCmdText), 1)
            << q_->GetErrorText().str();
        return q_->GetRecordCount();
    }

    std::string file_, connection_, t1_, t2_;
    QuilletPtr q_;
};

TEST_P(OpenQuerySecurity, HostileValuesChangeNothing) {
    TESTDB_REQUIRE(connection_, GetParam().target);
    q_ = Make(connection_);
    const int kind = q_->GetDatabaseKind();
    const bool backslashRefused = kind == DB_MYSQL || kind == DB_OTHER;
    // The backslash cases mean something only when the MariaDB string is read as MySQL,
    // or as the "other" kind on purpose.
    if (GetParam().sqlMode) {
        ASSERT_EQ(kind, GetParam().otherKind ? DB_OTHER : DB_MYSQL) << connection_;
    }
    q_->ExecuteSql(CString("DROP TABLE " + t1_), adCmdText);
    q_->ExecuteSql(CString("DROP TABLE " + t2_), adCmdText);
    Execute("CREATE TABLE " + t1_ + " (id INT, name VARCHAR(40), d " + GetParam().dateType + ")");
    Execute("CREATE TABLE " + t2_ + " (id INT, name VARCHAR(40))");
    for (int id = 1; id <= 3; ++id) {
        char row[160];
        std::snprintf(row, sizeof row, "INSERT INTO %s VALUES (%d, '%c', '2010-01-0%d 00:00:00')", t1_.c_str(), id,
                      'a' + id - 1, id);
        Execute(row);
        Execute("INSERT INTO " + t2_ + " VALUES (" + std::to_string(id) + ", 'keep')");
    }
    if (GetParam().sqlMode) Execute(std::string("SET SESSION sql_mode = '") + GetParam().sqlMode + "'");

    for (const auto& c : kCases) {
        const std::string table = WithTables(c.table, t1_, t2_);
        SCOPED_TRACE(table + " | " + c.key + " | " + WithTables(c.lower, t1_, t2_) + " | " +
                     WithTables(c.upper, t1_, t2_) + " | " + c.order + " | " + c.suffix);
        ASSERT_EQ(q_->OpenQuery(CString(t1_), nullptr, "", "", "", "", "", "", 0), 1) << q_->GetErrorText().str();
        const CString before = q_->GetLastSql();
        auto columns = List({c.column});
        const int result =
            q_->OpenQuery(CString(table), columns.get(), c.key, CString(WithTables(c.lower, t1_, t2_)),
                          CString(WithTables(c.upper, t1_, t2_)), c.keyType, CString(WithTables(c.order, t1_, t2_)),
                          CString(WithTables(c.suffix, t1_, t2_)), 0);
        const char* error = backslashRefused ? c.mysqlError : c.error;
        if (error) {
            EXPECT_EQ(result, 0);
            EXPECT_STREQ(q_->GetErrorText().GetString(), error);
            EXPECT_STREQ(q_->GetLastSql().GetString(), before.GetString());
            EXPECT_EQ(q_->IsRecordsetOpen(), 1) << "the earlier recordset stays";
        } else if (!GetParam().otherKind) {
            // (The "other" kind keeps the brackets, which MariaDB does not read: there only
            // the refusals and the untouched table count.)
            EXPECT_EQ(result, 1) << q_->GetErrorText().str() << " / " << q_->GetLastSql().str();
            if (result == 1) {
                EXPECT_EQ(q_->GetRecordCount(), c.rows) << q_->GetLastSql().str();
            }
        }
        EXPECT_EQ(IntactOtherRows(), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Products, OpenQuerySecurity,
    ::testing::Values(Product{testdb::Target::SqliteNative, nullptr, "DATETIME"},
                      Product{testdb::Target::PostgresNative, nullptr, "TIMESTAMP(3)"},
                      Product{testdb::Target::MariaOdbc, "STRICT_TRANS_TABLES", "DATETIME(3)"},
                      Product{testdb::Target::MariaOdbc, "STRICT_TRANS_TABLES,NO_BACKSLASH_ESCAPES", "DATETIME(3)"},
                      Product{testdb::Target::MariaOdbc, "STRICT_TRANS_TABLES", "DATETIME(3)", true}),
    [](const ::testing::TestParamInfo<Product>& info) {
        std::string name = testdb::TargetName(info.param.target);
        if (info.param.otherKind) name += "OtherKind";
        if (info.param.sqlMode) name += std::string(info.param.sqlMode).find("NO_BACKSLASH") != std::string::npos
                                            ? "NoBackslashEscapes"
                                            : "BackslashEscapes";
        return name;
    });

}  // namespace
