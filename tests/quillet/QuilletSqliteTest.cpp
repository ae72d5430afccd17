// Recordset handling, row counting and field conversions on an embedded SQLite database.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace quillettest;

namespace {

class QuilletSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("quillet_sqlite");
        q_ = Make(SqliteConnection(file_));
        ASSERT_EQ(q_->ExecuteSql("CREATE TABLE t (ID INT, NAME VARCHAR(20), AMOUNT FLOAT, D DATETIME, B BLOB)", 1), 1)
            << q_->GetErrorText().str();
        const char* rows[] = {
            "INSERT INTO t VALUES (1, 'abc', 1000000000000, '2010-02-26 10:00:00', X'01020304')",
            "INSERT INTO t VALUES (2, '2.5', 2.5, 'not a date', NULL)",
            "INSERT INTO t VALUES (3, NULL, NULL, NULL, NULL)",
            "INSERT INTO t VALUES (4, 'Item #5', -1, '2010-02-27 10:00:00', NULL)",
            "INSERT INTO t VALUES (5, 'e', 1, '2010-02-28 10:00:00', NULL)",
        };
        for (const char* row : rows) ASSERT_EQ(q_->ExecuteSql(row, 1), 1) << q_->GetErrorText().str();
    }
    void TearDown() override {
        q_.reset();
        std::remove(file_.c_str());
    }
    // Opens the table ordered by ID and moves to the row with `id` (1-based).
    void OpenAt(int id, long lockType = 3) {
        ASSERT_EQ(q_->OpenRecordset("select * from t order by ID", 0, 3, lockType, 1), 1) << q_->GetErrorText().str();
        ASSERT_EQ(q_->MoveFirst(), 1);
        for (int i = 1; i < id; ++i) ASSERT_EQ(q_->MoveNext(), 1);
    }

    std::string file_;
    QuilletPtr q_;
};

TEST_F(QuilletSqlite, RowIndexFollowsTheMoves) {
    ASSERT_EQ(q_->OpenRecordset("select * from t order by ID", 0, 3, 3, 1), 1);
    EXPECT_EQ(q_->GetRowIndex(), -1);
    EXPECT_EQ(q_->GetRecordCount(), 5);
    IQuillet* q = q_.get();
    struct Step {
        const char* move;
        std::function<int()> call;
        int result;
        int rowIndex;
    } steps[] = {
        {"MoveFirst", [q] { return q->MoveFirst(); }, 1, 0},
        {"MoveNext", [q] { return q->MoveNext(); }, 1, 1},
        {"MoveNext", [q] { return q->MoveNext(); }, 1, 2},
        {"MovePrevious", [q] { return q->MovePrevious(); }, 1, 1},
        {"MoveLast", [q] { return q->MoveLast(); }, 1, 4},
        {"Move 3 from the first row", [q] { return q->Move(3, FromFirstRow()); }, 1, 3},
        {"SetAbsolutePosition", [q] { return q->SetAbsolutePosition(2); }, 1, 3},
        {"Update without changes", [q] { return q->Update(); }, 1, 3},
        {"MoveLast", [q] { return q->MoveLast(); }, 1, 4},
        {"MoveNext onto EOF", [q] { return q->MoveNext(); }, 1, 5},
        {"MoveNext past EOF", [q] { return q->MoveNext(); }, 0, 5},
        {"MoveFirst", [q] { return q->MoveFirst(); }, 1, 0},
        {"MovePrevious onto BOF", [q] { return q->MovePrevious(); }, 1, -1},
        {"MovePrevious past BOF", [q] { return q->MovePrevious(); }, 0, -1},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(step.call(), step.result) << step.move;
        EXPECT_EQ(q->GetRowIndex(), step.rowIndex) << step.move;
    }
    EXPECT_EQ(q->GetErrorText().str(), SystemMessage(ADO_ERROR(3021)));
    EXPECT_EQ(q->IsBOF(), 1);
    EXPECT_EQ(q->CloseRecordset(), 1);
    EXPECT_EQ(q->GetRowIndex(), -1);
}

// A value that does not fit the requested type fails with the conversion's message and
// leaves the host variable alone; NULL still reads as zero, false or the empty text.
TEST_F(QuilletSqlite, TypedGettersRefuseValuesTheyCannotConvert) {
    OpenAt(1);
    double number = 7.5;
    EXPECT_EQ(q_->GetFieldDouble("NAME", number), 0);
    EXPECT_EQ(number, 7.5);
    EXPECT_EQ(q_->GetErrorText().str(), SystemMessage(DISP_E_TYPEMISMATCH));
    int integer = 9;
    EXPECT_EQ(q_->GetFieldInt("AMOUNT", integer), 0);
    EXPECT_EQ(integer, 9);
    EXPECT_EQ(q_->GetErrorText().str(), SystemMessage(DISP_E_OVERFLOW));
    short small = 3;
    EXPECT_EQ(q_->GetFieldShortAt(2, small), 0);
    EXPECT_EQ(small, 3);
    CString text = "kept";
    EXPECT_EQ(q_->GetFieldString("B", text), 0);
    EXPECT_STREQ(text, "kept");
    EXPECT_STREQ(q_->GetErrorText(), "change date type error");
    CTime before(2001, 1, 1, 0, 0, 0);
    CTime time = before;
    ASSERT_EQ(q_->MoveNext(), 1);
    EXPECT_EQ(q_->GetFieldTime("D", time), 0);
    EXPECT_EQ(time, before);
    EXPECT_STREQ(q_->GetErrorText(), "change date type error");
    // Text that holds a number converts.
    EXPECT_EQ(q_->GetFieldDouble("NAME", number), 1);
    EXPECT_EQ(number, 2.5);
}

TEST_F(QuilletSqlite, NullFieldsReadAsEmptyValues) {
    OpenAt(3);
    double number = 1;
    float single = 1;
    int integer = 1;
    long wide = 1;
    short small = 1;
    char byte = 1;
    bool flag = true;
    CString text = "x";
    EXPECT_EQ(q_->GetFieldDouble("AMOUNT", number), 1);
    EXPECT_EQ(q_->GetFieldFloatAt(2, single), 1);
    EXPECT_EQ(q_->GetFieldInt("NAME", integer), 1);
    EXPECT_EQ(q_->GetFieldLongAt(1, wide), 1);
    EXPECT_EQ(q_->GetFieldShort("AMOUNT", small), 1);
    EXPECT_EQ(q_->GetFieldChar("AMOUNT", byte), 1);
    EXPECT_EQ(q_->GetFieldBool("AMOUNT", flag), 1);
    EXPECT_EQ(q_->GetFieldString("NAME", text), 1);
    EXPECT_EQ(number, 0.0);
    EXPECT_EQ(single, 0.0f);
    EXPECT_EQ(integer, 0);
    EXPECT_EQ(wide, 0);
    EXPECT_EQ(small, 0);
    EXPECT_EQ(byte, 0);
    EXPECT_FALSE(flag);
    EXPECT_STREQ(text, "");
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(q_->GetFieldValue("NAME", value), 1);
    EXPECT_EQ(value.vt, VT_NULL);
    EXPECT_EQ(value.llVal, 0);
    CTime time;
    EXPECT_EQ(q_->GetFieldTime("D", time), 1);
    EXPECT_EQ(time, CTime(1899, 12, 30, 0, 0, 0));
}

TEST_F(QuilletSqlite, UnknownFieldsAndRefusedWrites) {
    OpenAt(1, 1);  // read-only
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(q_->GetFieldValue("NOPE", value), 0);
    EXPECT_EQ(q_->GetErrorText().str(), SystemMessage(ADO_ERROR(3265)));
    q_->OpenQuery("", nullptr, "", "", "", "", "", "", 0);  // no effect on the text
    EXPECT_EQ(q_->GetFieldType("NOPE"), 0);
    EXPECT_EQ(q_->GetFieldTypeAt(0), 3);  // adInteger
    EXPECT_EQ(q_->AddNew(), 0);
    EXPECT_STREQ(q_->GetErrorText(), "Recordset not Support AddNew");
    int id = 42;
    EXPECT_EQ(q_->SetFieldInt("ID", id), 0);
    EXPECT_STREQ(q_->GetErrorText(), "Recordset not Support AddNew");
    EXPECT_EQ(q_->GetFieldCount(), 5);
    EXPECT_STREQ(q_->GetFieldName(1), "NAME");
    EXPECT_STREQ(q_->GetFieldName(5), "");
}

// Failing recordset calls keep the object as it was and store the code's system message.
TEST_F(QuilletSqlite, FailingCallsStoreTheSystemMessage) {
    OpenAt(2);
    static const unsigned char bytes[2] = {1, 2};
    IQuillet* q = q_.get();
    struct Case {
        const char* call;
        std::function<long()> run;
        HRESULT code;
    } cases[] = {
        {"Delete group", [q] { return long(q->Delete(2)); }, ADO_ERROR(3251)},
        {"SetFieldChunk unknown field", [q] { return long(q->SetFieldChunk("NOPE", bytes, 2)); }, ADO_ERROR(3265)},
        {"GetFieldActualSize unknown field", [q] { return q->GetFieldActualSize("NOPE"); }, ADO_ERROR(3265)},
        {"SetAbsolutePosition past the end", [q] { return long(q->SetAbsolutePosition(99)); }, ADO_ERROR(3001)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.run(), 0) << c.call;
        EXPECT_EQ(q->GetErrorText().str(), SystemMessage(c.code)) << c.call;
    }
    EXPECT_EQ(q_->GetRowIndex(), 1);

    // Closing during an unsaved edit is refused and keeps the edit.
    ASSERT_EQ(q_->AddNew(), 1);
    int id = 6;
    ASSERT_EQ(q_->SetFieldInt("ID", id), 1);
    EXPECT_EQ(q_->CloseRecordset(), 0);
    EXPECT_EQ(q_->GetErrorText().str(), SystemMessage(ADO_ERROR(3219)));
    EXPECT_EQ(q_->IsRecordsetOpen(), 1);
    EXPECT_EQ(q_->GetRowIndex(), 1);
    ASSERT_EQ(q_->Update(), 1) << q_->GetErrorText().str();
    EXPECT_EQ(q_->CloseRecordset(), 1);
    ASSERT_EQ(q_->OpenRecordset("select * from t", 0, 3, 3, 1), 1);
    EXPECT_EQ(q_->GetRecordCount(), 6);
}

// GetChunk may return fewer bytes than asked for: only those are copied.
TEST_F(QuilletSqlite, ChunkReadsCopyOnlyWhatWasReturned) {
    OpenAt(1);
    unsigned char storage[16];
    std::memset(storage, 0xEE, sizeof storage);
    unsigned char* buffer = storage;
    long length = 16;
    EXPECT_EQ(q_->GetFieldChunk("B", buffer, length), 1);
    const unsigned char expected[4] = {1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(storage, expected, 4), 0);
    for (int i = 4; i < 16; ++i) EXPECT_EQ(storage[i], 0xEE) << i;
    EXPECT_EQ(q_->GetRowIndex(), 0);
    // The next read starts from the beginning again.
    EXPECT_EQ(q_->GetFieldChunkAt(4, buffer, length), 1);
    EXPECT_EQ(std::memcmp(storage, expected, 4), 0);

    unsigned char* none = nullptr;
    EXPECT_EQ(q_->GetFieldChunk("B", none, length), 0);
    long zero = 0;
    EXPECT_EQ(q_->GetFieldChunk("B", buffer, zero), 0);
    EXPECT_EQ(q_->SetFieldChunk("B", nullptr, 4), 0);
    EXPECT_EQ(q_->SetFieldChunk("B", expected, 0), 0);
    ASSERT_EQ(q_->MoveNext(), 1);
    std::memset(storage, 0xEE, sizeof storage);
    EXPECT_EQ(q_->GetFieldChunk("B", buffer, length), 0);  // NULL: nothing copied
    EXPECT_EQ(storage[0], 0xEE);
    EXPECT_EQ(q_->GetRowIndex(), 1);
}

TEST_F(QuilletSqlite, RecordsetReplacementAndFailedOpens) {
    ASSERT_EQ(q_->OpenRecordset("select * from t", 0, 3, 3, 1), 1);
    EXPECT_EQ(q_->OpenRecordset("", 0, 3, 3, 1), 0);
    EXPECT_STREQ(q_->GetErrorText(), "No SQL");
    EXPECT_EQ(q_->IsRecordsetOpen(), 1);
    EXPECT_EQ(q_->GetRowIndex(), -1);

    EXPECT_EQ(q_->OpenRecordset("select * from [no_such_table] where D = #2010-01-01#", 1, 3, 3, 1), 0);
    EXPECT_STREQ(q_->GetLastSql(), "select * from [no_such_table] where D = '2010-01-01'");
    EXPECT_EQ(q_->IsRecordsetOpen(), 0);
    EXPECT_FALSE(q_->GetErrorText().IsEmpty());

    EXPECT_EQ(q_->ExecuteSql("UPDATE t SET NAME = 'z' WHERE ID = 5", 1), 1);
    EXPECT_EQ(q_->IsRecordsetOpen(), 0);
    EXPECT_STREQ(q_->GetLastSql(), "UPDATE t SET NAME = 'z' WHERE ID = 5");
    EXPECT_EQ(q_->ExecuteSql("NOT SQL AT ALL", 1), 0);
    EXPECT_FALSE(q_->GetErrorText().IsEmpty());
}

TEST_F(QuilletSqlite, ConnectionAdoptionAndReopening) {
    ASSERT_EQ(q_->IsDatabaseOpen(), 1);
    EXPECT_EQ(q_->CloseDatabase(), 1);
    EXPECT_EQ(q_->IsDatabaseOpen(), 0);
    EXPECT_EQ(q_->ExecuteSql("select 1", 1), 1);  // the gate reopens from the unconnected state
    EXPECT_EQ(q_->IsDatabaseOpen(), 1);

    _ConnectionPtr lent = q_->GetConnection();
    ASSERT_NE(lent, nullptr);
    q_->SetConnection(lent);  // closes it first, then adopts the closed object
    EXPECT_EQ(q_->IsDatabaseOpen(), 0);
    EXPECT_EQ(q_->ExecuteSql("select 1", 1), 0);
    EXPECT_STREQ(q_->GetErrorText(), "Database Is not open");
    EXPECT_EQ(q_->OpenDatabase(), 1);

    auto other = Make();
    other->SetConnection(q_->GetConnection());
    EXPECT_EQ(other->IsDatabaseOpen(), 1);
    EXPECT_EQ(other->GetDatabaseKind(), DB_OTHER);
    other->SetConnection(nullptr);
    EXPECT_EQ(other->IsDatabaseOpen(), 0);
}

TEST_F(QuilletSqlite, QueryCompositionOnTheDatabase) {
    auto columns = List({"ID", "NAME"});
    ASSERT_EQ(q_->OpenQuery("t", columns.get(), "NAME", "Item #5", "Item #5", "varchar", "ID", "", 0), 1)
        << q_->GetErrorText().str();
    EXPECT_EQ(q_->GetRecordCount(), 1);
    ASSERT_EQ(q_->OpenQuery("t", nullptr, "NAME", "it's", "", "varchar", "", "", 0), 1) << q_->GetErrorText().str();
    ASSERT_EQ(q_->OpenQuery("t", nullptr, "D", "2010-02-27 00:00:00", "", "datetime", "ID", "desc", 1), 1)
        << q_->GetErrorText().str();
    EXPECT_EQ(q_->GetRecordCount(), 1);
    int id = 0;
    EXPECT_EQ(q_->GetFieldIntAt(0, id), 1);
    EXPECT_EQ(id, 5);
}

}  // namespace
