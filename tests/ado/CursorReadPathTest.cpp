// The walk's quick ways of reading a field must answer exactly as the general ones: a
// field found by name whatever order the names come in (duplicate names, case, missing
// names, ordinals in between), and a value read from a row in a walk the same VARIANT
// as the same value read while an edit of that row is pending.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>

#include "TestDatabases.h"

namespace {

constexpr HRESULT kItemNotFound = static_cast<HRESULT>(0x800A0CC1);

_ConnectionPtr OpenFile(const std::string& file) {
    _ConnectionPtr connection;
    EXPECT_EQ(S_OK, connection.CreateInstance("ADODB.Connection"));
    connection->Open(_bstr_t(testdb::ConnectionString(testdb::Target::SqliteNative, file).c_str()), _bstr_t(""),
                     _bstr_t(""), adConnectUnspecified);
    return connection;
}

_RecordsetPtr OpenRows(const _ConnectionPtr& connection, const char* sql, LockTypeEnum lock) {
    _RecordsetPtr rows;
    EXPECT_EQ(S_OK, rows.CreateInstance("ADODB.Recordset"));
    rows->PutCursorLocation(adUseClient);
    rows->Open(_variant_t(sql), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic, lock, adCmdText);
    return rows;
}

// What one lookup answers: the value of the field found, or the failure's HRESULT.
std::string Lookup(const _RecordsetPtr& rows, const _variant_t& index) {
    try {
        _variant_t value = rows->GetCollect(index);
        if (value.vt == VT_NULL) return "null";
        return std::to_string(static_cast<long>(value));
    } catch (const _com_error& error) {
        return error.Error() == kItemNotFound ? "3265" : "failed";
    }
}

// Each row of the table holds field values 10*row + field number (1-based), so a name
// found at the wrong field gives a wrong number. "Name" and "name" are the same name:
// every lookup of it must find the first of them.
TEST(CursorReadPath, FieldsByNameInAnyOrder) {
    const std::string file = testdb::TempSqliteFile("cursor_field_lookup");
    {
        _ConnectionPtr connection = OpenFile(file);
        connection->Execute(_bstr_t("CREATE TABLE t (r INTEGER)"), nullptr, adCmdText);
        connection->Execute(_bstr_t("INSERT INTO t VALUES (1), (2), (3)"), nullptr, adCmdText);
        _RecordsetPtr rows = OpenRows(connection,
                                      "SELECT 10*r+1 AS id, 10*r+2 AS Name, 10*r+3 AS name, 10*r+4 AS amount, "
                                      "10*r+5 AS \"größe\", 10*r+6 AS \"\", 10*r+7 AS longer_name FROM t ORDER BY r",
                                      adLockReadOnly);
        struct Step {
            _variant_t index;
            int field;  // 1-based field whose value is expected; 0: not found
        };
        struct Case {
            const char* what;
            std::vector<Step> steps;
        };
        const std::vector<Case> cases = {
            {"the same order every row", {{"id", 1}, {"amount", 4}, {"longer_name", 7}}},
            {"the reverse order", {{"longer_name", 7}, {"amount", 4}, {"id", 1}}},
            {"one name again and again", {{"amount", 4}, {"amount", 4}, {"amount", 4}}},
            {"a duplicate name after the field before its twin", {{"id", 1}, {"name", 2}, {"NAME", 2}, {"Name", 2}}},
            {"a duplicate name after its second twin", {{"name", 2}, {"amount", 4}, {"name", 2}}},
            {"case differs past the fourth unit", {{"id", 1}, {"LONGER_NAME", 7}, {"longer_NamE", 7}}},
            {"non-ASCII letters are not folded", {{"GRÖSSE", 0}, {"größe", 5}, {"GRÖßE", 0}, {"Größe", 5}}},
            {"the empty name", {{"", 6}, {"longer_name", 7}, {"", 6}}},
            {"a prefix or an extension of a name", {{"i", 0}, {"idx", 0}, {"amoun", 0}, {"amount ", 0}}},
            {"a missing name between found ones", {{"id", 1}, {"nothing", 0}, {"name", 2}, {"amount", 4}}},
            {"ordinals between names", {{"id", 1}, {_variant_t(3L), 4}, {"amount", 4}, {_variant_t(short(6)), 7}}},
            {"an ordinal past the end", {{"longer_name", 7}, {_variant_t(7L), 0}, {"id", 1}}},
        };
        for (const Case& c : cases) {
            rows->MoveFirst();
            for (long row = 1; rows->GetadoEOF() != VARIANT_TRUE; rows->MoveNext(), ++row) {
                for (std::size_t s = 0; s < c.steps.size(); ++s) {
                    const Step& step = c.steps[s];
                    const std::string expected = step.field ? std::to_string(10 * row + step.field) : "3265";
                    EXPECT_EQ(Lookup(rows, step.index), expected) << c.what << ", row " << row << ", step " << s;
                }
            }
        }
        rows->Close();
        connection->Close();
    }
    std::filesystem::remove(file);
}

// Two VARIANTs hold the same type and the same value (texts compared unit by unit).
void ExpectSameVariant(const VARIANT& walk, const VARIANT& edit, const std::string& what) {
    ASSERT_EQ(walk.vt, edit.vt) << what;
    switch (walk.vt) {
        case VT_NULL: case VT_EMPTY: break;
        case VT_I4: EXPECT_EQ(walk.lVal, edit.lVal) << what; break;
        case VT_I8: EXPECT_EQ(walk.llVal, edit.llVal) << what; break;
        case VT_R8: EXPECT_EQ(std::memcmp(&walk.dblVal, &edit.dblVal, 8), 0) << what; break;
        case VT_DATE: EXPECT_EQ(std::memcmp(&walk.date, &edit.date, 8), 0) << what; break;
        case VT_BOOL: EXPECT_EQ(walk.boolVal, edit.boolVal) << what; break;
        case VT_BSTR:
            ASSERT_EQ(SysStringLen(walk.bstrVal), SysStringLen(edit.bstrVal)) << what;
            EXPECT_EQ(std::memcmp(walk.bstrVal, edit.bstrVal, SysStringLen(walk.bstrVal) * 2), 0) << what;
            break;
        default: {
            _variant_t a(walk), b(edit);
            EXPECT_EQ(a, b) << what;
        }
    }
}

// Every declared type with the values SQLite's dynamic typing lets in: edges of 32 bits
// in a 32-bit column, doubles and texts where integers are declared, dates that are not
// dates, NULLs. Read in a walk (no edit) and again while another field's new value is
// pending, both reads must give the same VARIANT.
TEST(CursorReadPath, WalkValuesAreThoseOfAnEdit) {
    struct Column {
        const char* declared;
        std::vector<const char*> values;  // SQL literals
    };
    const std::vector<Column> columns = {
        {"INTEGER", {"0", "2147483647", "2147483648", "-2147483648", "-2147483649", "9223372036854775807", "1.5",
                     "'text'", "NULL"}},
        {"BIGINT", {"0", "-1", "9223372036854775807", "2.25", "'12'", "NULL"}},
        {"SMALLINT", {"32767", "40000", "-1", "NULL"}},
        {"DOUBLE", {"0.0", "-0.0", "1e308", "4", "'x'", "NULL"}},
        {"REAL", {"1.25", "3", "NULL"}},
        {"DATETIME", {"'2005-03-07 12:05:09'", "'1899-12-29 23:59:59'", "'2005-02-30 10:00:00'", "'not a date'",
                      "'2005-03-07T12:05:09'", "37000.5", "12", "NULL"}},
        {"BOOLEAN", {"0", "1", "7", "'yes'", "NULL"}},
        {"VARCHAR(20)", {"'plain'", "''", "'größe'", "42", "NULL"}},
        {"BLOB", {"x'00ff'", "'text'", "NULL"}},
    };
    const std::string file = testdb::TempSqliteFile("cursor_read_path");
    {
        _ConnectionPtr connection = OpenFile(file);
        std::string create = "CREATE TABLE t (id INTEGER PRIMARY KEY, spare INTEGER";
        for (std::size_t c = 0; c < columns.size(); ++c)
            create += ", c" + std::to_string(c) + " " + columns[c].declared;
        connection->Execute(_bstr_t((create + ")").c_str()), nullptr, adCmdText);
        std::size_t rowCount = 0;
        for (const Column& column : columns) rowCount = std::max(rowCount, column.values.size());
        for (std::size_t r = 0; r < rowCount; ++r) {
            std::string insert = "INSERT INTO t VALUES (" + std::to_string(r + 1) + ", 0";
            for (const Column& column : columns)
                insert += std::string(", ") + column.values[r % column.values.size()];
            connection->Execute(_bstr_t((insert + ")").c_str()), nullptr, adCmdText);
        }
        _RecordsetPtr rows = OpenRows(connection, "SELECT * FROM t ORDER BY id", adLockOptimistic);
        const long fields = rows->GetFields()->GetCount();
        std::size_t row = 0;
        for (; rows->GetadoEOF() != VARIANT_TRUE; rows->MoveNext(), ++row) {
            std::vector<_variant_t> walk;
            for (long f = 0; f < fields; ++f) walk.push_back(rows->GetCollect(_variant_t(f)));
            rows->PutCollect(_variant_t("spare"), _variant_t(1L));
            ASSERT_EQ(rows->GetEditMode(), adEditInProgress);
            for (long f = 2; f < fields; ++f) {
                const Column& column = columns[static_cast<std::size_t>(f - 2)];
                const std::string what =
                    std::string(column.declared) + " holding " + column.values[row % column.values.size()];
                ExpectSameVariant(walk[static_cast<std::size_t>(f)], rows->GetCollect(_variant_t(f)), what);
            }
            rows->CancelUpdate();
        }
        EXPECT_EQ(row, rowCount);
        rows->Close();
        connection->Close();
    }
    std::filesystem::remove(file);
}

}  // namespace
