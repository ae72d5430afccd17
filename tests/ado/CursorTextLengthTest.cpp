// Texts of every size a cursor keeps: the stored length grows a byte at each power of
// 128, and rows after long texts must still read back whole, forwards and backwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>

#include "TestDatabases.h"

namespace {

// The text of row `id` with `length` characters: its last character tells the rows apart.
std::string ExpectedText(long id, long length) {
    if (length == 0) return std::string();
    std::string text(static_cast<std::size_t>(length), 'x');
    text.back() = static_cast<char>('a' + id % 26);
    return text;
}

TEST(CursorTextLength, EverySizeReadsBackWhole) {
    const std::vector<long> edges = {0, 1, 126, 127, 128, 129, 16383, 16384, 16385, 2097151, 2097152, 3000000};
    std::vector<long> lengths = edges;
    // Enough short rows after the long ones that more blocks of rows follow unaligned texts.
    for (long i = 0; i < 3000; ++i) lengths.push_back(i % 300);

    const std::string file = testdb::TempSqliteFile("cursor_text_length");
    {
        _ConnectionPtr connection;
        ASSERT_EQ(S_OK, connection.CreateInstance("ADODB.Connection"));
        connection->Open(_bstr_t(testdb::ConnectionString(testdb::Target::SqliteNative, file).c_str()), _bstr_t(""),
                         _bstr_t(""), adConnectUnspecified);
        connection->Execute(_bstr_t("CREATE TABLE t (id INTEGER PRIMARY KEY, note TEXT, amount DOUBLE)"), nullptr,
                            adCmdText);
        connection->BeginTrans();
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            const long id = static_cast<long>(i) + 1;
            const std::string text = ExpectedText(id, lengths[i]);
            const std::string sql = "INSERT INTO t VALUES (" + std::to_string(id) + ", substr(replace(hex(zeroblob(" +
                                    std::to_string(lengths[i]) + ")), '0', 'x'), 1, " +
                                    std::to_string(lengths[i] ? lengths[i] - 1 : 0) + ") || '" +
                                    (text.empty() ? "" : text.substr(text.size() - 1)) + "', " + std::to_string(id) +
                                    ".5)";
            connection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
        }
        connection->CommitTrans();

        _RecordsetPtr rows;
        ASSERT_EQ(S_OK, rows.CreateInstance("ADODB.Recordset"));
        rows->PutCursorLocation(adUseClient);
        rows->Open(_variant_t("SELECT id, note, amount FROM t ORDER BY id"),
                   _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic, adLockReadOnly, adCmdText);
        auto check = [&](long id) {
            const std::string expected = ExpectedText(id, lengths[static_cast<std::size_t>(id - 1)]);
            _variant_t note = rows->GetCollect(_variant_t("note"));
            ASSERT_EQ(note.vt, VT_BSTR) << "row " << id;
            ASSERT_EQ(SysStringLen(note.bstrVal), expected.size()) << "row " << id;
            if (!expected.empty()) {
                EXPECT_EQ(note.bstrVal[0], static_cast<wchar_t>(expected.front())) << "row " << id;
                EXPECT_EQ(note.bstrVal[expected.size() - 1], static_cast<wchar_t>(expected.back())) << "row " << id;
            }
            EXPECT_EQ(static_cast<double>(rows->GetCollect(_variant_t("amount"))), id + 0.5) << "row " << id;
        };
        long id = 0;
        for (; rows->GetadoEOF() != VARIANT_TRUE; rows->MoveNext()) {
            ++id;
            ASSERT_EQ(static_cast<long>(rows->GetCollect(_variant_t("id"))), id);
            check(id);
        }
        ASSERT_EQ(id, static_cast<long>(lengths.size()));
        for (rows->MoveLast(); rows->GetBOF() != VARIANT_TRUE; rows->MovePrevious()) {
            ASSERT_EQ(static_cast<long>(rows->GetCollect(_variant_t("id"))), id);
            check(id--);
        }
        EXPECT_EQ(id, 0);
        rows->Close();
        connection->Close();
    }
    std::filesystem::remove(file);
}

}  // namespace
