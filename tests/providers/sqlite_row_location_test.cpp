// A row the SQLite provider cannot locate is a concurrency violation, as on every other
// provider: through a recordset, and at the provider itself where nothing locates it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/ado/Provider.h>
#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

using testcom::Failure;
using testcom::FailureOf;

class SqliteRowLocation : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("row_location");
        mine_ = Connect();
        theirs_ = Connect();
        Execute(mine_, "CREATE TABLE keyed (id INTEGER PRIMARY KEY, name VARCHAR(20))");
        Execute(mine_, "CREATE TABLE keyless (name VARCHAR(20), n INTEGER)");
        Execute(mine_, "INSERT INTO keyed VALUES (1, 'a')");
        Execute(mine_, "INSERT INTO keyless VALUES ('a', 1)");
    }
    void TearDown() override {
        mine_->Close();
        theirs_->Close();
        std::filesystem::remove(file_);
    }
    _ConnectionPtr Connect() {
        _ConnectionPtr connection;
        EXPECT_EQ(S_OK, connection.CreateInstance("ADODB.Connection"));
        connection->Open(_bstr_t(testdb::ConnectionString(testdb::Target::SqliteNative, file_).c_str()), _bstr_t(""),
                         _bstr_t(""), adConnectUnspecified);
        return connection;
    }
    static void Execute(const _ConnectionPtr& connection, const std::string& sql) {
        connection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    }
    _RecordsetPtr Open(const std::string& sql) {
        _RecordsetPtr recordset;
        EXPECT_EQ(S_OK, recordset.CreateInstance("ADODB.Recordset"));
        recordset->Open(_variant_t(sql.c_str()), _variant_t(static_cast<IDispatch*>(mine_)), adOpenStatic,
                        adLockOptimistic, adCmdText);
        return recordset;
    }

    std::string file_;
    _ConnectionPtr mine_;
    _ConnectionPtr theirs_;
};

// Located by key or by the row identity: once another connection deleted the row, the
// update and the delete find nothing, and the edit is kept.
TEST_F(SqliteRowLocation, RowDeletedByAnotherConnectionIsAConcurrencyViolation) {
    for (const char* table : {"keyed", "keyless"}) {
        const std::string row = std::string(table) == "keyed" ? "(1, 'a')" : "('a', 1)";
        _RecordsetPtr rs = Open(std::string("SELECT * FROM ") + table);
        ASSERT_EQ(1, rs->GetRecordCount()) << table;  // read before the other connection deletes it
        Execute(theirs_, std::string("DELETE FROM ") + table);
        rs->PutCollect(_variant_t("name"), _variant_t("mine"));
        Failure failure = FailureOf([&] { rs->Update(); });
        EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, failure.hr) << table;
        EXPECT_EQ(adEditInProgress, rs->GetEditMode()) << table;
        rs->CancelUpdate();
        EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, FailureOf([&] { rs->Delete(adAffectCurrent); }).hr) << table;
        rs->Close();
        Execute(theirs_, std::string("INSERT INTO ") + table + " VALUES " + row);
    }
}

// A locator with nothing in it reaches no row: the provider says so in the same terms
// as for a row that is gone, not as a failure of the database.
TEST_F(SqliteRowLocation, NothingToLocateTheRowByIsAConcurrencyViolation) {
    using namespace dbplatform::provider;
    OpenRequest request;
    std::string error;
    ASSERT_EQ(S_OK, dbplatform::ado::ConnectionString::Parse(testdb::ConnectionString(testdb::Target::SqliteNative, file_),
                                                             &request.properties, &error))
        << error;
    std::unique_ptr<Session> session = FindProvider("SQLite")(request);
    for (const char* table : {"keyed", "keyless"}) {
        Failure deleted = FailureOf([&] { session->DeleteRow(table, RowLocator{}); });
        EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, deleted.hr) << table;
        RowLocator none;
        Failure checked = FailureOf([&] { session->UpdateRow(table, {}, &none); });
        EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, checked.hr) << table;
    }
}

}  // namespace
