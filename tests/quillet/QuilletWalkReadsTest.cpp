// A walk's reads (the same fields on row after row, where the library remembers the fields
// and takes values where the recordset keeps them) against reads that each start on a
// freshly opened recordset: every getter, by name in any case and by position, on numbers,
// texts (non-ASCII, malformed, with a NUL), dates in a daylight-saving gap and repeated
// hour, NULLs, values a getter cannot convert, and keys that name no field, must give the
// same result, value and error text.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace quillettest;

namespace {

const char* kQuery = "select ID, BIG, F, T, D, B, BL, N from r order by ID";

struct Key {
    const char* name;  // by name when `byName`
    long index;
    bool byName;
};

// One typed getter, its result, value and the object's error text, as one line.
using Getter = std::function<std::string(IQuillet&, const Key&)>;

template <class Value, class ByName, class ByIndex, class Show>
Getter MakeGetter(ByName byName, ByIndex byIndex, Show show) {
    return [=](IQuillet& q, const Key& key) {
        Value value{};
        int result = key.byName ? (q.*byName)(key.name, value) : (q.*byIndex)(key.index, value);
        return std::to_string(result) + " [" + show(value) + "] " + q.GetErrorText().str();
    };
}

std::string ShowVariant(const VARIANT& v) {
    char text[64];
    switch (v.vt) {
        case VT_I4: std::snprintf(text, sizeof text, "I4 %d", v.lVal); return text;
        case VT_I8: std::snprintf(text, sizeof text, "I8 %lld", static_cast<long long>(v.llVal)); return text;
        case VT_R8: std::snprintf(text, sizeof text, "R8 %.17g", v.dblVal); return text;
        case VT_DATE: std::snprintf(text, sizeof text, "DATE %.17g", v.date); return text;
        case VT_BOOL: std::snprintf(text, sizeof text, "BOOL %d", v.boolVal); return text;
        case VT_BSTR: return "BSTR " + CString(static_cast<const OLECHAR*>(v.bstrVal)).str();
        default: std::snprintf(text, sizeof text, "vt %d", v.vt); return text;
    }
}

std::vector<std::pair<std::string, Getter>> AllGetters() {
    auto number = [](auto v) { return std::to_string(v); };
    return {
        {"Long", MakeGetter<long>(&IQuillet::GetFieldLong, &IQuillet::GetFieldLongAt, number)},
        {"Int", MakeGetter<int>(&IQuillet::GetFieldInt, &IQuillet::GetFieldIntAt, number)},
        {"Short", MakeGetter<short>(&IQuillet::GetFieldShort, &IQuillet::GetFieldShortAt, number)},
        {"Char", MakeGetter<char>(&IQuillet::GetFieldChar, &IQuillet::GetFieldCharAt, [](char v) { return std::to_string(int(v)); })},
        {"Double", MakeGetter<double>(&IQuillet::GetFieldDouble, &IQuillet::GetFieldDoubleAt, number)},
        {"Float", MakeGetter<float>(&IQuillet::GetFieldFloat, &IQuillet::GetFieldFloatAt, number)},
        {"Bool", MakeGetter<bool>(&IQuillet::GetFieldBool, &IQuillet::GetFieldBoolAt, number)},
        {"String", MakeGetter<CString>(&IQuillet::GetFieldString, &IQuillet::GetFieldStringAt,
                                       [](const CString& v) { return v.str() + " (" + std::to_string(v.GetLength()) + ")"; })},
        {"Time", MakeGetter<CTime>(&IQuillet::GetFieldTime, &IQuillet::GetFieldTimeAt,
                                   [](const CTime& v) { return std::to_string(static_cast<long long>(v.GetTime())); })},
        {"Value", [](IQuillet& q, const Key& key) {
             VARIANT value;
             VariantInit(&value);
             int result = key.byName ? q.GetFieldValue(key.name, value) : q.GetFieldValueAt(key.index, value);
             std::string line = std::to_string(result) + " [" + ShowVariant(value) + "] " + q.GetErrorText().str();
             VariantClear(&value);
             return line;
         }},
    };
}

std::vector<Key> AllKeys() {
    return {
        {"ID", 0, true},  {"big", 0, true}, {"f", 0, true},   {"T", 0, true},     {"d", 0, true},
        {"B", 0, true},   {"Bl", 0, true},  {"n", 0, true},   {"nope", 0, true},  {"", 0, true},
        {"T ", 0, true},  {nullptr, 0, true},
        {nullptr, 0, false}, {nullptr, 1, false}, {nullptr, 2, false}, {nullptr, 3, false}, {nullptr, 4, false},
        {nullptr, 5, false}, {nullptr, 6, false}, {nullptr, 7, false}, {nullptr, -1, false}, {nullptr, 8, false},
        {nullptr, (1L << 32) + 3, false},
    };
}

class QuilletWalkReads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "TZDATA IS NOT INSTALLED";
        const char* previous = std::getenv("TZ");
        hadZone_ = previous != nullptr;
        if (hadZone_) previousZone_ = previous;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        file_ = testdb::TempSqliteFile("quillet_walk_reads");
        QuilletPtr q = Make(SqliteConnection(file_));
        ASSERT_EQ(q->ExecuteSql("CREATE TABLE r (ID INTEGER PRIMARY KEY, BIG BIGINT, F DOUBLE, T VARCHAR(40), "
                                "D DATETIME, B BOOLEAN, BL BLOB, N NUMERIC)", 1), 1) << q->GetErrorText().str();
        const char* rows[] = {
            "INSERT INTO r VALUES (1, 5000000000, 2.5, 'plain text', '2024-03-31 02:30:00', 1, X'0102', 12.5)",
            "INSERT INTO r VALUES (2, -7, -1e300, 'caf\xC3\xA9 \xE9\xAB\x98\xE7\x82\x89', '2024-10-27 02:30:00', 0, NULL, 3)",
            "INSERT INTO r VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
            "INSERT INTO r VALUES (4, 42, 1e10, CAST(X'61C328FF62' AS TEXT), '1969-07-20 20:17:40', 1, X'', -0.5)",
            "INSERT INTO r VALUES (5, 0, 0.1, CAST(X'6E756C00616674' AS TEXT), '2040-01-01 00:00:00', 0, NULL, 0)",
            "INSERT INTO r VALUES (6, 123, 'text in a number', '17.25', 'not a date', 'yes', 'x', 'n')",
            "INSERT INTO r VALUES (7, 2, 3.5, '', '2024-07-01 12:00:00', 1, NULL, 99999999999)",
            "INSERT INTO r VALUES (8, 32768, 128.5, '2024-10-27 02:45:00', '1899-12-30 00:00:00', 1, NULL, 1)",
        };
        for (const char* row : rows) ASSERT_EQ(q->ExecuteSql(row, 1), 1) << q->GetErrorText().str();
    }
    void TearDown() override {
        if (hadZone_) setenv("TZ", previousZone_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
        if (!file_.empty()) std::remove(file_.c_str());
    }

    std::string file_;
    bool hadZone_ = false;
    std::string previousZone_;
};

TEST_F(QuilletWalkReads, EveryGetterReadsAsOnAFreshRecordset) {
    const auto getters = AllGetters();
    const auto keys = AllKeys();
    QuilletPtr walker = Make(SqliteConnection(file_));
    QuilletPtr fresh = Make(SqliteConnection(file_));
    ASSERT_EQ(walker->OpenRecordset(kQuery, 0, 3, 1, 1), 1) << walker->GetErrorText().str();
    long row = 0, compared = 0;
    for (; !walker->IsEOF(); ++row, walker->MoveNext()) {
        for (const auto& [getterName, getter] : getters) {
            for (const Key& key : keys) {
                // The reference: a recordset opened for this one read, so nothing of the walk is known.
                ASSERT_EQ(fresh->OpenRecordset(kQuery, 0, 3, 1, 1), 1);
                for (long r = 0; r < row; ++r) ASSERT_EQ(fresh->MoveNext(), 1);
                std::string expected = getter(*fresh, key);
                std::string actual = getter(*walker, key);
                ++compared;
                EXPECT_EQ(actual, expected) << "row " << row + 1 << " Get" << getterName << " "
                                            << (key.byName ? (key.name ? key.name : "(null name)")
                                                           : "#" + std::to_string(key.index));
            }
        }
    }
    EXPECT_EQ(row, 8);
    EXPECT_EQ(compared, 8L * static_cast<long>(getters.size() * keys.size()));
}

// The host may reopen the recordset it got from GetRecordset on other columns: the fields
// the walk remembered belong to the old result and must not be read.
TEST_F(QuilletWalkReads, ARecordsetReopenedInPlaceIsReadAfresh) {
    QuilletPtr q = Make(SqliteConnection(file_));
    ASSERT_EQ(q->OpenRecordset(kQuery, 0, 3, 1, 1), 1);
    CString text;
    long id = 0;
    for (int i = 0; i < 3; ++i) {  // enough reads for the fields to be remembered
        ASSERT_EQ(q->GetFieldString("T", text), 1);
        ASSERT_EQ(q->GetFieldLongAt(0, id), 1);
    }
    EXPECT_EQ(text.str(), "plain text");
    EXPECT_EQ(id, 1);
    _RecordsetPtr recordset = q->GetRecordset();
    ASSERT_EQ(recordset->Close(), S_OK);
    // Closed under the object's feet: every read is refused without a text, as on any
    // closed recordset.
    const std::string errorBefore = q->GetErrorText().str();
    text = "untouched";
    EXPECT_EQ(q->GetFieldString("T", text), 0);
    EXPECT_EQ(q->GetFieldStringAt(3, text), 0);
    EXPECT_EQ(text.str(), "untouched");
    EXPECT_EQ(q->GetFieldLongAt(0, id), 0);
    EXPECT_EQ(q->GetFieldLong("ID", id), 0);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(q->GetErrorText().str(), errorBefore);
    recordset->Open(_variant_t("select T as ID, ID as T, F from r where ID = 2"),
                    _variant_t(static_cast<IDispatch*>(q->GetConnection().GetInterfacePtr())), adOpenStatic,
                    adLockReadOnly, adCmdText);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(q->GetFieldString("T", text), 1) << q->GetErrorText().str();
        EXPECT_EQ(text.str(), "2");
        ASSERT_EQ(q->GetFieldStringAt(0, text), 1) << q->GetErrorText().str();
        EXPECT_EQ(text.str(), "caf\xC3\xA9 \xE9\xAB\x98\xE7\x82\x89");
        double f = 0;
        EXPECT_EQ(q->GetFieldDouble("F", f), 1);
        EXPECT_EQ(f, -1e300);
        EXPECT_EQ(q->GetFieldDouble("BIG", f), 0) << "a column of the old result";
        EXPECT_EQ(q->GetErrorText().str(), SystemMessage(0x800A0CC1));
    }
}

// During an edit a field shows the value being written, not the stored one; a deleted
// row has no values.
TEST_F(QuilletWalkReads, EditsAndDeletedRowsAreReadAsTheCursorShowsThem) {
    QuilletPtr q = Make(SqliteConnection(file_));
    ASSERT_EQ(q->OpenRecordset("select ID, T from r order by ID", 0, 3, 3, 1), 1);
    CString text;
    for (int i = 0; i < 4; ++i) ASSERT_EQ(q->GetFieldString("T", text), 1);
    ASSERT_EQ(q->SetFieldString("T", CString("changed")), 1);
    ASSERT_EQ(q->GetFieldString("T", text), 1);
    EXPECT_EQ(text.str(), "changed");
    ASSERT_EQ(q->GetFieldStringAt(1, text), 1);
    EXPECT_EQ(text.str(), "changed");
    ASSERT_EQ(q->Update(), 1) << q->GetErrorText().str();
    ASSERT_EQ(q->GetFieldString("t", text), 1);
    EXPECT_EQ(text.str(), "changed");

    ASSERT_EQ(q->AddNew(), 1);
    ASSERT_EQ(q->GetFieldString("T", text), 1);
    EXPECT_EQ(text.str(), "");
    ASSERT_EQ(q->SetFieldLong("ID", 100), 1);
    ASSERT_EQ(q->SetFieldString("T", CString("new row")), 1);
    ASSERT_EQ(q->GetFieldString("T", text), 1);
    EXPECT_EQ(text.str(), "new row");
    ASSERT_EQ(q->Update(), 1) << q->GetErrorText().str();

    ASSERT_EQ(q->MoveFirst(), 1);
    ASSERT_EQ(q->Delete(1), 1) << q->GetErrorText().str();
    text = "untouched";
    EXPECT_EQ(q->GetFieldString("T", text), 0);
    EXPECT_EQ(text.str(), "untouched");
    EXPECT_EQ(q->GetErrorText().str(), SystemMessage(0x80040E23));
    ASSERT_EQ(q->MoveNext(), 1);
    ASSERT_EQ(q->GetFieldString("T", text), 1);
    EXPECT_EQ(text.str(), "caf\xC3\xA9 \xE9\xAB\x98\xE7\x82\x89");
}

}  // namespace
