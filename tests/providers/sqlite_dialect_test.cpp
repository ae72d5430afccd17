// The generic dialect rewriter: what SQLite receives for what the libraries write.
#include <gtest/gtest.h>

#include <string>

#include <dbplatform/providers/sqlite/GenericDialect.h>

namespace {

struct RewriteCase {
    const char* what;
    const char* input;
    const char* expected;
};

const RewriteCase kCases[] = {
    {"plain text is untouched", "select * from [T1] where [A] > 1", "select * from [T1] where [A] > 1"},
    {"top n becomes a trailing limit", "select top 10 * from [T1] where [A] > 1 order by [A]",
     "select  * from [T1] where [A] > 1 order by [A] LIMIT 10"},
    {"any case and blanks", "SELECT\n  Top\t5 [A],[B] from T1", "SELECT\n   [A],[B] from T1 LIMIT 5"},
    {"distinct top", "select distinct TOP 3 a from t", "select distinct  a from t LIMIT 3"},
    {"top in parentheses", "select top (4) a from t", "select  a from t LIMIT 4"},
    {"top 0 limits to nothing", "select top 0 * from T", "select  * from T LIMIT 0"},
    {"limit goes before a trailing semicolon", "select top 2 a from t;", "select  a from t LIMIT 2;"},
    {"limit goes before a trailing comment", "select top 2 a from t -- the end\n",
     "select  a from t LIMIT 2 -- the end\n"},
    {"subquery gets its own limit", "select a from t where a in (select top 3 b from u order by b)",
     "select a from t where a in (select  b from u order by b LIMIT 3)"},
    {"outer and inner limits", "select top 1 x from (select top 2 y as x from t) order by x",
     "select  x from (select  y as x from t LIMIT 2) order by x LIMIT 1"},
    {"each statement its own", "select top 1 a from t; select top 2 b from u",
     "select  a from t LIMIT 1; select  b from u LIMIT 2"},
    {"a column called top", "select top from t", "select top from t"},
    {"top as a later column", "select a, top from t", "select a, top from t"},
    {"STOP_TIME is not top", "select STOP_TIME from t where STOP_TIME > 1", "select STOP_TIME from t where STOP_TIME > 1"},
    {"top inside a string", "select 'select top 5' from t", "select 'select top 5' from t"},
    {"top inside a quoted name", "select \"select top 5\" from t", "select \"select top 5\" from t"},
    {"top percent is left for SQLite to refuse", "select top 5 percent a from t", "select top 5 percent a from t"},
    {"second top at one level is left", "select top 1 a from t union select top 2 a from u",
     "select  a from t union select top 2 a from u LIMIT 1"},
    {"date literal outside quotes", "select * from [T1] where [TIME] >= #2010-02-26 10:00:00#",
     "select * from [T1] where [TIME] >= '2010-02-26 10:00:00'"},
    {"date literal in another form", "where t = #2010/2/6 8:05# and u < #2010-02-26#",
     "where t = '2010-02-06 08:05:00' and u < '2010-02-26 00:00:00'"},
    {"date inside a string stays", "insert into t values ('#2010-02-26 10:00:00#')",
     "insert into t values ('#2010-02-26 10:00:00#')"},
    {"date inside doubled quotes stays", "select 'it''s #2010-02-26#' from t", "select 'it''s #2010-02-26#' from t"},
    {"date inside brackets stays", "select [#2010-02-26#] from t", "select [#2010-02-26#] from t"},
    {"date inside a comment stays", "select 1 /* #2010-02-26# */", "select 1 /* #2010-02-26# */"},
    {"not a date is left as written", "select * from t where a = #not a date#", "select * from t where a = #not a date#"},
    {"lone number sign", "select # from t", "select # from t"},
    {"unterminated string", "select top 3 'abc", "select  'abc LIMIT 3"},
    {"empty text", "", ""},
};

TEST(GenericDialect, RewritesWhatTheLibrariesWrite) {
    for (const RewriteCase& c : kCases) {
        EXPECT_EQ(dbplatform::sqlite::RewriteGenericDialect(c.input), c.expected) << c.what;
    }
}

}  // namespace
