// The texts the object composes without a database: CREATE and DROP statements, column
// type words by product, and the one-table query of OpenQuery.
#include <gtest/gtest.h>
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>

#include <initializer_list>
#include <memory>

namespace {

std::unique_ptr<CStringList> List(std::initializer_list<const char*> items) {
    auto list = std::make_unique<CStringList>();
    for (const char* item : items) list->AddTail(item);
    return list;
}

// The statement as the object runs it: composed, then translated except for Access and Excel.
CString CreateStatement(int kind, const CStringList* names, const CStringList* types) {
    CString statement;
    EXPECT_TRUE(quillet::ComposeCreateTable("T", names, types, kind, 255, &statement));
    return quillet::TranslatesCreateStatement(kind) ? quillet::TranslateForKind(statement, kind) : statement;
}

TEST(TableStatements, CreateTableByKind) {
    auto names = List({"ID", "NAME", "T0"});
    auto types = List({"int", "varchar", "datetime"});
    struct Case {
        int kind;
        const char* expected;
    } cases[] = {
        {DB_ACCESS, "CREATE TABLE [T]  ([ID] INT ,[NAME] VARCHAR(255) ,[T0] DATETIME )"},
        {DB_OTHER, "CREATE TABLE [T]  ([ID] INT ,[NAME] VARCHAR(255) ,[T0] DATETIME )"},
        {DB_ORACLE, "CREATE TABLE \"T\"  (\"ID\" INT ,\"NAME\" VARCHAR(255) ,\"T0\" DATE )"},
        {DB_POSTGRESQL, "CREATE TABLE \"T\"  (\"ID\" INT ,\"NAME\" VARCHAR(255) ,\"T0\" TIMESTAMP )"},
        {DB_MYSQL, "CREATE TABLE `T`  (`ID` INT ,`NAME` VARCHAR(255) ,`T0` DATETIME )"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(CreateStatement(c.kind, names.get(), types.get()).GetString(), c.expected) << "kind " << c.kind;
}

TEST(TableStatements, CreateTableSkipsIncompletePairsAndRefusesMissingNames) {
    auto names = List({"A", "B", "", "D"});
    auto types = List({"int", "", "int", " image "});
    EXPECT_STREQ(CreateStatement(DB_ACCESS, names.get(), types.get()).GetString(),
                 "CREATE TABLE [T]  ([A] INT ,[D] IMAGE )");
    auto empty = List({});
    CString statement;
    EXPECT_FALSE(quillet::ComposeCreateTable("T", empty.get(), types.get(), DB_ACCESS, 255, &statement));
    EXPECT_STREQ(CreateStatement(DB_ACCESS, empty.get(), empty.get()).GetString(), "CREATE TABLE [T]  ()");
    // Unequal lengths with names present: pairs are taken while both lists last.
    auto shortTypes = List({"int"});
    EXPECT_STREQ(CreateStatement(DB_ACCESS, names.get(), shortTypes.get()).GetString(), "CREATE TABLE [T]  ([A] INT )");
}

TEST(TableStatements, ColumnTypeWords) {
    struct Case {
        const char* type;
        int kind;
        const char* expected;
    } cases[] = {
        {"datetime", DB_ORACLE, "DATE"},       {"DATETIME", DB_MYSQL, "DATETIME"},
        {"DateTime", DB_POSTGRESQL, "TIMESTAMP"}, {"datetime", DB_OTHER, "DATETIME"},
        {"image", DB_ORACLE, "BLOB"},          {"IMAGE", DB_MYSQL, "BLOB"},
        {"image", DB_POSTGRESQL, "BYTEA"},     {"image", DB_ACCESS, "IMAGE"},
        {"  varchar\t", DB_EXCEL, "VARCHAR(40)"}, {"VARCHAR(50)", DB_OTHER, "VARCHAR(50)"},
        {"float", DB_POSTGRESQL, "FLOAT"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(quillet::ColumnTypeText(c.type, c.kind, 40).GetString(), c.expected) << c.type << " " << c.kind;
}

TEST(TableStatements, CreateTableExSetsTheVarcharLength) {
    auto names = List({"ID", "NAME"});
    auto types = List({"int", "VARCHAR"});
    auto sizes = List({"0", "50"});
    auto extras = List({"x", "y"});
    auto nulls = List({"not null", ""});
    int length = 255;
    CString statement = quillet::ComposeCreateTableEx("T", names.get(), types.get(), sizes.get(), extras.get(),
                                                      nulls.get(), DB_OTHER, &length);
    EXPECT_STREQ(statement.GetString(), "CREATE TABLE [T]  ([ID] INT NOT NULL,[NAME] VARCHAR(50) )");
    EXPECT_EQ(length, 50);

    // Lower-case varchar does not take the size; the walk stops with the shortest list.
    auto lowerTypes = List({"varchar", "int"});
    auto oneNull = List({""});
    length = 255;
    statement = quillet::ComposeCreateTableEx("T", names.get(), lowerTypes.get(), sizes.get(), extras.get(),
                                              oneNull.get(), DB_OTHER, &length);
    EXPECT_STREQ(statement.GetString(), "CREATE TABLE [T]  ([ID] VARCHAR(255) )");
    EXPECT_EQ(length, 255);
}

TEST(TableStatements, DropTableByKind) {
    struct Case {
        int kind;
        const char* expected;
    } cases[] = {
        {DB_ACCESS, "DROP TABLE [T1]"},   {DB_ORACLE, "DROP TABLE \"T1\""}, {DB_POSTGRESQL, "DROP TABLE \"T1\""},
        {DB_MYSQL, "DROP TABLE `T1`"},    {DB_EXCEL, "drop table [t1]"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(quillet::TranslateForKind("DROP TABLE [T1]", c.kind).GetString(), c.expected);
}

struct QueryCase {
    const char* table;
    std::initializer_list<const char*> columns;
    const char* key;
    const char* lower;
    const char* upper;
    const char* keyType;
    const char* order;
    const char* suffix;
    int top;
    bool excel;
    const char* expected;
};

CString Compose(const QueryCase& c, quillet::QueryComposition expected = quillet::QueryComposition::Composed) {
    auto columns = List(c.columns);
    CString text;
    EXPECT_EQ(quillet::ComposeOneTableQuery(c.table, columns.get(), c.key, c.lower, c.upper, c.keyType, c.order,
                                            c.suffix, c.top, c.excel, &text),
              expected);
    return text;
}

TEST(OneTableQuery, WorkedExamples) {
    const QueryCase cases[] = {
        {"T1", {"A", "B"}, "TIME", "2010-02-26 10:00:00", "2010-02-27 10:00:00", "datetime", "TIME", "desc", 100, false,
         "select top 100 [A],[B] from T1 where [TIME] >= #2010-02-26 10:00:00# and [TIME] <= #2010-02-27 10:00:00# "
         "order by [TIME] desc"},
        {"T1", {}, "", "", "", "", "A", "asc", 0, false, "select * from T1"},
        {"T1", {"NAME"}, "NAME", "a", "", "varchar", "", "", 0, false, "select [NAME] from T1 where [NAME] >= 'a'  "},
        {"Sheet1", {"A"}, "A", "", "5", "int", "A", "", 3, true, "select top 3 [A] from [Sheet1$] where [A] <= 5  order by [A] "},
        {" T 1 ", {" A ", "", "B"}, "K", "", "", "int", "A", "asc", 0, false, "select [A],[B] from T1"},
        {"T1", {}, "K", "1", "", "varchar2", "", "", 0, false, "select * from T1 where [K] >= 1  "},
    };
    for (const auto& c : cases) EXPECT_STREQ(Compose(c).GetString(), c.expected);
}

TEST(OneTableQuery, OracleAndMysqlFormsOfTheFirstExample) {
    const QueryCase c = {"T1", {"A", "B"}, "TIME", "2010-02-26 10:00:00", "2010-02-27 10:00:00", "datetime", "TIME",
                         "desc", 100, false, nullptr};
    CString text = Compose(c);
    EXPECT_STREQ(quillet::TranslateForKind(text, DB_ORACLE).GetString(),
                 "select  \"A\",\"B\" from T1 where  rownum <= 100  and \"TIME\" >= To_Date(' 2010-02-26 "
                 "10:00:00','YYYY-MM-DD hh24:mi:ss')  and \"TIME\" <= To_Date(' 2010-02-27 10:00:00','YYYY-MM-DD "
                 "hh24:mi:ss')  order by \"TIME\" desc");
    EXPECT_STREQ(quillet::TranslateForKind(text, DB_MYSQL).GetString(),
                 "select  `A`,`B` from T1 where `TIME` >= '2010-02-26 10:00:00' and `TIME` <= '2010-02-27 10:00:00' "
                 "order by `TIME` desc limit 0, 100 ");
}

// Bounds are host data: they must not be able to end their literal and rewrite the query.
TEST(OneTableQuery, BoundsCannotEscapeTheirLiterals) {
    const QueryCase quoted = {"T1", {}, "NAME", "O'Brien", "x' or '1'='1", "varchar", "", "", 0, false, nullptr};
    EXPECT_STREQ(Compose(quoted).GetString(),
                 "select * from T1 where [NAME] >= 'O''Brien' and [NAME] <= 'x'' or ''1''=''1' ");
    const QueryCase dated = {"T1", {}, "D", "2010-01-01# or 1=1 or #2010", "", "datetime", "", "", 0, false, nullptr};
    Compose(dated, quillet::QueryComposition::RefusedBound);
    const QueryCase noTable = {"   ", {}, "", "", "", "", "", "", 0, false, nullptr};
    Compose(noTable, quillet::QueryComposition::NoTable);
}

}  // namespace
