// A table command (adCmdTable) opens one table and nothing else: a source that is not
// one table name is refused with E_INVALIDARG before anything reaches the engine, on
// every engine, and the names hosts really pass still open their table. Command text
// holding a NUL is refused the same way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <dbplatform/ado/TableName.h>
#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using testdb::Target;

TEST(TableName, OneNameOnly) {
    const char* accepted[] = {"t4", "  t4 ", "_t", "T$1", "public.t", "db.public.t", "[t4]", "[Order Details]",
                              "\"T\"", "\"public\".\"T\"", "`t4`", "main.[t4]", "表一", "[表 一]"};
    const char* refused[] = {"",
                             "t4; DELETE FROM t4",
                             "t4;",
                             "t4 t5",
                             "t4--",
                             "t4 /* */",
                             "t4\nDELETE FROM t4",
                             "4t",
                             "t4.",
                             ".t4",
                             "a.b.c.d",
                             "[t4",
                             "[]",
                             "[t4]]",
                             "[t4]; DELETE FROM t4",
                             "[t4; DELETE FROM t4]",
                             "\"t4\"\"; DELETE FROM t4; --\"",
                             "`t4`; DELETE FROM t4",
                             "[t4 -- x]",
                             "[t4 /* x]",
                             "\"t'4\"",
                             "[t\t4]",
                             "(select 1)",
                             "t4 where 1=0"};
    for (const char* name : accepted) EXPECT_TRUE(dbplatform::ado::IsTableName(name)) << name;
    for (const char* name : refused) EXPECT_FALSE(dbplatform::ado::IsTableName(name)) << name;
    EXPECT_FALSE(dbplatform::ado::IsTableName(std::string("t4\0; DELETE FROM t4", 19)));
}

class TableCommand : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        sqliteFile_ = testdb::TempSqliteFile("table_command");
        connectionString_ = testdb::ConnectionString(GetParam(), sqliteFile_);
        TESTDB_REQUIRE(connectionString_, GetParam());
        table_ = testdb::UniqueName("tc");
        mixed_ = testdb::UniqueName("Tc_Mixed");
        ASSERT_EQ(connection_.CreateInstance("ADODB.Connection"), S_OK);
        connection_->Open(_bstr_t(connectionString_), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        Quiet("drop table " + table_);
        Exec("create table " + table_ + " (id integer primary key, name varchar(20))");
        Exec("insert into " + table_ + " values (1, 'a')");
        Exec("insert into " + table_ + " values (2, 'b')");
    }
    void TearDown() override {
        if (connection_) {
            Quiet("drop table " + table_);
            if (IsPostgres()) Quiet("drop table \"" + mixed_ + "\"");
        }
        std::filesystem::remove(sqliteFile_);
    }
    bool IsPostgres() const { return GetParam() == Target::PostgresNative || GetParam() == Target::PostgresOdbc; }
    void Exec(const std::string& sql) { connection_->Execute(_bstr_t(sql), nullptr, adCmdText); }
    void Quiet(const std::string& sql) {
        try {
            Exec(sql);
        } catch (const _com_error&) {
        }
    }
    // Rows of a table command on `source`.
    long OpenTable(const std::string& source) {
        _RecordsetPtr rows;
        EXPECT_EQ(rows.CreateInstance("ADODB.Recordset"), S_OK);
        rows->PutCursorLocation(adUseClient);
        rows->Open(_variant_t(source.c_str()), _variant_t(static_cast<IDispatch*>(connection_)), adOpenStatic,
                   adLockOptimistic, adCmdTable);
        return rows->GetRecordCount();
    }
    long Count() {
        _RecordsetPtr rows = connection_->Execute(_bstr_t("select count(*) from " + table_), nullptr, adCmdText);
        return static_cast<long>(rows->GetCollect(_variant_t(0L)));
    }

    std::string sqliteFile_, connectionString_, table_, mixed_;
    _ConnectionPtr connection_;
};

TEST_P(TableCommand, StatementsInTheSourceAreRefusedAndTheTableStaysIntact) {
    const std::string t = table_;
    const std::vector<std::string> hostile = {
        t + "; DELETE FROM " + t,
        t + ";DELETE FROM " + t + ";",
        t + " where 1=0; delete from " + t,
        "[" + t + "]; DELETE FROM " + t,
        "\"" + t + "\"; DELETE FROM " + t,
        "`" + t + "`; DELETE FROM " + t,
        "[" + t + "; DELETE FROM " + t + "; --]",
        "\"" + t + "\"\"; DELETE FROM " + t + "; --\"",
        "`" + t + "; DELETE FROM " + t + "; -- `",
        t + "\nDELETE FROM " + t,
        t + " -- comment",
        "(delete from " + t + " returning *)",
    };
    for (const std::string& source : hostile) {
        SCOPED_TRACE(source);
        testcom::Failure opened = testcom::FailureOf([&] { OpenTable(source); });
        EXPECT_EQ(opened.hr, E_INVALIDARG) << opened.description;
        EXPECT_NE(opened.description.find("one table name"), std::string::npos);
        testcom::Failure executed =
            testcom::FailureOf([&] { connection_->Execute(_bstr_t(source), nullptr, adCmdTable); });
        EXPECT_EQ(executed.hr, E_INVALIDARG) << executed.description;
        EXPECT_EQ(Count(), 2);
    }
}

TEST_P(TableCommand, TableNamesStillOpen) {
    std::vector<std::string> names = {table_};
    switch (GetParam()) {
        case Target::SqliteNative:
        case Target::SqliteOdbc:
            names.insert(names.end(), {"[" + table_ + "]", "\"" + table_ + "\"", "`" + table_ + "`", "main." + table_});
            break;
        case Target::PostgresNative:
        case Target::PostgresOdbc:
            names.insert(names.end(), {"public." + table_, "\"" + table_ + "\"", "\"public\".\"" + table_ + "\""});
            break;
        case Target::MariaOdbc: names.push_back("`" + table_ + "`"); break;
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        testcom::Failure failure = testcom::FailureOf([&] { EXPECT_EQ(OpenTable(name), 2); });
        EXPECT_EQ(failure.hr, S_OK) << failure.description;
    }
    EXPECT_EQ(connection_->Execute(_bstr_t(table_), nullptr, adCmdTable)->GetRecordCount() != 0, true);
}

// Every engine reads command text only up to a NUL: a DELETE with its WHERE behind one
// would delete every row (SQLite would not even get past it). Refused, nothing runs.
TEST_P(TableCommand, CommandTextWithANulIsRefused) {
    const std::string sql = "delete from " + table_ + std::string(1, '\0') + " where id = 1";
    testcom::Failure executed = testcom::FailureOf([&] { connection_->Execute(_bstr_t(sql), nullptr, adCmdText); });
    EXPECT_EQ(executed.hr, E_INVALIDARG) << executed.description;
    testcom::Failure opened = testcom::FailureOf([&] {
        _RecordsetPtr rows;
        ASSERT_EQ(rows.CreateInstance("ADODB.Recordset"), S_OK);
        rows->Open(_variant_t(_bstr_t(sql)), _variant_t(static_cast<IDispatch*>(connection_)), adOpenStatic,
                   adLockOptimistic, adCmdText);
    });
    EXPECT_EQ(opened.hr, E_INVALIDARG) << opened.description;
    EXPECT_NE(opened.description.find("NUL"), std::string::npos) << opened.description;
    EXPECT_EQ(Count(), 2);
}

// PostgreSQL folds unquoted names to lower case: a quoted mixed-case name reaches its
// table only if it is passed on exactly as given.
class PostgresTableCommand : public TableCommand {};

TEST_P(PostgresTableCommand, QuotedMixedCaseNameIsNotRequoted) {
    Exec("create table \"" + mixed_ + "\" (id integer primary key)");
    Exec("insert into \"" + mixed_ + "\" values (5)");
    testcom::Failure failure = testcom::FailureOf([&] { EXPECT_EQ(OpenTable("\"" + mixed_ + "\""), 1); });
    EXPECT_EQ(failure.hr, S_OK) << failure.description;
    EXPECT_NE(testcom::FailureOf([&] { OpenTable(mixed_); }).hr, S_OK);  // folded: another name
}

INSTANTIATE_TEST_SUITE_P(Targets, TableCommand, ::testing::ValuesIn(testdb::AllTargets()),
                         [](const ::testing::TestParamInfo<Target>& info) { return testdb::TargetName(info.param); });
INSTANTIATE_TEST_SUITE_P(Targets, PostgresTableCommand, ::testing::Values(Target::PostgresNative, Target::PostgresOdbc),
                         [](const ::testing::TestParamInfo<Target>& info) { return testdb::TargetName(info.param); });

}  // namespace
