// The parts of quillet-sql one by one: result formats, statement splitting, value texts,
// and the session on a real SQLite file.
#include <TestDatabases.h>
#include <dbplatform/dbplatform.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <sstream>

#include "quillet-sql-format.h"
#include "quillet-sql-input.h"
#include "quillet-sql-session.h"
#include "quillet-sql-values.h"

using namespace quilletsql;

namespace {

Cell Text(const char* text) { return Cell{std::string(text), false}; }
Cell Bare(const char* text) { return Cell{std::string(text), true}; }
Cell Null() { return Cell{}; }

std::string Written(const ResultTable& result, OutputFormat format) {
    std::ostringstream out;
    WriteResult(out, result, format);
    return out.str();
}

}  // namespace

TEST(QuilletSqlFormat, EachFormatWritesWhatItsReadersExpect) {
    const ResultTable mixed{{"id", "name"}, {{Bare("1"), Text("chute")}, {Bare("22"), Null()}}};
    const ResultTable awkward{{"text"}, {{Text("a,b")}, {Text("say \"hi\"")}, {Text("two\nlines")}}};
    const ResultTable wide{{"ort", "n"}, {{Text("Größe"), Bare("1")}}};
    const ResultTable empty{{"a", "b"}, {}};
    struct Case {
        const char* what;
        const ResultTable& result;
        OutputFormat format;
        std::string expected;
    } cases[] = {
        {"numbers right, text left, NULL shown", mixed, OutputFormat::Table,
         " id | name\n----+-------\n  1 | chute\n 22 | NULL\n"},
        {"line breaks escaped in the table", awkward, OutputFormat::Table,
         " text\n------------\n a,b\n say \"hi\"\n two\\nlines\n"},
        {"width counts characters, not bytes", wide, OutputFormat::Table, " ort   | n\n-------+---\n Größe | 1\n"},
        {"a header alone for no rows", empty, OutputFormat::Table, " a | b\n---+---\n"},
        {"CSV: NULL empty, header line", mixed, OutputFormat::Csv, "id,name\r\n1,chute\r\n22,\r\n"},
        {"CSV quotes commas, quotes and line breaks", awkward, OutputFormat::Csv,
         "text\r\n\"a,b\"\r\n\"say \"\"hi\"\"\"\r\n\"two\nlines\"\r\n"},
        {"JSON: numbers bare, NULL null", mixed, OutputFormat::Json,
         "[\n {\"id\": 1, \"name\": \"chute\"},\n {\"id\": 22, \"name\": null}\n]\n"},
        {"JSON escapes quotes and line breaks", awkward, OutputFormat::Json,
         "[\n {\"text\": \"a,b\"},\n {\"text\": \"say \\\"hi\\\"\"},\n {\"text\": \"two\\nlines\"}\n]\n"},
        {"JSON: an empty array for no rows", empty, OutputFormat::Json, "[]\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Written(c.result, c.format), c.expected) << c.what;
    EXPECT_EQ(JsonString(std::string("\x01\t\\", 3)), "\"\\u0001\\t\\\\\"");
}

TEST(QuilletSqlInput, LinesBecomeStatementsAndCommands) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<std::string> pieces;  // what Feed returned, then what Finish left
        bool pendingAfter;
    } cases[] = {
        {"two statements on one line", {"select 1; select 2;"}, {"select 1", "select 2"}, false},
        {"a statement over two lines", {"select 1", "  from t;"}, {"select 1\n  from t"}, false},
        {"semicolons inside quotes and brackets stay", {"select ';', \"a;b\", [c;d], `e;f` from t;"},
         {"select ';', \"a;b\", [c;d], `e;f` from t"}, false},
        {"a quote open across lines", {"select 'a", "b;c' from t;"}, {"select 'a\nb;c' from t"}, false},
        {"a doubled quote inside a literal", {"select 'it''s; here';"}, {"select 'it''s; here'"}, false},
        {"a comment hides its semicolon", {"select 1 -- not; the end", ";"}, {"select 1"}, false},
        {"a backslash line is a command", {"\\tables", "  \\columns t  "}, {"\\tables", "\\columns t"}, false},
        {"a backslash inside a statement is text", {"select 1", "\\x;"}, {"select 1\n\\x"}, false},
        {"empty statements are dropped", {";;", "  ;"}, {}, false},
        {"the unfinished rest is the last statement", {"select 1;", "select 2"}, {"select 1", "select 2"}, true},
    };
    for (const Case& c : cases) {
        StatementSplitter splitter;
        std::vector<std::string> pieces;
        for (const std::string& line : c.lines)
            for (std::string& piece : splitter.Feed(line)) pieces.push_back(piece);
        EXPECT_EQ(splitter.Pending(), c.pendingAfter) << c.what;
        std::string last = splitter.Finish();
        if (!last.empty()) pieces.push_back(last);
        EXPECT_EQ(pieces, c.pieces) << c.what;
        EXPECT_FALSE(splitter.Pending()) << c.what;
    }
}

TEST(QuilletSqlValues, EveryTypeHasAnExactText) {
    auto shown = [](const _variant_t& value) {
        Cell cell = CellFromVariant(value, 4);
        return (cell.text ? *cell.text : std::string("<null>")) + (cell.bare ? " bare" : "");
    };
    _variant_t date;
    date.vt = VT_DATE;
    date.date = 46364.25;  // 2026-12-08 06:00
    _variant_t nan(std::numeric_limits<double>::quiet_NaN());
    _variant_t null;
    null.vt = VT_NULL;
    SAFEARRAYBOUND bound{6, 0};
    SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
    ASSERT_NE(array, nullptr);
    for (LONG i = 0; i < 6; ++i) {
        unsigned char byte = static_cast<unsigned char>(0xA0 + i);
        SafeArrayPutElement(array, &i, &byte);
    }
    _variant_t bytes;
    bytes.vt = VT_ARRAY | VT_UI1;
    bytes.parray = array;

    // A locale with a decimal comma must not change what is written.
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Case {
        const char* what;
        std::string actual;
        std::string expected;
    } cases[] = {
        {"double, shortest exact", shown(_variant_t(0.1)), "0.1 bare"},
        {"double needing 17 digits", shown(_variant_t(0.30000000000000004)), "0.30000000000000004 bare"},
        {"not a number is no JSON number", shown(nan), "NaN"},
        {"negative long", shown(_variant_t(-2147483647L - 1)), "-2147483648 bare"},
        {"64-bit integer", shown(_variant_t(static_cast<LONGLONG>(9007199254740993LL))), "9007199254740993 bare"},
        {"boolean", shown(_variant_t(true)), "true bare"},
        {"date", shown(date), "2026-12-08 06:00:00"},
        {"text", shown(_variant_t("Gicht")), "Gicht"},
        {"NULL", shown(null), "<null>"},
        {"bytes cut after the limit, size named", shown(bytes), "0xa0a1a2a3... (6 bytes)"},
    };
    if (german) std::setlocale(LC_NUMERIC, "C");
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

// The session on a real SQLite file, with the output it writes.
class QuilletSqlSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        file_ = testdb::TempSqliteFile("quillet_sql_session");
        database_ = CreateQuillet();
        ASSERT_NE(database_, nullptr);
        database_->SetConnectionString(("Provider=SQLite;Data Source=" + file_ + ";Create=True").c_str());
    }
    void TearDown() override {
        DeleteQuillet(database_);
        std::remove(file_.c_str());
        CoUninitialize();
    }
    // Runs `inputs` in one session; returns the outcomes joined and the output.
    std::string Run(const std::vector<std::string>& inputs, OutputFormat format = OutputFormat::Table) {
        out_.str("");
        err_.str("");
        Session session(*database_, format, out_, err_);
        std::string outcomes;
        for (const std::string& input : inputs) {
            Outcome outcome = session.Run(input);
            outcomes += outcome == Outcome::Done ? "D" : outcome == Outcome::Failed ? "F" : "Q";
        }
        return outcomes;
    }

    std::string file_;
    IQuillet* database_ = nullptr;
    std::ostringstream out_, err_;
};

TEST_F(QuilletSqlSessionTest, StatementsAndCommandsAnswer) {
    ASSERT_EQ(Run({"create table [charge] ([id] integer, [taken] timestamp, [w] double precision)",
                   "insert into [charge] values (1, #2026-12-08 06:00:00#, 31.5), (2, #2026-12-08 06:06:00#, 29.25), "
                   "(3, #2026-12-08 06:12:00#, 30)"}),
              "DD")
        << err_.str();
    struct Case {
        const char* input;
        const char* outcome;
        std::string expectedOut;  // a part of standard output
    } cases[] = {
        {"select top 2 [id], [w] from [charge] where [taken] > #2026-12-08 06:01:00# order by [id]", "D",
         " id | w\n----+-------\n  2 | 29.25\n  3 |    30\n(2 rows, "},
        {"select [id] from [charge] where [id] = 1", "D", "(1 row, "},
        {"\\kind", "D", "0 DB_OTHER"},
        {"\\translate select top 1 #2026-12-08# from [t]", "D", "select top 1 '2026-12-08' from [t]\n"},
        {"\\tables", "D", " charge\n(1 row)"},
        {"\\columns charge", "D", " column\n--------\n id\n taken\n w\n(3 rows)"},
        {"\\conninfo", "D", "Create=True\nopen\n"},
        {"\\close", "D", "closed\n"},
        {"select count(*) as n from [charge]", "D", " n\n---\n 3\n"},  // reopens on demand
        {"\\q", "Q", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run({c.input}), c.outcome) << c.input << "\n" << err_.str();
        EXPECT_NE(out_.str().find(c.expectedOut), std::string::npos) << c.input << " wrote:\n" << out_.str();
    }
}

TEST_F(QuilletSqlSessionTest, FailuresNameTheirCause) {
    struct Case {
        const char* input;
        std::vector<std::string> expectedErr;  // parts of standard error, in order
    } cases[] = {
        {"select * from [missing_table]", {"error: ", "no such table: missing_table", "sent: select * from [missing_table]"}},
        {"selec 1", {"error: ", "syntax error"}},
        {"\\columns", {"error: \\columns needs a table name"}},
        {"\\translate", {"error: \\translate needs the SQL"}},
        {"\\frobnicate", {"error: unknown command \\frobnicate"}},
        {"\\open Provider=SQLite;Data Source=/nonexistent/dir/x.db",
         {"error: cannot open the database: ", "cause: ", "does not exist", "(ADODB.Connection.Open)"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run({c.input}), "F") << c.input;
        std::size_t at = 0;
        for (const std::string& part : c.expectedErr) {
            at = err_.str().find(part, at);
            ASSERT_NE(at, std::string::npos) << c.input << ": no '" << part << "' in\n" << err_.str();
        }
        EXPECT_EQ(out_.str(), "") << c.input;
    }
}

TEST_F(QuilletSqlSessionTest, CsvAndJsonKeepStandardOutputForData) {
    ASSERT_EQ(Run({"create table [t] ([a] integer, [b] varchar(10))", "insert into [t] values (1, 'x,y'), (2, null)"}),
              "DD");
    ASSERT_EQ(Run({"select * from [t] order by [a]"}, OutputFormat::Csv), "D");
    EXPECT_EQ(out_.str(), "a,b\r\n1,\"x,y\"\r\n2,\r\n");
    EXPECT_NE(err_.str().find("(2 rows, "), std::string::npos);
    ASSERT_EQ(Run({"select * from [t] order by [a]"}, OutputFormat::Json), "D");
    EXPECT_EQ(out_.str(), "[\n {\"a\": 1, \"b\": \"x,y\"},\n {\"a\": 2, \"b\": null}\n]\n");
}

TEST_F(QuilletSqlSessionTest, GivesTheDiagnosticsChannelBack) {
    std::vector<std::string> seen;
    dbplatform::SetDiagnosticHandler([&](const dbplatform::DiagnosticRecord& r) { seen.push_back(r.description); });
    ASSERT_EQ(Run({"select * from [nowhere]"}), "F");
    EXPECT_TRUE(seen.empty()) << "the session's own handler took the records while it lived";
    _RecordsetPtr failing;
    try {
        _ConnectionPtr connection = database_->GetConnection();
        connection->Execute("select * from nowhere_either", nullptr, adCmdText);
    } catch (const _com_error&) {
    }
    dbplatform::SetDiagnosticHandler({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("nowhere_either"), std::string::npos);
}
