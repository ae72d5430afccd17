// The checks of names and type words made before a table statement is composed: which
// texts pass, which are refused, and that the documented values still pass.
#include <gtest/gtest.h>
#include <quillet/Identifiers.h>
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>
#include <quillet/TableDefinitionCheck.h>

#include <initializer_list>
#include <memory>
#include <string>

namespace {

std::unique_ptr<CStringList> List(std::initializer_list<const char*> items) {
    auto list = std::make_unique<CStringList>();
    for (const char* item : items) list->AddTail(item);
    return list;
}

TEST(TableDefinitionCheck, ColumnWords) {
    struct Case {
        std::string words;
        bool accepted;
    } cases[] = {
        {"int", true},
        {" VARCHAR(50) ", true},
        {"DECIMAL(10,2)", true},
        {"decimal( 10 , 2 )", true},
        {"NOT NULL", true},
        {"not\tnull", true},
        {"DOUBLE PRECISION", true},
        {"TIMESTAMP(3) WITH TIME ZONE", true},
        {"INTERVAL DAY(2) TO SECOND(6)", true},
        {"", true},  // an empty nullability text
        {"INT); DROP TABLE t; --", false},
        {"INT, b INT", false},
        {"VARCHAR(10))", false},
        {"VARCHAR(10", false},
        {"VARCHAR((10))", false},
        {"VARCHAR(a)", false},
        {"INT CHECK (id > 0)", false},
        {"INT DEFAULT 'x'", false},
        {"INT DEFAULT \"x\"", false},
        {"[INT]", false},
        {"`INT`", false},
        {"INT -- note", false},
        {"INT /* note */", false},
        {"INT;", false},
        {"INT#", false},
        {"INT\\", false},
        {"INT.x", false},
        {"整数", false},
        {std::string("INT\0; DROP TABLE t", 18), false},
    };
    for (const auto& c : cases) EXPECT_EQ(quillet::IsColumnWords(c.words), c.accepted) << c.words;
}

TEST(TableDefinitionCheck, TableNamesAndTheirBrackets) {
    struct Case {
        std::string name;
        const char* bracketed;  // nullptr: refused
    } cases[] = {
        {"T1", "[T1]"},
        {"public.t", "[public].[t]"},
        {"db.sch.t", "[db].[sch].[t]"},
        {"Sheet1$", "[Sheet1$]"},
        {"表_1", "[表_1]"},
        {"", nullptr},
        {"t.", nullptr},
        {".t", nullptr},
        {"a..b", nullptr},
        {"t 1", nullptr},
        {"t\t", nullptr},
        {"x]; DELETE FROM t2; --", nullptr},
        {"x\"; DELETE FROM t2; --", nullptr},
        {"x`; DELETE FROM t2; --", nullptr},
        {"t1],[t2", nullptr},
        {"t1,t2", nullptr},
        {"t/**/", nullptr},
        {std::string("t\0x", 3), nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quillet::IsTableName(c.name), c.bracketed != nullptr) << c.name;
        if (c.bracketed) {
            EXPECT_STREQ(quillet::BracketedTableName(CString(c.name)).GetString(), c.bracketed);
        }
    }
}

// Only pairs that reach the statement are looked at: those before the shorter list ends
// and whose name and type are both given.
TEST(TableDefinitionCheck, CreateTableValues) {
    struct Case {
        const char* table;
        std::initializer_list<const char*> names;
        std::initializer_list<const char*> types;
        bool accepted;
    } cases[] = {
        {"T", {"ID", "NAME", "T0"}, {"int", "varchar", "datetime"}, true},
        {"T", {"ID", "名称"}, {"int", "VARCHAR(50)"}, true},
        {"T", {"ID", "x]; DROP TABLE t2; --"}, {"int", ""}, true},
        {"T", {"ID", "x]; DROP TABLE t2; --"}, {"int"}, true},
        {"T", {"ID", ""}, {"int", "INT); DROP TABLE t2; --"}, true},
        {"T", {}, {"int"}, true},  // refused later, without a text, as always
        {"", {"ID"}, {"int"}, false},
        {"public.T", {"ID"}, {"int"}, false},
        {"T] (a INT); DROP TABLE [t2", {"ID"}, {"int"}, false},
        {"T", {"ID", "a] INT); DROP TABLE [t2]; --"}, {"int", "int"}, false},
        {"T", {"ID", "my col"}, {"int", "int"}, false},
        {"T", {"ID", "NAME"}, {"int", "INT); DROP TABLE t2; --"}, false},
    };
    for (const auto& c : cases) {
        auto names = List(c.names);
        auto types = List(c.types);
        EXPECT_EQ(quillet::IsSafeTableDefinition(c.table, names.get(), types.get()), c.accepted) << c.table;
    }
    EXPECT_FALSE(quillet::IsSafeTableDefinition("x;", nullptr, nullptr));
    EXPECT_TRUE(quillet::IsSafeTableDefinition("T", nullptr, nullptr));
}

TEST(TableDefinitionCheck, CreateTableExValues) {
    struct Case {
        std::initializer_list<const char*> names;
        std::initializer_list<const char*> types;
        std::initializer_list<const char*> nulls;
        bool accepted;
    } cases[] = {
        {{"ID", "NAME"}, {"int", "VARCHAR"}, {"not null", ""}, true},
        {{"ID", "NAME"}, {"int", "VARCHAR"}, {"NOT NULL", "NULL"}, true},
        {{"ID", "NAME"}, {"int", "VARCHAR"}, {"", "NOT NULL); DROP TABLE t2; --"}, false},
        {{"ID", "NAME"}, {"int", "VARCHAR"}, {"NULL DEFAULT '1'", ""}, false},
        {{"ID", "NAME"}, {"int", "INT/**/"}, {"", ""}, false},
        {{"ID", "NAME"}, {"int", ""}, {"", "x'; --"}, true},    // the row is left out
        {{"ID", "NAME"}, {"int", "int"}, {""}, true},           // the walk ends with the shortest list
        {{"ID", "a]b"}, {"int", "int"}, {"", ""}, false},
    };
    for (const auto& c : cases) {
        auto names = List(c.names);
        auto types = List(c.types);
        auto nulls = List(c.nulls);
        auto sizes = List({"0", "50"});
        auto extras = List({"x", "y"});
        EXPECT_EQ(quillet::IsSafeTableDefinition("T", names.get(), types.get(), sizes.get(), extras.get(), nulls.get()),
                  c.accepted)
            << *c.names.begin() << " " << *(c.types.begin() + 1) << " " << *(c.nulls.end() - 1);
    }
    // Sizes and extras are never pasted as text.
    auto names = List({"ID"});
    auto types = List({"VARCHAR"});
    auto sizes = List({"50); DROP TABLE t2; --"});
    auto extras = List({"'; --"});
    auto nulls = List({""});
    EXPECT_TRUE(quillet::IsSafeTableDefinition("T", names.get(), types.get(), sizes.get(), extras.get(), nulls.get()));
}

// The documented values pass the checks (their composed texts are checked with the
// composer), and a bracketed table name reads on every kind as the documented drop.
TEST(TableDefinitionCheck, DocumentedValuesPass) {
    auto names = List({"ID", "NAME", "T0"});
    auto types = List({"int", "varchar", "datetime"});
    EXPECT_TRUE(quillet::IsSafeTableDefinition("T", names.get(), types.get()));
    auto exNames = List({"ID", "NAME"});
    auto exTypes = List({"int", "VARCHAR"});
    auto sizes = List({"0", "50"});
    auto extras = List({"", ""});
    auto nulls = List({"not null", ""});
    EXPECT_TRUE(
        quillet::IsSafeTableDefinition("T", exNames.get(), exTypes.get(), sizes.get(), extras.get(), nulls.get()));

    struct Case {
        int kind;
        const char* drop;
    } cases[] = {
        {DB_ACCESS, "DROP TABLE [T1]"},     {DB_ORACLE, "DROP TABLE \"T1\""}, {DB_POSTGRESQL, "DROP TABLE \"T1\""},
        {DB_MYSQL, "DROP TABLE `T1`"},      {DB_EXCEL, "drop table [t1]"},
    };
    for (const auto& c : cases) {
        CString drop = quillet::TranslateForKind("DROP TABLE " + quillet::BracketedTableName("T1"), c.kind);
        EXPECT_STREQ(drop.GetString(), c.drop) << "kind " << c.kind;
    }
}

}  // namespace
