// The rows a static cursor holds, at every width and around every point where its store
// grows (the first block of rows starts small and doubles; later blocks are full-sized):
// every value read back is the one the engine gave, after rows were appended by AddNew too.
#include <gtest/gtest.h>

#include <string>

#include <dbplatform/dbplatform.h>

#include "TestDatabases.h"

namespace {

// The value of column `column` in row `row`: a number, or a text every third column.
std::string Expected(long row, int column) {
    const long number = row * 1000 + column;
    return column % 3 == 2 ? "t" + std::to_string(number) : std::to_string(number);
}

std::string Read(const _RecordsetPtr& rows, int column) {
    _variant_t value = rows->GetCollect(_variant_t(static_cast<long>(column)));
    if (value.vt == VT_BSTR) return static_cast<const char*>(_bstr_t(value));
    return std::to_string(static_cast<long long>(static_cast<double>(value)));
}

TEST(CursorRowStore, EveryValueAtEveryWidthAndRowCount) {
    const std::string file = testdb::TempSqliteFile("cursor_row_store");
    _ConnectionPtr connection;
    ASSERT_EQ(S_OK, connection.CreateInstance("ADODB.Connection"));
    connection->Open(_bstr_t(testdb::ConnectionString(testdb::Target::SqliteNative, file).c_str()), _bstr_t(""),
                     _bstr_t(""), adConnectUnspecified);
    for (int width : {1, 4, 255, 600}) {
        std::string columns;
        std::string table = "CREATE TABLE t" + std::to_string(width) + " (";
        for (int c = 0; c < width; ++c) {
            const std::string name = "c" + std::to_string(c);
            columns += (c ? ", " : "") + (c % 3 == 2 ? "'t' || (i * 1000 + " + std::to_string(c) + ")"
                                                      : "i * 1000 + " + std::to_string(c)) + " AS " + name;
            table += (c ? ", " : "") + name + (c % 3 == 2 ? " TEXT" : " INTEGER");
        }
        connection->Execute(_bstr_t((table + ")").c_str()), nullptr, adCmdText);
        for (long count : {0L, 1L, 7L, 8L, 9L, 17L, 33L, 1023L, 1024L, 1025L, 2100L}) {
            if (width >= 255 && count > 1025) continue;
            const std::string sql = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                                    std::to_string(count) + ") SELECT " + columns + " FROM n WHERE i <= " +
                                    std::to_string(count);
            _RecordsetPtr rows;
            ASSERT_EQ(S_OK, rows.CreateInstance("ADODB.Recordset"));
            rows->PutCursorLocation(adUseClient);
            rows->Open(_variant_t(sql.c_str()), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic,
                       adLockReadOnly, adCmdText);
            ASSERT_EQ(count, rows->GetRecordCount()) << width << " columns";
            long row = 1;
            for (; !rows->GetadoEOF(); rows->MoveNext(), ++row)
                for (int c = 0; c < width; c += (width > 8 ? 37 : 1))
                    ASSERT_EQ(Expected(row, c), Read(rows, c)) << width << " columns, " << count << " rows, row " << row;
            EXPECT_EQ(count + 1, row);
        }
        // Rows appended by AddNew grow the store the same way.
        _RecordsetPtr rows;
        ASSERT_EQ(S_OK, rows.CreateInstance("ADODB.Recordset"));
        rows->PutCursorLocation(adUseClient);
        const std::string select = "SELECT * FROM t" + std::to_string(width);
        rows->Open(_variant_t(select.c_str()), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic,
                   adLockBatchOptimistic, adCmdText);
        const long added = width >= 255 ? 40 : 300;
        for (long row = 1; row <= added; ++row) {
            rows->AddNew();
            for (int c = 0; c < width; c += (width > 8 ? 37 : 1)) {
                const std::string value = Expected(row, c);
                rows->PutCollect(_variant_t(static_cast<long>(c)), _variant_t(value.c_str()));
            }
        }
        rows->MoveFirst();
        for (long row = 1; row <= added; ++row, rows->MoveNext())
            for (int c = 0; c < width; c += (width > 8 ? 37 : 1))
                ASSERT_EQ(Expected(row, c), Read(rows, c)) << width << " columns, added row " << row;
        rows->CancelBatch(adAffectAll);
    }
}

}  // namespace
