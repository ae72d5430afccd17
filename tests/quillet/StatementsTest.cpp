// The texts the object composes without a database: CREATE and DROP statements, column
// type words by product, and the one-table query of OpenQuery.
#include <gtest/gtest.h>
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>

#include <initializer_list>
#include <memory>
#include <string>

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
    int kind;
    const char* expected;
};

CString Compose(const QueryCase& c, quillet::QueryComposition expected = quillet::QueryComposition::Composed) {
    auto columns = List(c.columns);
    CString text;
    EXPECT_EQ(quillet::ComposeOneTableQuery(c.table, columns.get(), c.key, c.lower, c.upper, c.keyType, c.order,
                                            c.suffix, c.top, c.kind, &text),
              expected);
    return text;
}

TEST(OneTableQuery, WorkedExamples) {
    const QueryCase cases[] = {
        {"T1", {"A", "B"}, "TIME", "2010-02-26 10:00:00", "2010-02-27 10:00:00", "datetime", "TIME", "desc", 100,
         DB_OTHER,
         "select top 100 [A],[B] from T1 where [TIME] >= #2010-02-26 10:00:00# and [TIME] <= #2010-02-27 10:00:00# "
         "order by [TIME] desc"},
        {"T1", {}, "", "", "", "", "A", "asc", 0, DB_OTHER, "select * from T1"},
        {"T1", {"NAME"}, "NAME", "a", "", "varchar", "", "", 0, DB_OTHER,
         "select [NAME] from T1 where [NAME] >= 'a'  "},
        {"Sheet1", {"A"}, "A", "", "5", "int", "A", "", 3, DB_EXCEL,
         "select top 3 [A] from [Sheet1$] where [A] <= 5  order by [A] "},
        {" T 1 ", {" A ", "", "B"}, "K", "", "", "int", "A", "asc", 0, DB_OTHER, "select [A],[B] from T1"},
        {"T1", {}, "K", "1", "", "varchar2", "", "", 0, DB_OTHER, "select * from T1 where [K] >= 1  "},
    };
    for (const auto& c : cases) EXPECT_STREQ(Compose(c).GetString(), c.expected);
}

TEST(OneTableQuery, OracleAndMysqlFormsOfTheFirstExample) {
    const QueryCase c = {"T1", {"A", "B"}, "TIME", "2010-02-26 10:00:00", "2010-02-27 10:00:00", "datetime", "TIME",
                         "desc", 100, DB_OTHER, nullptr};
    CString text = Compose(c);
    EXPECT_STREQ(quillet::TranslateForKind(text, DB_ORACLE).GetString(),
                 "select  \"A\",\"B\" from T1 where  rownum <= 100  and \"TIME\" >= To_Date(' 2010-02-26 "
                 "10:00:00','YYYY-MM-DD hh24:mi:ss')  and \"TIME\" <= To_Date(' 2010-02-27 10:00:00','YYYY-MM-DD "
                 "hh24:mi:ss')  order by \"TIME\" desc");
    EXPECT_STREQ(quillet::TranslateForKind(text, DB_MYSQL).GetString(),
                 "select  `A`,`B` from T1 where `TIME` >= '2010-02-26 10:00:00' and `TIME` <= '2010-02-27 10:00:00' "
                 "order by `TIME` desc limit 0, 100 ");
}

// Names and the suffix are host values pasted into the text: anything that is not a plain
// identifier (or a direction) is refused before a single character is composed.
TEST(OneTableQuery, NamesThatWouldChangeTheStatementAreRefused) {
    using quillet::QueryComposition;
    const QueryCase refused[] = {
        {"t;DELETE/**/FROM/**/t2;--", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"t1\tunion\tselect\t*\tfrom\tt2", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"t1,t2", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"t1--", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {".t1", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"main..t1", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"t1.", {}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"[t1]", {}, "", "", "", "", "", "", 0, DB_EXCEL, nullptr},
        {"t1", {"A", "A],[B"}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"t1", {"A]/*"}, "", "", "", "", "", "", 0, DB_MYSQL, nullptr},
        {"t1", {"a.b"}, "", "", "", "", "", "", 0, DB_OTHER, nullptr},
        {"t1", {}, "id]>=0/**/or/**/[id", "5", "", "int", "", "", 0, DB_OTHER, nullptr},
        {"t1", {}, "id`>=0", "5", "", "int", "", "", 0, DB_MYSQL, nullptr},
        {"t1", {}, "id\"or\"id", "5", "", "int", "", "", 0, DB_POSTGRESQL, nullptr},
        {"t1", {}, "id", "5", "", "int", "id];DELETE/**/FROM/**/t2;--", "", 0, DB_OTHER, nullptr},
        {"t1", {}, "id", "5", "", "int", "id", "desc; DELETE FROM t2", 0, DB_OTHER, nullptr},
        {"t1", {}, "id", "5", "", "int", "id", "desc,id", 0, DB_OTHER, nullptr},
        {"t1", {}, "id", "5", "", "int", "id", "descending", 0, DB_OTHER, nullptr},
        {"t1", {}, "id", "5", "", "int", "id", "--", 0, DB_OTHER, nullptr},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(c.table) + " | " + c.key + " | " + c.order + " | " + c.suffix);
        CString text = "untouched";
        auto columns = List(c.columns);
        EXPECT_EQ(quillet::ComposeOneTableQuery(c.table, columns.get(), c.key, c.lower, c.upper, c.keyType, c.order,
                                                c.suffix, c.top, c.kind, &text),
                  QueryComposition::RefusedName);
        EXPECT_STREQ(text.GetString(), "untouched");
    }

    // Schema-qualified tables, non-ASCII names, '$', blanks around the suffix and any case
    // of it stay accepted; values that the text does not use are not judged.
    const QueryCase accepted[] = {
        {"main.t1", {"\xE5\x90\x8D\xE7\xA7\xB0"}, "", "", "", "", "", "", 0, DB_OTHER,
         "select [\xE5\x90\x8D\xE7\xA7\xB0] from main.t1"},
        {"T$1", {"A_1"}, "K", "5", "", "int", "A_1", " \tDESC ", 0, DB_OTHER,
         "select [A_1] from T$1 where [K] >= 5  order by [A_1]  \tDESC "},
        {"t1", {}, "K", "", "", "int", "x;y", "drop", 0, DB_OTHER, "select * from t1"},
        {"t1", {}, "", "1; DELETE FROM t2", "", "int", "", "", 0, DB_OTHER, "select * from t1"},
    };
    for (const auto& c : accepted) EXPECT_STREQ(Compose(c).GetString(), c.expected);
}

// Bounds are host data: each must be exactly one literal of the key's type, or the whole
// query is refused.
TEST(OneTableQuery, BoundsAreOneLiteralOfTheKeyType) {
    struct BoundCase {
        const char* keyType;
        int kind;
        const char* bound;
        const char* literal;  // nullptr: refused
    } cases[] = {
        // Dates: read by the date reader, then used as written, trimmed, fraction kept.
        {"datetime", DB_OTHER, "2010-02-26 10:00:00", "#2010-02-26 10:00:00#"},
        {"DateTime", DB_POSTGRESQL, " 2010-02-26 10:00:00.250\t", "#2010-02-26 10:00:00.250#"},
        {"datetime", DB_MYSQL, "2010/2/6", "#2010/2/6#"},
        {"datetime", DB_OTHER, "2010-01-01' or '1'='1", nullptr},
        {"datetime", DB_OTHER, "2010-01-01# or 1=1 or #2010", nullptr},
        {"datetime", DB_OTHER, "2010-02-30", nullptr},
        {"datetime", DB_OTHER, "2010-01-01 24:00:00", nullptr},
        {"datetime", DB_OTHER, "yesterday", nullptr},
        {"datetime", DB_OTHER, "2010-01-01;", nullptr},
        // Texts: quotes doubled; a backslash is refused for MySQL and for the "other" kind,
        // whose product may be MySQL too.
        {"varchar", DB_OTHER, "x' or '1'='1", "'x'' or ''1''=''1'"},
        {"VARCHAR", DB_POSTGRESQL, "zzz\\' or 1=1 -- ", "'zzz\\'' or 1=1 -- '"},
        {"varchar", DB_MYSQL, "zzz\\' or 1=1 -- ", nullptr},
        {"varchar", DB_MYSQL, "a\\", nullptr},
        {"varchar", DB_OTHER, "zzz\\' or 1=1 -- ", nullptr},
        {"varchar", DB_ORACLE, "C:\\plant", "'C:\\plant'"},
        {"varchar", DB_MYSQL, "O'Hara [#1]", "'O''Hara [#1]'"},
        // Every other type: a decimal number or one complete quoted string, trimmed.
        {"int", DB_OTHER, " 42 ", "42"},
        {"float", DB_OTHER, "-1.5e-3", "-1.5e-3"},
        {"int", DB_OTHER, ".5", ".5"},
        {"varchar2", DB_ORACLE, "'A001'", "'A001'"},
        {"char", DB_POSTGRESQL, "'O''Hara'", "'O''Hara'"},
        {"int", DB_OTHER, "''", "''"},
        {"int", DB_OTHER, "99; DELETE FROM t2", nullptr},
        {"int", DB_OTHER, "1 or 1=1", nullptr},
        {"int", DB_OTHER, "nan", nullptr},
        {"int", DB_OTHER, "-inf", nullptr},
        {"int", DB_OTHER, "0x10", nullptr},
        {"int", DB_OTHER, "1,000", nullptr},
        {"int", DB_OTHER, "1 000", nullptr},
        {"int", DB_OTHER, "1e", nullptr},
        {"int", DB_OTHER, "--1", nullptr},
        {"int", DB_OTHER, "1.", nullptr},
        {"int", DB_OTHER, "'A001", nullptr},
        {"int", DB_OTHER, "'a' or 'b'", nullptr},
        {"int", DB_OTHER, "'a'||'b'", nullptr},
        {"int", DB_OTHER, "'", nullptr},
        {"varchar2", DB_MYSQL, "'a\\'", nullptr},
        {"int", DB_OTHER, "(select 1)", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.keyType) + " kind " + std::to_string(c.kind) + ": " + c.bound);
        for (bool lower : {true, false}) {
            const QueryCase query = {"T", {}, "K", lower ? c.bound : "", lower ? "" : c.bound, c.keyType, "", "", 0,
                                     c.kind, nullptr};
            if (!c.literal) {
                Compose(query, quillet::QueryComposition::RefusedBound);
                continue;
            }
            std::string expected =
                std::string("select * from T where [K] ") + (lower ? ">= " : "<= ") + c.literal + "  ";
            EXPECT_STREQ(Compose(query).GetString(), expected.c_str());
        }
    }
    // A text that would be cut at an embedded NUL is refused too.
    const std::string withNul("5\0; DELETE FROM t2", 18);
    CString text;
    EXPECT_EQ(quillet::ComposeOneTableQuery("T", nullptr, "K", CString(withNul), "", "int", "", "", 0, DB_OTHER, &text),
              quillet::QueryComposition::RefusedBound);
    EXPECT_EQ(quillet::ComposeOneTableQuery("T", nullptr, "K", CString(withNul), "", "varchar", "", "", 0, DB_OTHER,
                                            &text),
              quillet::QueryComposition::RefusedBound);
}

}  // namespace
