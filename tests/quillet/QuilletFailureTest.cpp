// Failure values and texts that need no database, or only one that cannot be reached.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <dbplatform/com/ComRuntime.h>
#include <dbplatform/datalink/DataLinks.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>

using namespace quillettest;

namespace {

TEST(QuilletLifecycle, FactoryIsExportedWithoutDecorationAndIgnoresNull) {
    void* self = dlopen(nullptr, RTLD_NOW);
    ASSERT_NE(self, nullptr);
    EXPECT_NE(dlsym(self, "CreateQuillet"), nullptr);
    EXPECT_NE(dlsym(self, "DeleteQuillet"), nullptr);
    dlclose(self);
    DeleteQuillet(nullptr);
}

// A fresh object, and every recordset operation without an open recordset: each gives
// its failure value and leaves the last error text alone.
TEST(QuilletLifecycle, OperationsWithoutRecordsetGiveTheirFailureValues) {
    auto q = Make();
    EXPECT_STREQ(q->GetErrorText(), "");
    EXPECT_STREQ(q->GetLastSql(), "");
    EXPECT_EQ(q->GetRowIndex(), -1);
    EXPECT_EQ(q->OpenDatabase(), 0);
    EXPECT_STREQ(q->GetErrorText(), "ConnectionString Is Empty");
    EXPECT_EQ(q->IsDatabaseOpen(), 0);

    unsigned char bytes[4] = {1, 2, 3, 4};
    unsigned char* buffer = bytes;
    long length = 4;
    double number = 1.5;
    CString text = "kept";
    VARIANT value;
    VariantInit(&value);
    struct Case {
        const char* operation;
        long result;
        long expected;
    } cases[] = {
        {"IsRecordsetOpen", q->IsRecordsetOpen(), 0},  {"IsEOF", q->IsEOF(), 1},
        {"IsBOF", q->IsBOF(), 1},                      {"GetRecordCount", q->GetRecordCount(), -1},
        {"GetAbsolutePosition", q->GetAbsolutePosition(), -1}, {"GetFieldCount", q->GetFieldCount(), -1},
        {"MoveFirst", q->MoveFirst(), 0},              {"MoveNext", q->MoveNext(), 0},
        {"MovePrevious", q->MovePrevious(), 0},        {"MoveLast", q->MoveLast(), 0},
        {"Move", q->Move(1, FromFirstRow()), 0},       {"SetAbsolutePosition", q->SetAbsolutePosition(1), 0},
        {"AddNew", q->AddNew(), 0},                    {"Update", q->Update(), 0},
        {"UpdateBatch", q->UpdateBatch(3), 0},         {"Delete", q->Delete(1), 0},
        {"Supports", q->Supports(0x1000400), 0},       {"GetFieldValue", q->GetFieldValue("A", value), 0},
        {"SetFieldValue", q->SetFieldValue("A", value), 0}, {"GetFieldDouble", q->GetFieldDouble("A", number), 0},
        {"GetFieldStringAt", q->GetFieldStringAt(0, text), 0}, {"SetFieldChunk", q->SetFieldChunk("A", bytes, 4), 0},
        {"GetFieldChunk", q->GetFieldChunk("A", buffer, length), 0}, {"GetFieldActualSize", q->GetFieldActualSize("A"), 0},
        {"GetFieldType", q->GetFieldType("A"), 0},     {"GetFieldTypeAt", q->GetFieldTypeAt(0), 0},
        {"CloseRecordset", q->CloseRecordset(), 1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.operation;
    EXPECT_STREQ(q->GetFieldName(0), "");
    EXPECT_EQ(number, 1.5);
    EXPECT_STREQ(text, "kept");
    EXPECT_STREQ(q->GetErrorText(), "ConnectionString Is Empty");
    EXPECT_EQ(q->CloseDatabase(), 1);
}

TEST(QuilletConnection, GateTextsWithoutConnectionString) {
    auto q = Make();
    auto names = List({"stays?"});
    struct Case {
        const char* operation;
        int result;
    } cases[] = {
        {"ExecuteSql", q->ExecuteSql("select 1", 1)},
        {"OpenRecordset", q->OpenRecordset("select 1", 1, 3, 3, 1)},
        {"GetTableNames", q->GetTableNames(names.get())},
        {"GetColumnNames", q->GetColumnNames("T", names.get())},
        {"DropTable", q->DropTable("T")},
    };
    for (const auto& c : cases) EXPECT_EQ(c.result, 0) << c.operation;
    EXPECT_STREQ(q->GetErrorText(), "ConnectionString Is Empty");
    EXPECT_TRUE(names->IsEmpty());
}

// A connection that failed to open stays stale: the gate reports it rather than retrying,
// and only an explicit OpenDatabase tries again.
TEST(QuilletConnection, FailedOpenLeavesAStaleConnection) {
    auto q = Make("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\a.mdb");
    EXPECT_EQ(q->GetDatabaseKind(), DB_ACCESS);
    EXPECT_EQ(q->OpenDatabase(), 0);
    std::string openFailure = q->GetErrorText().str();
    EXPECT_FALSE(openFailure.empty());
    EXPECT_EQ(q->IsDatabaseOpen(), 0);
    auto names = List({"old"});
    EXPECT_EQ(q->GetTableNames(names.get()), 0);
    EXPECT_STREQ(q->GetErrorText(), "Database Is not open");
    EXPECT_TRUE(names->IsEmpty());
    EXPECT_EQ(q->ExecuteSql("select 1", 1), 0);
    EXPECT_STREQ(q->GetErrorText(), "Database Is not open");
    EXPECT_EQ(q->OpenRecordset("select 1", 1, 3, 3, 1), 0);
    EXPECT_STREQ(q->GetErrorText(), "Database Is not open");
    EXPECT_EQ(q->OpenDatabase(), 0);
    EXPECT_EQ(q->GetErrorText().str(), openFailure);
}

TEST(QuilletConnection, ObjectsThatCannotBeCreated) {
    std::string file = testdb::TempSqliteFile("quillet_create");
    auto q = Make(SqliteConnection(file));
    dbplatform::SetCreateFailure("ADODB.Connection", E_OUTOFMEMORY);
    EXPECT_EQ(q->OpenDatabase(), 0);
    EXPECT_STREQ(q->GetErrorText(), "Fail to open database!");
    EXPECT_EQ(q->GetConnection(), nullptr);
    dbplatform::SetCreateFailure("ADODB.Connection", S_OK);

    ASSERT_EQ(q->OpenDatabase(), 1);
    dbplatform::SetCreateFailure("ADODB.Recordset", E_OUTOFMEMORY);
    EXPECT_EQ(q->OpenRecordset("select 1", 0, 3, 3, 1), 0);
    EXPECT_STREQ(q->GetErrorText(), "Fail to create recordset");
    EXPECT_EQ(q->GetRecordset(), nullptr);
    auto names = List({});
    EXPECT_EQ(q->GetColumnNames("T", names.get()), 0);
    EXPECT_STREQ(q->GetErrorText(), "");
    dbplatform::SetCreateFailure("ADODB.Recordset", S_OK);
    q.reset();
    std::remove(file.c_str());
}

// The data-link dialog through a prompt that answers like a user would.
TEST(QuilletConnection, EditConnectionStringResultsAndTexts) {
    struct Case {
        bool accept;
        const char* input;
        int result;
        const char* text;
        const char* lastError;
    } cases[] = {
        {false, "", 0, "", "Database linker is NULL"},
        {true, "", 1, "Provider=SQLite;Data Source=/tmp/new.db", ""},
        {false, "Provider=SQLite;Data Source=/tmp/a.db", 0, "Provider=SQLite;Data Source=/tmp/a.db",
         "Fail to modify connectionstring"},
        {true, "Provider=SQLite;Data Source=/tmp/a.db", 1, "Provider=SQLite;Data Source=/tmp/new.db", ""},
    };
    for (const auto& c : cases) {
        std::string seen = "(not called)";
        dbplatform::SetDataLinkPrompt([&](std::string& text) {
            seen = text;
            if (c.accept) text = "Provider=SQLite;Data Source=/tmp/new.db";
            return c.accept;
        });
        auto q = Make("Driver=MySQL;Server=x");
        CString text = c.input;
        EXPECT_EQ(q->EditConnectionString(text), c.result) << c.input;
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(seen, c.input);
        EXPECT_STREQ(q->GetErrorText(), c.lastError);
        EXPECT_STREQ(q->GetConnectionString(), "Driver=MySQL;Server=x");
    }
    dbplatform::SetCreateFailure("DataLinks", REGDB_E_CLASSNOTREG);
    auto q = Make();
    CString text;
    EXPECT_EQ(q->EditConnectionString(text), 0);
    EXPECT_EQ(q->GetErrorText().str(), SystemMessage(REGDB_E_CLASSNOTREG));
    dbplatform::SetCreateFailure("DataLinks", S_OK);
    dbplatform::SetDataLinkPrompt({});
}

TEST(QuilletQuery, RefusedCompositions) {
    auto q = Make();
    EXPECT_EQ(q->OpenDatabase(), 0);  // leaves a known text behind
    EXPECT_EQ(q->OpenQuery("   ", nullptr, "", "", "", "", "", "", 0), 0);
    EXPECT_STREQ(q->GetErrorText(), "ConnectionString Is Empty");
    EXPECT_EQ(q->OpenQuery("T1", nullptr, "D", "2010-01-01# or 1=1 or #", "", "datetime", "", "", 0), 0);
    EXPECT_EQ(q->GetErrorText().str(), SystemMessage(DISP_E_TYPEMISMATCH));
}

}  // namespace
