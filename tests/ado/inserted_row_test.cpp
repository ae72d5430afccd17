// A row added through a recordset shows what the database stored, each value in the field
// it belongs to, whatever the case and order the query names the columns in; the row can
// be edited again at once (its key or row identity was taken back into the right field).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "RecordsetSupport.h"
#include "TestDatabases.h"

namespace {

using testdb::Target;

class InsertedRow : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("inserted_row");
        const std::string connectionString = testdb::ConnectionString(GetParam(), file_);
        TESTDB_REQUIRE(connectionString, GetParam());
        ASSERT_EQ(S_OK, connection_.CreateInstance("ADODB.Connection"));
        connection_->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        table_ = testdb::UniqueName("inserted_row");
        Execute("CREATE TABLE " + table_ +
                " (id INTEGER PRIMARY KEY, name VARCHAR(20) DEFAULT 'filled in', note VARCHAR(20), w INTEGER DEFAULT 7)");
    }
    void TearDown() override {
        if (connection_) {
            Execute("DROP TABLE " + table_);
            connection_->Close();
        }
        std::filesystem::remove(file_);
    }
    void Execute(const std::string& sql) { connection_->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText); }
    _RecordsetPtr Open(const std::string& sql) { return testado::OpenEditable(connection_, sql); }
    // The fields of the current row by ordinal, "name=value" joined by ';', NULL as "NULL".
    static std::string Shown(const _RecordsetPtr& rs) {
        std::string text;
        for (long f = 0; f < rs->GetFields()->GetCount(); ++f) {
            FieldPtr field = rs->GetFields()->GetItem(_variant_t(f));
            _variant_t value = field->GetValue();
            std::string name = static_cast<const char*>(field->GetName());
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            text += name + "=" + (value.vt == VT_NULL ? std::string("NULL") : static_cast<const char*>(_bstr_t(value))) + ";";
        }
        return text;
    }

    std::string file_;
    std::string table_;
    _ConnectionPtr connection_;
};

TEST_P(InsertedRow, ShowsStoredValuesInTheirFieldsAndStaysEditable) {
    struct Case {
        const char* columns;
        const char* expected;  // after the insert, then after the edit of the note
        const char* edited;
    };
    const Case cases[] = {
        {"id, name, note, w", "id=1;name=filled in;note=first;w=7;", "id=1;name=filled in;note=edited;w=7;"},
        {"ID, NAME, NOTE, W", "id=2;name=filled in;note=first;w=7;", "id=2;name=filled in;note=edited;w=7;"},
        {"w, Note, nAme, Id", "w=7;note=first;name=filled in;id=3;", "w=7;note=edited;name=filled in;id=3;"},
        {"note, id", "note=first;id=4;", "note=edited;id=4;"},
    };
    long id = 0;
    for (const Case& c : cases) {
        ++id;
        _RecordsetPtr rs = Open(std::string("SELECT ") + c.columns + " FROM " + table_ + " WHERE id = 0");
        rs->AddNew();
        rs->PutCollect(_variant_t("id"), _variant_t(id));
        rs->PutCollect(_variant_t("note"), _variant_t("first"));
        testcom::Failure insert = testcom::FailureOf([&] { rs->Update(); });
        ASSERT_EQ(S_OK, insert.hr) << c.columns << ": " << insert.description;
        EXPECT_EQ(c.expected, Shown(rs)) << c.columns;
        rs->PutCollect(_variant_t("note"), _variant_t("edited"));
        testcom::Failure edit = testcom::FailureOf([&] { rs->Update(); });
        ASSERT_EQ(S_OK, edit.hr) << c.columns << ": " << edit.description;
        EXPECT_EQ(c.edited, Shown(rs)) << c.columns;
        rs->Close();
        _RecordsetPtr stored = Open("SELECT note FROM " + table_ + " WHERE id = " + std::to_string(id));
        EXPECT_EQ("note=edited;", Shown(stored)) << c.columns;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, InsertedRow, ::testing::ValuesIn(testdb::AllTargets()),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return std::string(testdb::TargetName(info.param));
                         });

}  // namespace
