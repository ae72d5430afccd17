// Who owns what between a connection and its recordsets: the connection's transaction
// is the one its cursors consult, live and per session; closing the connection closes
// the recordsets still open on it, whichever of the two the host lets go of first.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "Database.h"

namespace {

using testcom::FailureOf;
using testdb::Target;
using threadtest::Database;

struct Case {
    const char* name;
    std::function<void(const Database& db, _ConnectionPtr& connection)> run;
};

const Case kCases[] = {
    // Opened before BeginTrans: the cursor asks at UpdateBatch time, so the batch joins
    // the transaction and goes with its rollback.
    {"RecordsetOpenedBeforeTheTransactionJoinsIt",
     [](const Database& db, _ConnectionPtr& connection) {
         _RecordsetPtr rows = db.Open(connection, "select * from " + db.table, adLockBatchOptimistic);
         connection->BeginTrans();
         db.AddBatch(rows, 1, 3);
         EXPECT_EQ(db.Count(connection), 3);
         connection->RollbackTrans();
         EXPECT_EQ(db.Count(connection), 0);
         db.AddBatch(rows, 10, 11);  // no transaction now: the batch commits itself
         connection->BeginTrans();
         connection->RollbackTrans();
         EXPECT_EQ(db.Count(connection), 2);
     }},
    // Closed and opened again: the new session's transaction is the one that counts,
    // and nothing of the old one lingers.
    {"ReopenedConnectionHasATransactionOfItsOwn",
     [](const Database& db, _ConnectionPtr& connection) {
         connection->BeginTrans();
         connection->CommitTrans();
         connection->Close();
         connection->Open(_bstr_t(db.connectionString), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
         EXPECT_EQ(FailureOf([&] { connection->CommitTrans(); }).hr, E_FAIL);
         connection->BeginTrans();
         _RecordsetPtr rows = db.Open(connection, "select * from " + db.table, adLockBatchOptimistic);
         db.AddBatch(rows, 1, 2);
         connection->RollbackTrans();
         EXPECT_EQ(db.Count(connection), 0);
     }},
    // Close closes every recordset still open on the connection, those of Execute too,
    // and drops their pending edits; a recordset closed earlier is not touched again.
    {"CloseClosesTheOpenRecordsets",
     [](const Database& db, _ConnectionPtr& connection) {
         _RecordsetPtr pending = db.Open(connection, "select * from " + db.table, adLockBatchOptimistic);
         pending->AddNew(vtMissing, vtMissing);
         pending->PutCollect(_variant_t("id"), _variant_t(7L));
         _RecordsetPtr executed = connection->Execute(_bstr_t("select * from " + db.table), nullptr, adCmdText);
         _RecordsetPtr closedEarlier = db.Open(connection, "select * from " + db.table, adLockReadOnly);
         closedEarlier->Close();
         { _RecordsetPtr released = db.Open(connection, "select * from " + db.table, adLockReadOnly); }
         connection->Close();
         for (const _RecordsetPtr& rows : {pending, executed, closedEarlier}) {
             EXPECT_EQ(rows->GetState(), adStateClosed);
             EXPECT_EQ(FailureOf([&] { rows->GetRecordCount(); }).hr, adErrObjectClosedHr);
         }
         connection->Open(_bstr_t(db.connectionString), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
         EXPECT_EQ(pending->GetState(), adStateClosed);  // stays closed on the new session
         EXPECT_EQ(db.Count(connection), 0);
         pending->Open(_variant_t(("select * from " + db.table).c_str()), vtMissing, adOpenStatic, adLockReadOnly,
                       adCmdText);
         EXPECT_EQ(pending->GetRecordCount(), 0);
     }},
    // The host's last reference to the connection goes first: the open recordset keeps
    // the connection (and its transaction) alive and goes on working.
    {"RecordsetOutlivesTheHostsConnectionReference",
     [](const Database& db, _ConnectionPtr& connection) {
         _RecordsetPtr rows = db.Open(connection, "select * from " + db.table, adLockBatchOptimistic);
         connection->BeginTrans();
         connection = nullptr;
         db.AddBatch(rows, 1, 4);
         _variant_t active = rows->GetActiveConnection();
         _ConnectionPtr kept;
         ASSERT_EQ(active.vt, VT_DISPATCH);
         ASSERT_EQ(active.pdispVal->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&kept)), S_OK);
         kept->CommitTrans();
         EXPECT_EQ(rows->GetRecordCount(), 4);
         rows = nullptr;
         EXPECT_EQ(db.Count(kept), 4);
         connection = kept;
     }},
};

class ConnectionOwnership : public ::testing::TestWithParam<std::tuple<Target, std::size_t>> {};

TEST_P(ConnectionOwnership, Case) {
    auto [target, index] = GetParam();
    Database db(target, "own" + std::to_string(index));
    TESTDB_REQUIRE(db.connectionString, target);
    _ConnectionPtr connection = db.Connect();
    db.CreateTable(connection);
    try {
        kCases[index].run(db, connection);
    } catch (const _com_error& error) {
        ADD_FAILURE() << kCases[index].name << ": unexpected _com_error 0x" << std::hex << error.Error() << ": "
                      << error.Description().str();
    }
    if (!connection) connection = db.Connect();
    if (connection->GetState() != adStateOpen)
        connection->Open(_bstr_t(db.connectionString), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
    db.DropTable(connection);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ConnectionOwnership,
    ::testing::Combine(::testing::ValuesIn(threadtest::kTargets),
                       ::testing::Range<std::size_t>(0, sizeof(kCases) / sizeof(kCases[0]))),
    [](const auto& info) {
        return std::string(testdb::TargetName(std::get<0>(info.param))) + "_" + kCases[std::get<1>(info.param)].name;
    });

}  // namespace
