// The generic dialect rewritten per database kind, and the database kind itself.
#include <gtest/gtest.h>
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>

#include <string>

namespace {

struct TranslationCase {
    int kind;
    const char* input;
    const char* expected;
};

void ExpectTranslations(const std::vector<TranslationCase>& cases) {
    for (const auto& c : cases) {
        CString translated = quillet::TranslateForKind(c.input, c.kind);
        EXPECT_STREQ(translated.GetString(), c.expected) << "kind " << c.kind << ": " << c.input;
    }
}

const char* kTopQuery = "select top 10 * from [T1] where [A] > 1 order by [A]";
const char* kTopColumns = "select top 5 [A],[B] from T1";
const char* kDateQuery = "select * from [T1] where [TIME] >= #2010-02-26 10:00:00#";
const char* kSheetQuery = "select * from Sheet1 where A > 1";

TEST(TranslateSql, WorkedExamples) {
    ExpectTranslations({
        {DB_OTHER, kTopQuery, "select top 10 * from [T1] where [A] > 1 order by [A]"},
        {DB_ACCESS, kTopQuery, "select top 10 * from [T1] where [A] > 1 order by [A]"},
        {DB_ORACLE, kTopQuery, "select  * from \"T1\" where  rownum <= 10  and \"A\" > 1 order by \"A\""},
        {DB_EXCEL, kTopQuery, "select top 10 * from [t1$] where [a] > 1 order by [a]"},
        {DB_MYSQL, kTopQuery, "select  * from `T1` where `A` > 1 order by `A` limit 0, 10 "},
        {DB_ORACLE, kTopColumns, "select  \"A\",\"B\" from T1 where  rownum <= 5 "},
        {DB_MYSQL, kTopColumns, "select  `A`,`B` from T1 limit 0, 5 "},
        {DB_OTHER, kDateQuery, "select * from [T1] where [TIME] >= '2010-02-26 10:00:00'"},
        {DB_MYSQL, kDateQuery, "select * from `T1` where `TIME` >= '2010-02-26 10:00:00'"},
        {DB_POSTGRESQL, kDateQuery, "select * from \"T1\" where \"TIME\" >= '2010-02-26 10:00:00'"},
        {DB_ACCESS, kDateQuery, kDateQuery},
        {DB_EXCEL, kDateQuery, "select * from [t1$] where [time] >= #2010-02-26 10:00:00#"},
        {DB_ORACLE, kDateQuery,
         "select * from \"T1\" where \"TIME\" >= To_Date(' 2010-02-26 10:00:00','YYYY-MM-DD hh24:mi:ss') "},
        {DB_EXCEL, kSheetQuery, "select * from [sheet1$] where a > 1"},
        {DB_OTHER, kSheetQuery, kSheetQuery},
        {DB_ACCESS, kSheetQuery, kSheetQuery},
        {DB_ORACLE, kSheetQuery, kSheetQuery},
        {DB_MYSQL, kSheetQuery, kSheetQuery},
        {DB_POSTGRESQL, kSheetQuery, kSheetQuery},
    });
}

TEST(TranslateSql, DateLiteralsAndExcelEdges) {
    ExpectTranslations({
        // An unpaired sign stays; two literals are both rewritten.
        {DB_ORACLE, "select * from T where D = #2010-02-26", "select * from T where D = #2010-02-26"},
        {DB_ORACLE, "select * from T where D > #2010-01-01# and D < #2010-02-01#",
         "select * from T where D > To_Date(' 2010-01-01','YYYY-MM-DD hh24:mi:ss')  and D < "
         "To_Date(' 2010-02-01','YYYY-MM-DD hh24:mi:ss') "},
        {DB_EXCEL, "select * from Sheet1 where NAME = 'Abc'", "select * from [sheet1$] where name = 'abc'"},
        {DB_EXCEL, "DROP TABLE [T1]", "drop table [t1]"},
        {DB_EXCEL, "select * from [Data$]", "select * from [data$]"},
    });
}

// The row limit is the whole word top right after select followed by a number; anything
// else that merely contains the letters is text of the query and stays.
TEST(TranslateSql, RowLimitOnlyDirectlyAfterSelect) {
    ExpectTranslations({
        {DB_MYSQL, "select * from T where STOP_TIME > 5", "select * from T where STOP_TIME > 5"},
        {DB_POSTGRESQL, "select [top] from T where A = 3", "select \"top\" from T where A = 3"},
        {DB_ORACLE, "select A from DESKTOP1 where B = 7", "select A from DESKTOP1 where B = 7"},
        {DB_MYSQL, "select top 0 * from T", "select  * from T"},
        {DB_MYSQL, "SELECT\tTOP   3 A from T", "SELECT\t A from T limit 0, 3 "},
        {DB_MYSQL, "select top 3", "select  limit 0, 3 "},
        {DB_MYSQL, "select topx 3 from T", "select topx 3 from T"},
        {DB_MYSQL, "preselect top 3 A from T", "preselect top 3 A from T"},
        {DB_MYSQL, "select top A from T", "select top A from T"},
        {DB_OTHER, "select top 10 STOP from T", "select top 10 STOP from T"},
        {DB_POSTGRESQL, "insert into T values ('select top 5 items')", "insert into T values ('select top 5 items')"},
    });
}

TEST(TranslateSql, PostgresLimitCarriesTheNumberAsked) {
    ExpectTranslations({
        {DB_POSTGRESQL, kTopQuery, "select  * from \"T1\" where \"A\" > 1 order by \"A\" limit 10"},
        {DB_POSTGRESQL, "select top 20 * from T", "select  * from T limit 20"},
        {DB_POSTGRESQL, "select top 99999999999 * from T", "select  * from T limit 2147483647"},
    });
}

TEST(TranslateSql, NumberSignsInsideStringsStay) {
    ExpectTranslations({
        {DB_OTHER, "select * from T where NAME = 'Item #5'", "select * from T where NAME = 'Item #5'"},
        {DB_POSTGRESQL, "select * from T where NAME = 'it''s #1' and D = #2010-01-01#",
         "select * from T where NAME = 'it''s #1' and D = '2010-01-01'"},
        {DB_ORACLE, "select * from T where N = 'a#b' and D = #2010-01-01#",
         "select * from T where N = 'a#b' and D = To_Date(' 2010-01-01','YYYY-MM-DD hh24:mi:ss') "},
    });
}

// A row limit may follow distinct or all, and belongs to its own select: a nested one ends
// its subquery, an outer one comes before a closing ';'.
TEST(TranslateSql, EverySelectGetsItsOwnRowLimit) {
    const char* nested = "select count(*) from (select top 2 [id] from [T] order by [id]) x";
    ExpectTranslations({
        {DB_MYSQL, "select distinct top 5 a from t", "select distinct  a from t limit 0, 5 "},
        {DB_POSTGRESQL, "select distinct top 5 a from t", "select distinct  a from t limit 5"},
        {DB_ORACLE, "select distinct top 5 a from t", "select distinct  a from t where  rownum <= 5 "},
        {DB_MYSQL, "SELECT ALL\tTOP 2 a from t", "SELECT ALL\t a from t limit 0, 2 "},
        {DB_MYSQL, "select distinctly top 5 a from t", "select distinctly top 5 a from t"},
        {DB_MYSQL, "select distinct all top 5 a from t", "select distinct all top 5 a from t"},
        {DB_OTHER, "select distinct top 5 a from t", "select distinct top 5 a from t"},
        {DB_MYSQL, nested, "select count(*) from (select  `id` from `T` order by `id` limit 0, 2 ) x"},
        {DB_POSTGRESQL, nested, "select count(*) from (select  \"id\" from \"T\" order by \"id\" limit 2) x"},
        {DB_ORACLE, nested, "select count(*) from (select  \"id\" from \"T\" where  rownum <= 2  order by \"id\") x"},
        {DB_MYSQL, "select top 1 a from (select top 3 a from t) x",
         "select  a from (select  a from t limit 0, 3 ) x limit 0, 1 "},
        {DB_POSTGRESQL, "select a from t where a in (select top 3 b from (u)) order by a",
         "select a from t where a in (select  b from (u) limit 3) order by a"},
        {DB_ORACLE, "select a from t where a in (select top 3 b from u)",
         "select a from t where a in (select  b from u where  rownum <= 3 )"},
        {DB_ORACLE, "select a from t where a in (select top 3 b from u where c = 1)",
         "select a from t where a in (select  b from u where  rownum <= 3  and c = 1)"},
        {DB_POSTGRESQL, "select top 5 * from t;", "select  * from t limit 5;"},
        {DB_MYSQL, "select top 5 * from t ; ", "select  * from t  limit 0, 5 ; "},
        {DB_ORACLE, "select top 5 * from t;", "select  * from t where  rownum <= 5 ;"},
        {DB_MYSQL, "select top 2 a from t where b = ';)'", "select  a from t where b = ';)' limit 0, 2 "},
        {DB_POSTGRESQL, "select top 2 a from t where b = ')' and c in (select d from u)",
         "select  a from t where b = ')' and c in (select d from u) limit 2"},
    });
}

// Brackets inside a string literal are part of the value, not identifier quotes.
TEST(TranslateSql, BracketsInsideStringsStay) {
    const char* query = "select * from [T] where [N] = '[x]' or [N] = 'it''s ]'";
    ExpectTranslations({
        {DB_POSTGRESQL, query, "select * from \"T\" where \"N\" = '[x]' or \"N\" = 'it''s ]'"},
        {DB_MYSQL, query, "select * from `T` where `N` = '[x]' or `N` = 'it''s ]'"},
        {DB_ORACLE, query, "select * from \"T\" where \"N\" = '[x]' or \"N\" = 'it''s ]'"},
        {DB_MYSQL, "select [it's] from T where N = 'a]b'", "select `it's` from T where N = 'a]b'"},
        {DB_POSTGRESQL, "insert into [T] values ('[', ']', #2010-01-01#)",
         "insert into \"T\" values ('[', ']', '2010-01-01')"},
    });
}

TEST(DatabaseKind, ConnectionStringsAreClassifiedBySubstring) {
    struct Case {
        const char* connectionString;
        int kind;
    } cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\a.xls;Extended Properties=Excel 8.0", DB_EXCEL},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\a.mdb", DB_ACCESS},
        {"Driver={Microsoft Excel Driver (*.xls)};DBQ=c:\\a.xls", DB_EXCEL},
        {"Driver={Microsoft Access Driver (*.mdb)};DBQ=c:\\a.mdb", DB_ACCESS},
        {"Provider=OraOLEDB.Oracle;Data Source=orcl", DB_ORACLE},
        {"Driver={Oracle in OraHome92};Dbq=orcl", DB_ORACLE},
        {"Driver={Microsoft ODBC for Oracle};Server=orcl", DB_ORACLE},
        {"provider=oraoledb.oracle", DB_OTHER},
        {"Driver=MySQL;Server=127.0.0.1", DB_MYSQL},
        {"Provider=MSDASQL;DSN=pg", DB_MYSQL},
        {"Provider=MSDASQL;DRIVER={PostgreSQL Unicode}", DB_MYSQL},
        {"Provider=PostgreSQL;Data Source=h", DB_POSTGRESQL},
        {"DRIVER={PostgreSQL Unicode};Server=127.0.0.1", DB_POSTGRESQL},
        {"DRIVER={Mammoth ODBCng Beta};Server=h", DB_POSTGRESQL},
        {"Provider=SQLOLEDB;Data Source=s", DB_OTHER},
        {"Provider=SQLite;Data Source=/tmp/a.db", DB_OTHER},
        {"", DB_OTHER},
    };
    for (const auto& c : cases) EXPECT_EQ(quillet::DatabaseKindOf(c.connectionString), c.kind) << c.connectionString;
}

}  // namespace
