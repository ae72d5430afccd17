// The cursor engine's failure paths, over the in-memory provider: writes that fail,
// change no row or two rows, batches that break half way, and what the cursor shows
// afterwards. Nothing here needs a server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "MemoryProvider.h"
#include "TestDatabases.h"

namespace {

using memtest::Call;
using memtest::Fault;
using testcom::FailureOf;

// A fault scripted for one write, and what the host sees of it.
struct FaultCase {
    const char* what;
    Fault fault;
    HRESULT expected;
};

class CursorFailure : public ::testing::Test {
protected:
    void SetUp() override {
        memtest::RegisterMemoryProvider();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string source = testdb::UniqueName(std::string(info->test_suite_name()) + "." + info->name());
        db_ = memtest::Database(source);
        db_->tables = {{"t", memtest::KeyedTable("t", {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}})}};
        ASSERT_EQ(connection_.CreateInstance("ADODB.Connection"), S_OK);
        connection_->Open(_bstr_t(("Provider=MemoryTest;Data Source=" + source).c_str()), _bstr_t(""), _bstr_t(""),
                          adConnectUnspecified);
    }

    _RecordsetPtr Open(LockTypeEnum lock) {
        _RecordsetPtr rs;
        EXPECT_EQ(rs.CreateInstance("ADODB.Recordset"), S_OK);
        rs->PutCursorLocation(adUseClient);
        rs->Open(_variant_t("select * from t"), _variant_t(static_cast<IDispatch*>(connection_)), adOpenStatic, lock,
                 adCmdText);
        return rs;
    }

    // The table as stored, "id:name" per row.
    std::vector<std::string> Stored() {
        std::vector<std::string> rows;
        for (const auto& row : db_->Find("t")->rows) rows.push_back(std::to_string(row[0].integer) + ":" + row[1].bytes);
        return rows;
    }

    // What the cursor shows, walked from the first row.
    static std::vector<std::string> Shown(_RecordsetPtr& rs) {
        std::vector<std::string> rows;
        if (rs->GetRecordCount() == 0) return rows;
        for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext())
            rows.push_back(std::to_string(static_cast<long>(rs->GetCollect(_variant_t("id")))) + ":" +
                           static_cast<const char*>(_bstr_t(rs->GetCollect(_variant_t("name")))));
        return rows;
    }

    static void MoveToId(_RecordsetPtr& rs, long id) {
        for (rs->MoveFirst(); !rs->GetadoEOF(); rs->MoveNext())
            if (static_cast<long>(rs->GetCollect(_variant_t("id"))) == id) return;
        FAIL() << "no row " << id;
    }

    // Held changes of every kind: row 1 renamed, row 2 deleted, row 6 added.
    static void HoldChanges(_RecordsetPtr& rs) {
        MoveToId(rs, 1);
        rs->PutCollect(_variant_t("name"), _variant_t("A"));
        rs->Update();
        MoveToId(rs, 2);
        rs->Delete(adAffectCurrent);
        rs->AddNew();
        rs->PutCollect(_variant_t("id"), _variant_t(6L));
        rs->PutCollect(_variant_t("name"), _variant_t("f"));
        rs->Update();
    }

    const std::vector<std::string> original_ = {"1:a", "2:b", "3:c", "4:d", "5:e"};
    const std::vector<std::string> held_ = {"1:A", "3:c", "4:d", "5:e", "6:f"};
    std::shared_ptr<memtest::MemoryDatabase> db_;
    _ConnectionPtr connection_;
};

// A batch broken by any of its calls is rolled back in the database, keeps every held
// change visible and pending in the cursor, and names the provider's cause; once the
// cause is gone the same batch goes through.
TEST_F(CursorFailure, BrokenBatchIsRolledBackAndStaysPending) {
    struct Case {
        const char* what;
        Fault fault;
        HRESULT expected;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"first write fails", {Call::AnyWrite, 0, DB_E_INTEGRITYVIOLATION, "first refused"}, DB_E_INTEGRITYVIOLATION,
         {"Begin", "Update", "Rollback"}},
        {"second write fails", {Call::AnyWrite, 1, DB_E_INTEGRITYVIOLATION, "second refused"}, DB_E_INTEGRITYVIOLATION,
         {"Begin", "Update", "Delete", "Rollback"}},
        {"insert fails last", {Call::Insert, 0, E_FAIL, "insert refused"}, E_FAIL,
         {"Begin", "Update", "Delete", "Insert", "Rollback"}},
        {"update changes no row", {Call::Update, 0, S_OK, "", 0}, DB_E_CONCURRENCYVIOLATION,
         {"Begin", "Update", "Rollback"}},
        {"delete changes two rows", {Call::Delete, 0, S_OK, "", 2}, DB_E_CONCURRENCYVIOLATION,
         {"Begin", "Update", "Delete", "Rollback"}},
        {"insert changes two rows", {Call::Insert, 0, S_OK, "", 2}, DB_E_CONCURRENCYVIOLATION,
         {"Begin", "Update", "Delete", "Insert", "Rollback"}},
        {"commit fails", {Call::Commit, 0, E_FAIL, "commit refused"}, E_FAIL,
         {"Begin", "Update", "Delete", "Insert", "Commit", "Rollback"}},
        {"begin fails", {Call::Begin, 0, E_FAIL, "begin refused"}, E_FAIL, {"Begin"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        _RecordsetPtr rs = Open(adLockBatchOptimistic);
        HoldChanges(rs);
        db_->log.clear();
        db_->faults = {c.fault};
        testcom::Failure failure = FailureOf([&] { rs->UpdateBatch(adAffectAll); });
        EXPECT_EQ(failure.hr, c.expected);
        if (!c.fault.text.empty()) {
            EXPECT_NE(failure.description.find(c.fault.text), std::string::npos) << failure.description;
        }
        EXPECT_EQ(db_->log, c.calls);
        EXPECT_EQ(Stored(), original_);
        EXPECT_EQ(Shown(rs), held_);
        MoveToId(rs, 1);
        EXPECT_STREQ(static_cast<const char*>(_bstr_t(rs->GetFields()->GetItem(_variant_t("name"))->GetOriginalValue())), "a");

        rs->UpdateBatch(adAffectAll);
        EXPECT_EQ(Stored(), held_);
        EXPECT_EQ(Shown(rs), held_);
    }
}

// Inside the connection's own transaction the cursor neither begins nor ends one: a
// failure is left to the host, which decides with RollbackTrans.
TEST_F(CursorFailure, BatchInsideHostTransactionLeavesItToTheHost) {
    _RecordsetPtr rs = Open(adLockBatchOptimistic);
    HoldChanges(rs);
    connection_->BeginTrans();
    db_->log.clear();
    db_->faults = {{Call::AnyWrite, 1, DB_E_INTEGRITYVIOLATION, "refused"}};
    EXPECT_EQ(FailureOf([&] { rs->UpdateBatch(adAffectAll); }).hr, DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(db_->log, (std::vector<std::string>{"Update", "Delete"}));
    connection_->RollbackTrans();
    EXPECT_EQ(Stored(), original_);
    EXPECT_EQ(Shown(rs), held_);
}

// CancelBatch puts back what was read, whatever was held, without a call to the provider.
TEST_F(CursorFailure, CancelBatchRestoresWhatWasRead) {
    struct Case {
        const char* what;
        void (*change)(_RecordsetPtr&);
    };
    const Case cases[] = {
        {"every kind", [](_RecordsetPtr& rs) { HoldChanges(rs); }},
        {"all rows deleted",
         [](_RecordsetPtr& rs) {
             rs->Delete(adAffectAll);
             EXPECT_EQ(rs->GetRecordCount(), 0);
         }},
        {"added row deleted again",
         [](_RecordsetPtr& rs) {
             rs->AddNew();
             rs->PutCollect(_variant_t("id"), _variant_t(9L));
             rs->Update();
             rs->Delete(adAffectCurrent);
             rs->MoveFirst();
         }},
        {"row edited twice",
         [](_RecordsetPtr& rs) {
             MoveToId(rs, 3);
             rs->PutCollect(_variant_t("name"), _variant_t("x"));
             rs->MoveNext();
             MoveToId(rs, 3);
             rs->PutCollect(_variant_t("name"), _variant_t("y"));
         }},
        {"edit left open", [](_RecordsetPtr& rs) { rs->PutCollect(_variant_t("name"), _variant_t("open")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        _RecordsetPtr rs = Open(adLockBatchOptimistic);
        c.change(rs);
        db_->log.clear();
        rs->CancelBatch(adAffectAll);
        EXPECT_NE(rs->GetEditMode(), adEditInProgress);
        EXPECT_NE(rs->GetEditMode(), adEditAdd);
        EXPECT_EQ(rs->GetRecordCount(), 5);
        EXPECT_EQ(Shown(rs), original_);
        EXPECT_TRUE(db_->log.empty());
        rs->UpdateBatch(adAffectAll);  // nothing is left to send
        EXPECT_TRUE(db_->log.empty());
        EXPECT_EQ(Stored(), original_);
    }
}

// An immediate write the provider does not confirm as exactly one row changes nothing
// in the cursor: an edit stays open to be retried or cancelled, a delete leaves the row.
TEST_F(CursorFailure, UnconfirmedWriteChangesNothingInTheCursor) {
    const FaultCase cases[] = {
        {"update changes no row", {Call::Update, 0, S_OK, "", 0}, DB_E_CONCURRENCYVIOLATION},
        {"update changes two rows", {Call::Update, 0, S_OK, "", 2}, DB_E_CONCURRENCYVIOLATION},
        {"update fails", {Call::Update, 0, DB_E_INTEGRITYVIOLATION, "no"}, DB_E_INTEGRITYVIOLATION},
        {"delete changes no row", {Call::Delete, 0, S_OK, "", 0}, DB_E_CONCURRENCYVIOLATION},
        {"delete changes two rows", {Call::Delete, 0, S_OK, "", 2}, DB_E_CONCURRENCYVIOLATION},
        {"delete fails", {Call::Delete, 0, E_FAIL, "gone away"}, E_FAIL},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        _RecordsetPtr rs = Open(adLockOptimistic);
        MoveToId(rs, 3);
        db_->faults = {c.fault};
        bool update = c.fault.call == Call::Update;
        testcom::Failure failure = FailureOf([&] {
            if (update) {
                rs->PutCollect(_variant_t("name"), _variant_t("C"));
                rs->Update();
            } else {
                rs->Delete(adAffectCurrent);
            }
        });
        EXPECT_EQ(failure.hr, c.expected);
        EXPECT_EQ(rs->GetEditMode(), update ? adEditInProgress : adEditNone);
        EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), 3);
        EXPECT_EQ(rs->GetAbsolutePosition(), 3);
        rs->CancelUpdate();
        EXPECT_EQ(rs->GetRecordCount(), 5);
        EXPECT_EQ(Shown(rs), original_);
    }
}

// A new row the provider does not confirm stays an open AddNew: nothing is appended,
// the host can retry it, or cancel it and be back on the row it left.
TEST_F(CursorFailure, FailedAddNewStaysOpen) {
    const FaultCase cases[] = {
        {"insert fails", {Call::Insert, 0, DB_E_INTEGRITYVIOLATION, "duplicate key"}, DB_E_INTEGRITYVIOLATION},
        {"insert changes no row", {Call::Insert, 0, S_OK, "", 0}, DB_E_CONCURRENCYVIOLATION},
    };
    for (const FaultCase& c : cases) {
        for (bool retry : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (retry ? ", retried" : ", cancelled"));
            SetUp();
            _RecordsetPtr rs = Open(adLockOptimistic);
            MoveToId(rs, 2);
            rs->AddNew();
            rs->PutCollect(_variant_t("id"), _variant_t(7L));
            rs->PutCollect(_variant_t("name"), _variant_t("g"));
            db_->faults = {c.fault};
            EXPECT_EQ(FailureOf([&] { rs->Update(); }).hr, c.expected);
            EXPECT_EQ(rs->GetEditMode(), adEditAdd);
            EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), 7);
            if (retry) {
                rs->Update();
                EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), 7);
                EXPECT_EQ(rs->GetRecordCount(), 6);
            } else {
                rs->CancelUpdate();
                EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), 2);
                EXPECT_EQ(rs->GetRecordCount(), 5);
                EXPECT_EQ(Stored(), original_);
            }
        }
    }
}

// Deleted rows are passed over by every move, counted by no position, and refused as
// a bookmark target; deleting the current row leaves it current until the cursor moves.
TEST_F(CursorFailure, MovesPassOverDeletedRows) {
    for (LockTypeEnum lock : {adLockOptimistic, adLockBatchOptimistic}) {
        SCOPED_TRACE(lock == adLockOptimistic ? "immediate" : "batch");
        SetUp();
        _RecordsetPtr rs = Open(lock);
        MoveToId(rs, 2);
        _variant_t second = rs->GetBookmark();
        for (long id : {1L, 2L, 4L}) {
            MoveToId(rs, id);
            rs->Delete(adAffectCurrent);
        }
        EXPECT_EQ(rs->GetEditMode(), adEditDelete);
        EXPECT_EQ(rs->GetAbsolutePosition(), adPosUnknown);
        EXPECT_EQ(FailureOf([&] { rs->GetCollect(_variant_t("id")); }).hr, DB_E_DELETEDROW);
        EXPECT_EQ(rs->GetRecordCount(), 2);

        struct Step {
            const char* what;
            void (*move)(_RecordsetPtr&);
            long id;  // 0: at EOF, -1: at BOF
            long position;
        };
        const Step steps[] = {
            {"MoveFirst", [](_RecordsetPtr& r) { r->MoveFirst(); }, 3, 1},
            {"MoveNext", [](_RecordsetPtr& r) { r->MoveNext(); }, 5, 2},
            {"MoveNext past the end", [](_RecordsetPtr& r) { r->MoveNext(); }, 0, adPosEOF},
            {"MovePrevious from EOF", [](_RecordsetPtr& r) { r->MovePrevious(); }, 5, 2},
            {"MovePrevious", [](_RecordsetPtr& r) { r->MovePrevious(); }, 3, 1},
            {"MovePrevious past the start", [](_RecordsetPtr& r) { r->MovePrevious(); }, -1, adPosBOF},
            {"MoveLast", [](_RecordsetPtr& r) { r->MoveLast(); }, 5, 2},
            {"Move -1", [](_RecordsetPtr& r) { r->Move(-1); }, 3, 1},
            {"Move 1 from first", [](_RecordsetPtr& r) { r->Move(1, _variant_t(static_cast<long>(adBookmarkFirst))); }, 5, 2},
            {"Move 0 from last", [](_RecordsetPtr& r) { r->Move(0, _variant_t(static_cast<long>(adBookmarkLast))); }, 5, 2},
            {"AbsolutePosition 1", [](_RecordsetPtr& r) { r->PutAbsolutePosition(1); }, 3, 1},
            {"Move 2", [](_RecordsetPtr& r) { r->Move(2); }, 0, adPosEOF},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            step.move(rs);
            EXPECT_EQ(rs->GetadoEOF() == VARIANT_TRUE, step.id == 0);
            EXPECT_EQ(rs->GetBOF() == VARIANT_TRUE, step.id == -1);
            if (step.id > 0) {
                EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), step.id);
            }
            EXPECT_EQ(rs->GetAbsolutePosition(), step.position);
        }
        EXPECT_EQ(FailureOf([&] { rs->PutBookmark(second); }).hr, adErrInvalidArgumentHr);
        EXPECT_EQ(FailureOf([&] { rs->PutAbsolutePosition(3); }).hr, adErrInvalidArgumentHr);
        EXPECT_EQ(Shown(rs), (std::vector<std::string>{"3:c", "5:e"}));
    }
}

// GetChunk continues where the last call on the same field and row stopped, and starts
// over wherever the cursor stands anew, also back on the row a cancelled AddNew left.
TEST_F(CursorFailure, ChunksStartOverOnEveryNewPosition) {
    struct Case {
        const char* what;
        void (*between)(_RecordsetPtr&);
        const char* next;  // the chunk after the one read before `between`
    };
    const Case cases[] = {
        {"nothing", [](_RecordsetPtr&) {}, "av"},
        {"MoveNext and back", [](_RecordsetPtr& rs) { rs->MoveNext(); rs->MovePrevious(); }, "br"},
        {"cancelled AddNew that read chunks",
         [](_RecordsetPtr& rs) {
             rs->AddNew();
             rs->PutCollect(_variant_t("name"), _variant_t("hello"));
             EXPECT_STREQ(static_cast<const char*>(_bstr_t(rs->GetFields()->GetItem(_variant_t("name"))->GetChunk(3))), "hel");
             rs->CancelUpdate();
         },
         "br"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        db_->Find("t")->rows[1][1] = memtest::Text("bravo");
        _RecordsetPtr rs = Open(adLockOptimistic);
        MoveToId(rs, 2);
        FieldPtr name = rs->GetFields()->GetItem(_variant_t("name"));
        EXPECT_STREQ(static_cast<const char*>(_bstr_t(name->GetChunk(2))), "br");
        c.between(rs);
        EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), 2);
        EXPECT_STREQ(static_cast<const char*>(_bstr_t(name->GetChunk(2))), c.next);
    }
}

// A rollback that fails too does not hide why the batch failed.
TEST_F(CursorFailure, FailedRollbackKeepsTheCause) {
    _RecordsetPtr rs = Open(adLockBatchOptimistic);
    HoldChanges(rs);
    db_->log.clear();
    db_->faults = {{Call::AnyWrite, 1, DB_E_INTEGRITYVIOLATION, "the cause"}, {Call::Rollback, 0, E_FAIL, "no rollback"}};
    testcom::Failure failure = FailureOf([&] { rs->UpdateBatch(adAffectAll); });
    EXPECT_EQ(failure.hr, DB_E_INTEGRITYVIOLATION);
    EXPECT_NE(failure.description.find("the cause"), std::string::npos) << failure.description;
    EXPECT_EQ(db_->log, (std::vector<std::string>{"Begin", "Update", "Delete", "Rollback"}));
    EXPECT_EQ(Shown(rs), held_);
}

// A row added to a cursor nobody has read yet is written without reading the table;
// when rows are wanted the query is read again, its rows go in front of the added one,
// and positions kept across that (the row a later AddNew left) follow.
TEST_F(CursorFailure, RowsReadAfterAnEarlyInsertGoInFront) {
    _RecordsetPtr rs = Open(adLockOptimistic);
    rs->AddNew();
    rs->PutCollect(_variant_t("id"), _variant_t(6L));
    rs->PutCollect(_variant_t("name"), _variant_t("f"));
    rs->Update();
    EXPECT_EQ(db_->log, (std::vector<std::string>{"Insert"}));
    rs->AddNew();
    rs->PutCollect(_variant_t("id"), _variant_t(7L));
    EXPECT_EQ(rs->GetRecordCount(), 6);  // reads the query again, under the open AddNew
    rs->CancelUpdate();
    EXPECT_EQ(static_cast<long>(rs->GetCollect(_variant_t("id"))), 6);
    EXPECT_EQ(rs->GetAbsolutePosition(), 6);
    EXPECT_EQ(Shown(rs), (std::vector<std::string>{"1:a", "2:b", "3:c", "4:d", "5:e", "6:f"}));
}

}  // namespace
