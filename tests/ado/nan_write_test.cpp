// A NaN written through a recordset: an engine that stores it keeps it and the row stays
// editable; an engine that cannot store it refuses it before anything is written, instead
// of storing NULL and losing the row for the next edit.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using testdb::Target;

struct NanCase {
    Target target;
    bool stored;  // the engine stores NaN (else the write is refused, nothing written)
    bool refusedByUs;  // refused before reaching the engine (else the server refuses it)
};

class NanWrite : public ::testing::TestWithParam<NanCase> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("nan_write");
        const std::string connectionString = testdb::ConnectionString(GetParam().target, file_);
        TESTDB_REQUIRE(connectionString, GetParam().target);
        ASSERT_EQ(S_OK, connection_.CreateInstance("ADODB.Connection"));
        connection_->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        table_ = testdb::UniqueName("nan_w");
        const char* real = GetParam().target == Target::PostgresNative || GetParam().target == Target::PostgresOdbc
                               ? "DOUBLE PRECISION"
                               : "DOUBLE";
        Execute("CREATE TABLE " + table_ + " (id INTEGER PRIMARY KEY, w " + real + ", note VARCHAR(20))");
        Execute("INSERT INTO " + table_ + " VALUES (1, 2.5, 'one')");
    }
    void TearDown() override {
        if (connection_) {
            Execute("DROP TABLE " + table_);
            connection_->Close();
        }
        std::filesystem::remove(file_);
    }
    void Execute(const std::string& sql) {
        connection_->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    }
    _RecordsetPtr Open(const std::string& sql) {
        _RecordsetPtr recordset;
        EXPECT_EQ(S_OK, recordset.CreateInstance("ADODB.Recordset"));
        recordset->Open(_variant_t(sql.c_str()), _variant_t(static_cast<IDispatch*>(connection_)), adOpenStatic,
                        adLockOptimistic, adCmdText);
        return recordset;
    }
    // "id|w|note" of every row, NaN shown as "nan" and NULL as "NULL", in id order.
    std::string Stored() {
        _RecordsetPtr rows = Open("select id, w, note from " + table_ + " order by id");
        std::string text;
        while (!rows->GetadoEOF()) {
            _variant_t w = rows->GetCollect(_variant_t("w"));
            std::string shown = w.vt == VT_NULL                    ? "NULL"
                                : std::isnan(static_cast<double>(w)) ? "nan"
                                                                      : std::to_string(static_cast<double>(w));
            text += std::to_string(static_cast<long>(rows->GetCollect(_variant_t("id")))) + "|" + shown + "|" +
                    static_cast<const char*>(_bstr_t(rows->GetCollect(_variant_t("note")))) + ";";
            rows->MoveNext();
        }
        return text;
    }

    std::string file_;
    std::string table_;
    _ConnectionPtr connection_;
};

TEST_P(NanWrite, IsStoredOrRefusedBeforeWriting) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    _RecordsetPtr rs = Open("select id, w, note from " + table_);

    // An edit of the existing row.
    rs->PutCollect(_variant_t("w"), _variant_t(nan));
    testcom::Failure update = testcom::FailureOf([&] { rs->Update(); });
    if (GetParam().stored) {
        EXPECT_EQ(S_OK, update.hr) << update.description;
    } else {
        EXPECT_EQ(DB_E_CANTCONVERTVALUE, update.hr);
        if (GetParam().refusedByUs) {
            EXPECT_NE(std::string::npos, update.description.find("NaN cannot be stored in column w"))
                << update.description;
        }
        rs->CancelUpdate();
    }
    // The next edit of the same row finds it.
    rs->PutCollect(_variant_t("note"), _variant_t("edited"));
    testcom::Failure next = testcom::FailureOf([&] { rs->Update(); });
    EXPECT_EQ(S_OK, next.hr) << next.description;

    // A new row.
    rs->AddNew();
    rs->PutCollect(_variant_t("id"), _variant_t(2L));
    rs->PutCollect(_variant_t("w"), _variant_t(nan));
    rs->PutCollect(_variant_t("note"), _variant_t("two"));
    testcom::Failure insert = testcom::FailureOf([&] { rs->Update(); });
    if (GetParam().stored) {
        EXPECT_EQ(S_OK, insert.hr) << insert.description;
        EXPECT_EQ("1|nan|edited;2|nan|two;", Stored());
    } else {
        EXPECT_EQ(DB_E_CANTCONVERTVALUE, insert.hr);
        rs->CancelUpdate();
        EXPECT_EQ("1|2.500000|edited;", Stored());
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, NanWrite,
                         ::testing::Values(NanCase{Target::SqliteNative, false, true},
                                           NanCase{Target::SqliteOdbc, false, true},
                                           NanCase{Target::PostgresNative, true, false},
                                           NanCase{Target::PostgresOdbc, true, false},
                                           NanCase{Target::MariaOdbc, false, false}),
                         [](const ::testing::TestParamInfo<NanCase>& info) {
                             return std::string(testdb::TargetName(info.param.target));
                         });

}  // namespace
