// CreateTable, CreateTableEx, DropTable and GetColumnNames with hostile and legitimate
// names and type words on the real products. A refused value returns 0 with "The
// parameter is incorrect.", sends nothing and leaves the last SQL text as it was; no
// other table loses a row or disappears. Accepted values build the table they describe.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace quillettest;

namespace {

struct Product {
    testdb::Target target;
    const char* schema;  // the schema (or database) that holds the test tables
};

const char* kParameterIncorrect = "The parameter is incorrect.";

// Names that would leave their brackets, drop or empty another table, or name two tables.
// "{t1}", "{t2}" and "{schema}" stand for the tables and the schema of the test.
const std::vector<std::string> kHostileTableNames = {
    "x]; DELETE FROM {t2}; --",
    "x\"; DELETE FROM {t2}; --",
    "x`; DELETE FROM {t2}; --",
    "{t1}]; DELETE FROM [{t2}",
    "{t1}],[{t2}",
    "{t1}\",\"{t2}",
    "{t1}`,`{t2}",
    "{t1}, {t2}",
    "{t2} ",
    "{t2}\t",
    "{t2}/**/",
    "{t2};",
    std::string("{t2}\0; DELETE FROM {t2}", 24),
    "",
    ".{t2}",
    "{t2}.",
    "{schema}..{t2}",
};

// A column table to create: refused when `columns` is empty, else the names it must have.
struct CreateCase {
    bool extended;  // CreateTableEx instead of CreateTable
    const char* table;
    std::vector<const char*> names, types, sizes, nullability;
    std::vector<std::string> columns;
};

const CreateCase kCreateCases[] = {
    // A table or column name that leaves its brackets; a name with a blank.
    {false, "{t3}] (a INT); DROP TABLE [{t2}]; CREATE TABLE [{t3}x", {"a"}, {"int"}, {}, {}, {}},
    {false, "{t3}", {"a] INT); DROP TABLE [{t2}]; --"}, {"int"}, {}, {}, {}},
    {false, "{t3}", {"a\" INT); DROP TABLE \"{t2}\"; --"}, {"int"}, {}, {}, {}},
    {false, "{t3}", {"a` INT); DROP TABLE `{t2}`; --"}, {"int"}, {}, {}, {}},
    {false, "{t3}", {"my col"}, {"int"}, {}, {}, {}},
    {false, "", {"a"}, {"int"}, {}, {}, {}},
    {false, "{schema}.{t3}", {"a"}, {"int"}, {}, {}, {}},
    // Type words that end the column list, add a column, a default or a comment.
    {false, "{t3}", {"a"}, {"INT); DROP TABLE {t2}; --"}, {}, {}, {}},
    {false, "{t3}", {"a"}, {"INT, b INT"}, {}, {}, {}},
    {false, "{t3}", {"a"}, {"DECIMAL(10,2)); DROP TABLE {t2}; --"}, {}, {}, {}},
    {false, "{t3}", {"a"}, {"VARCHAR(20) DEFAULT 'x'"}, {}, {}, {}},
    {false, "{t3}", {"a"}, {"INT /* note */"}, {}, {}, {}},
    {true, "{t3}", {"a", "b"}, {"VARCHAR", "INT); DROP TABLE {t2}; --"}, {"77", "0"}, {"", ""}, {}},
    // Nullability texts that do the same.
    {true, "{t3}", {"a"}, {"int"}, {"0"}, {"NOT NULL); DROP TABLE {t2}; --"}, {}},
    {true, "{t3}", {"a"}, {"int"}, {"0"}, {"NULL DEFAULT '1'"}, {}},
    // Legitimate tables, among them a Chinese column name, sized and two-word types, and
    // a pair left out because its type is empty.
    {false, "{t3}", {"ID", "名称", "T0"}, {"int", "varchar", "datetime"}, {}, {}, {"ID", "名称", "T0"}},
    {true,
     "{t3}",
     {"ID", "AMOUNT", "RATE", "名称"},
     {"int", "DECIMAL(10,2)", "DOUBLE PRECISION", "VARCHAR"},
     {"0", "0", "0", "50"},
     {"not null", "", "NULL", ""},
     {"ID", "AMOUNT", "RATE", "名称"}},
    {false, "{t3}", {"ID", "x]; DROP TABLE [{t2}]; --"}, {"int", ""}, {}, {}, {"ID"}},
};

class DdlSecurity : public ::testing::TestWithParam<Product> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("ddl_security");
        connection_ = testdb::ConnectionString(GetParam().target, file_);
        t1_ = testdb::UniqueName("ddl_victim");
        t2_ = testdb::UniqueName("ddl_keep");
        t3_ = testdb::UniqueName("ddl_new");
    }
    void TearDown() override {
        if (q_) {
            for (const auto& table : {t1_, t2_, t3_}) q_->ExecuteSql(CString("DROP TABLE " + table), adCmdText);
        }
        std::remove(file_.c_str());
    }

    // Connects and makes the table to drop or list ({t1}) and the one that must keep its
    // rows ({t2}).
    void Prepare() {
        q_ = Make(connection_);
        if (GetParam().target == testdb::Target::MariaOdbc) {
            ASSERT_EQ(q_->GetDatabaseKind(), DB_MYSQL) << "needs a Driver=MySQL or MSDASQL connection string";
        }
        for (const auto& table : {t1_, t2_, t3_}) q_->ExecuteSql(CString("DROP TABLE " + table), adCmdText);
        MakeVictim();
        Execute("CREATE TABLE " + t2_ + " (id INT, name VARCHAR(40))");
        for (int id = 1; id <= 3; ++id) Execute("INSERT INTO " + t2_ + " VALUES (" + std::to_string(id) + ", 'keep')");
    }
    void MakeVictim() { Execute("CREATE TABLE " + t1_ + " (id INT, 名称 VARCHAR(20))"); }

    void Execute(const std::string& sql) {
        ASSERT_EQ(q_->ExecuteSql(CString(sql), adCmdText), 1) << sql << ": " << q_->GetErrorText().str();
    }

    std::string Fill(std::string text) const {
        const std::pair<std::string, std::string> marks[] = {
            {"{t1}", t1_}, {"{t2}", t2_}, {"{t3}", t3_}, {"{schema}", GetParam().schema}};
        for (const auto& [mark, name] : marks)
            for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
                text.replace(at, mark.size(), name);
        return text;
    }

    // A statement of the test's own, so that the last SQL text is known before a call.
    CString MarkLastSql() {
        EXPECT_EQ(q_->OpenRecordset(CString("select id from " + t2_), 0, adOpenStatic, adLockReadOnly, adCmdText), 1)
            << q_->GetErrorText().str();
        return q_->GetLastSql();
    }

    // The rows of the other table that still hold what was written.
    long IntactOtherRows() {
        std::string sql = "select id from " + t2_ + " where name = 'keep'";
        if (q_->OpenRecordset(CString(sql), 0, adOpenStatic, adLockReadOnly, adCmdText) != 1) return -1;
        return q_->GetRecordCount();
    }

    bool TableExists(const std::string& table) {
        CStringList names;
        EXPECT_EQ(q_->GetTableNames(&names), 1) << q_->GetErrorText().str();
        const auto items = Items(names);
        return std::find(items.begin(), items.end(), table) != items.end();
    }

    void ExpectRefused(int result, const CString& lastSqlBefore) {
        EXPECT_EQ(result, 0);
        EXPECT_STREQ(q_->GetErrorText().GetString(), kParameterIncorrect);
        EXPECT_STREQ(q_->GetLastSql().GetString(), lastSqlBefore.GetString());
        EXPECT_EQ(IntactOtherRows(), 3);
    }

    // The name as the product's statements quote it.
    std::string Quoted(const std::string& name) const {
        switch (q_->GetDatabaseKind()) {
            case DB_POSTGRESQL: return "\"" + name + "\"";
            case DB_MYSQL: return "`" + name + "`";
            default: return "[" + name + "]";
        }
    }

    std::string file_, connection_, t1_, t2_, t3_;
    QuilletPtr q_;
};

TEST_P(DdlSecurity, DropTableTakesOnlyATableName) {
    TESTDB_REQUIRE(connection_, GetParam().target);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    for (const auto& hostile : kHostileTableNames) {
        const std::string name = Fill(hostile);
        SCOPED_TRACE("drop [" + name + "]");
        const CString before = MarkLastSql();
        ExpectRefused(q_->DropTable(CString(name)), before);
        EXPECT_TRUE(TableExists(t1_));
        EXPECT_TRUE(TableExists(t2_));
    }

    // A plain name and a schema-qualified one each drop their table.
    const std::string plain = t1_, qualified = std::string(GetParam().schema) + "." + t1_;
    EXPECT_EQ(q_->DropTable(CString(plain)), 1) << q_->GetErrorText().str();
    EXPECT_STREQ(q_->GetLastSql().GetString(), ("DROP TABLE " + Quoted(t1_)).c_str());
    EXPECT_FALSE(TableExists(t1_));
    ASSERT_NO_FATAL_FAILURE(MakeVictim());
    EXPECT_EQ(q_->DropTable(CString(qualified)), 1) << q_->GetErrorText().str();
    EXPECT_STREQ(q_->GetLastSql().GetString(),
                 ("DROP TABLE " + Quoted(GetParam().schema) + "." + Quoted(t1_)).c_str());
    EXPECT_FALSE(TableExists(t1_));
    EXPECT_EQ(IntactOtherRows(), 3);
}

TEST_P(DdlSecurity, GetColumnNamesTakesOnlyATableName) {
    TESTDB_REQUIRE(connection_, GetParam().target);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    for (const auto& hostile : kHostileTableNames) {
        const std::string name = Fill(hostile);
        SCOPED_TRACE("columns of [" + name + "]");
        const CString before = MarkLastSql();
        CStringList names;
        names.AddTail("earlier");
        ExpectRefused(q_->GetColumnNames(CString(name), &names), before);
        EXPECT_EQ(Items(names), std::vector<std::string>{"earlier"});
        EXPECT_TRUE(TableExists(t1_));
    }

    for (const std::string& name : {t1_, std::string(GetParam().schema) + "." + t1_}) {
        SCOPED_TRACE("columns of " + name);
        CStringList names;
        names.AddTail("earlier");
        EXPECT_EQ(q_->GetColumnNames(CString(name), &names), 1) << q_->GetErrorText().str();
        EXPECT_EQ(Items(names), (std::vector<std::string>{"earlier", "id", "名称"}));
    }
}

TEST_P(DdlSecurity, CreateTableTakesOnlyNamesAndTypeWords) {
    TESTDB_REQUIRE(connection_, GetParam().target);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    for (const auto& c : kCreateCases) {
        std::vector<std::string> filledNames;
        for (const char* name : c.names) filledNames.push_back(Fill(name));
        std::string trace = std::string(c.extended ? "CreateTableEx " : "CreateTable ") + Fill(c.table);
        for (std::size_t i = 0; i < c.names.size(); ++i) trace += " | " + filledNames[i] + " " + Fill(c.types[i]);
        for (const char* null : c.nullability) trace += " | " + std::string(null);
        SCOPED_TRACE(trace);

        CStringList names, types, sizes, extras, nullability;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            names.AddTail(CString(filledNames[i]));
            types.AddTail(CString(Fill(c.types[i])));
            extras.AddTail("");
        }
        for (const char* size : c.sizes) sizes.AddTail(size);
        for (const char* null : c.nullability) nullability.AddTail(CString(Fill(null)));

        const CString before = MarkLastSql();
        const CString table(Fill(c.table));
        const int result = c.extended
                               ? q_->CreateTableEx(table, &names, &types, &sizes, &extras, &nullability)
                               : q_->CreateTable(table, &names, &types);
        if (c.columns.empty()) {
            ExpectRefused(result, before);
            EXPECT_FALSE(TableExists(t3_));
            EXPECT_TRUE(TableExists(t2_));
            continue;
        }
        ASSERT_EQ(result, 1) << q_->GetErrorText().str() << " / " << q_->GetLastSql().str();
        CStringList created;
        EXPECT_EQ(q_->GetColumnNames(CString(t3_), &created), 1) << q_->GetErrorText().str();
        EXPECT_EQ(Items(created), c.columns);
        EXPECT_EQ(q_->DropTable(CString(t3_)), 1) << q_->GetErrorText().str();
        EXPECT_EQ(IntactOtherRows(), 3);
    }
}

// The documented statement reads as before on every product, and a refused
// CreateTableEx leaves the varchar length that a later statement uses alone.
TEST_P(DdlSecurity, DocumentedCreateStatementIsUnchanged) {
    TESTDB_REQUIRE(connection_, GetParam().target);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    auto refusedNames = List({"a"});
    auto refusedTypes = List({"VARCHAR"});
    auto refusedSizes = List({"77"});
    auto refusedExtras = List({""});
    auto refusedNulls = List({"NOT NULL; --"});
    ASSERT_EQ(q_->CreateTableEx(CString(t3_), refusedNames.get(), refusedTypes.get(), refusedSizes.get(),
                                refusedExtras.get(), refusedNulls.get()),
              0);

    auto names = List({"ID", "NAME", "T0"});
    auto types = List({"int", "varchar", "datetime"});
    ASSERT_EQ(q_->CreateTable(CString(t3_), names.get(), types.get()), 1) << q_->GetErrorText().str();
    const char* dateWord = q_->GetDatabaseKind() == DB_POSTGRESQL ? "TIMESTAMP" : "DATETIME";
    const std::string expected = "CREATE TABLE " + Quoted(t3_) + "  (" + Quoted("ID") + " INT ," + Quoted("NAME") +
                                 " VARCHAR(255) ," + Quoted("T0") + " " + dateWord + " )";
    EXPECT_STREQ(q_->GetLastSql().GetString(), expected.c_str());
}

INSTANTIATE_TEST_SUITE_P(Products, DdlSecurity,
                         ::testing::Values(Product{testdb::Target::SqliteNative, "main"},
                                           Product{testdb::Target::PostgresNative, "public"},
                                           Product{testdb::Target::MariaOdbc, "adotest"}),
                         [](const ::testing::TestParamInfo<Product>& info) {
                             return std::string(testdb::TargetName(info.param.target));
                         });

}  // namespace
