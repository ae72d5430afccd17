// How the store fails: what it shows, which status it returns, and that a refused
// input never reaches the database. Also the caps of its fixed-size buffers.
#include <cstring>
#include <functional>

#include "PlantDatabase.h"

namespace plant {
namespace {

using FailureTest = PlantTest;

void SetKey(CMorvane& store, const char* key, std::size_t length) {
    std::memset(store.m_szBDTime, 'x', sizeof(store.m_szBDTime));
    std::memcpy(store.m_szBDTime, key, length);
}

struct Operation {
    const char* name;
    std::function<int(CMorvane&)> call;
    std::size_t messages;  // stretches that fail when the database cannot be reached
};

const std::vector<Operation>& Operations() {
    static double values[71] = {};
    static const std::vector<Operation> operations = {
        {"DumpSelectNewBD", [](CMorvane& s) { return s.DumpSelectNewBD(); }, 2},
        {"DumpSelectBD", [](CMorvane& s) { return s.DumpSelectBD(); }, 1},
        {"DumpGetRecent", [](CMorvane& s) { return s.DumpGetRecent(); }, 2},
        {"DumpGetException", [](CMorvane& s) { return s.DumpGetException(); }, 1},
        {"AngleSelectNew", [](CMorvane& s) { char t[] = "2005-12-19 08:00:00"; return s.AngleSelectNew(t); }, 1},
        {"AngleUpdate", [](CMorvane& s) { return s.AngleUpdate(values, 1); }, 1},
        {"TraceSelect", [](CMorvane& s) { return s.TraceSelect(); }, 1},
        {"ResultGetBurdenDis", [](CMorvane& s) { return s.ResultGetBurdenDis(); }, 1},
        {"ResultInsertBD", [](CMorvane& s) { return s.ResultInsertBD(); }, 2},
        {"ResultUpdateBD", [](CMorvane& s) { return s.ResultUpdateBD(); }, 1},
        // Without the earliest charge there is no standard row to write: two failures.
        {"ResultStandBD", [](CMorvane& s) { return s.ResultStandBD(); }, 2},
        {"ResultDeleteBD", [](CMorvane& s) { return s.ResultDeleteBD(); }, 1},
    };
    return operations;
}

// Without a Connection object every query operation fails as an invalid pointer,
// shown with its own message, instead of using the absent object.
TEST(MorvaneWithoutConnection, EveryQueryFailsWithInvalidPointer) {
    std::vector<Shown> shown;
    dbplatform::SetMessageBoxHandler([&](const char* text, const char* caption, unsigned type) {
        shown.push_back({text, caption ? caption : "", type});
        return 1;
    });
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.name);
        shown.clear();
        CMorvane store;
        std::strcpy(store.m_szBDTime, "2005-12-19 08:00:00");
        store.m_nResultColumns = 0;
        EXPECT_EQ(op.call(store), -1);
        ASSERT_EQ(shown.size(), op.messages);
        for (const Shown& s : shown) {
            EXPECT_EQ(s.text, Expected(op.name, E_POINTER));
            EXPECT_EQ(s.type, 0u);
        }
        if (std::string(op.name) == "ResultGetBurdenDis") {
            EXPECT_EQ(store.m_nResultColumns, 253);
        }
    }
    dbplatform::SetMessageBoxHandler({});
}

TEST(MorvaneConnect, KindNamesMatchExactly) {
    std::vector<std::string> shown;
    dbplatform::SetMessageBoxHandler([&](const char* text, const char*, unsigned) {
        shown.push_back(text);
        return 1;
    });
    for (const char* kind : {"Oracle9i ", " MicroSoft Access", "microsoft access", "MICROSOFT ACCESS", "Oracle9", ""}) {
        SCOPED_TRACE(kind);
        CMorvane store;
        store.m_bstrDbType = kind;
        store.m_bstrDataSource = "ABC";
        EXPECT_EQ(store.Connect(), 0);
        EXPECT_FALSE(store.m_pConnection);
    }
    EXPECT_TRUE(shown.empty());
    dbplatform::SetMessageBoxHandler({});
}

TEST_P(FailureTest, ConnectFailuresAreShownAndGiveZero) {
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    EXPECT_EQ(store.m_pConnection->GetConnectionTimeout(), 3);
    _ConnectionPtr first = store.m_pConnection;
    ASSERT_EQ(Connect(store), 1);  // a second Connect opens a new connection
    EXPECT_FALSE(store.m_pConnection == first);

    // The Oracle kind reaches a data source of the same name here; the time literal is
    // chosen by the product behind it, so its queries work.
    CMorvane oracle;
    oracle.m_bstrDbType = "Oracle9i";
    oracle.m_bstrDataSource = dataSource_.c_str();
    oracle.m_bstrUserID = store.m_bstrUserID;
    oracle.m_bstrPassword = store.m_bstrPassword;
    ASSERT_EQ(oracle.Connect(), 1);
    EXPECT_NE(oracle.m_pConnection->GetConnectionTimeout(), 3);
    std::strcpy(oracle.m_szBDTime, "2005-12-19 08:00:00");
    EXPECT_EQ(oracle.DumpSelectBD(), 0);
    ASSERT_TRUE(shown_.empty()) << shown_.front().text;

    // The Connection object cannot be created: shown, 0, no connection.
    dbplatform::SetCreateFailure("ADODB.Connection", REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Connect(store), 0);
    dbplatform::SetCreateFailure("ADODB.Connection", S_OK);
    EXPECT_FALSE(store.m_pConnection);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, std::string("连接数据库错误信息:") + _com_error(REGDB_E_CLASSNOTREG).ErrorMessage());
    EXPECT_EQ(shown_[0].caption, "提示信息");
    EXPECT_EQ(shown_[0].type, 0u);

    // Opening fails (no such data source, or a wrong password): the object stays,
    // unopened, and the next query fails on it with its own message.
    shown_.clear();
    CMorvane unopened;
    Connect(unopened);
    if (Postgres()) {
        unopened.m_bstrPassword = "wrong";
    } else {
        unopened.m_bstrDataSource = "morvane_no_such_source";
    }
    EXPECT_EQ(unopened.Connect(), 0);
    EXPECT_TRUE(unopened.m_pConnection);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text.rfind("连接数据库错误信息:", 0), 0u) << shown_[0].text;
    EXPECT_EQ(shown_[0].caption, "提示信息");
    EXPECT_EQ(unopened.TraceSelect(), -1);
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].text.rfind("错误编号TraceSelect，错误信息:", 0), 0u) << shown_[1].text;
}

// A time key that does not read as a date and time never reaches SQL: the stretch that
// needs it fails as a type mismatch and nothing in the database changes.
TEST_P(FailureTest, BadTimeKeysAreRefusedBeforeSql) {
    AddCharge(TimeAt(0), 1, "5", "1");
    AddResult(TimeAt(0), "10", "0", 1.0);
    AddRuler(TimeAt(-5), "1", "1");
    AddAngle(TimeAt(-5), 20);
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    const std::string unterminated = "2005-12-19 08:00:00X";  // 20 characters, no NUL inside the slot
    const std::vector<std::string> keys = {"garbage", "x' OR '1'='1", "", "19.12.2005 08:00", unterminated};
    for (const std::string& key : keys) {
        SCOPED_TRACE("key " + key);
        struct Use {
            const char* name;
            std::function<int()> call;
            std::size_t messages;
        } uses[] = {
            {"DumpSelectBD", [&] { return store.DumpSelectBD(); }, 1},
            {"DumpGetException", [&] { return store.DumpGetException(); }, 1},
            {"ResultInsertBD", [&] { return store.ResultInsertBD(); }, 2},
            {"ResultUpdateBD", [&] { return store.ResultUpdateBD(); }, 1},
            {"ResultDeleteBD", [&] { return store.ResultDeleteBD(); }, 1},
            {"AngleSelectNew", [&] { std::string t = key; return store.AngleSelectNew(t.data()); }, 1},
        };
        for (const Use& use : uses) {
            SCOPED_TRACE(use.name);
            shown_.clear();
            SetKey(store, key.c_str(), std::min(key.size() + 1, sizeof(store.m_szBDTime)));
            EXPECT_EQ(use.call(), -1);
            ASSERT_EQ(shown_.size(), use.messages);
            for (const Shown& s : shown_) EXPECT_EQ(s.text, Expected(use.name, DISP_E_TYPEMISMATCH));
        }
    }
    shown_.clear();
    EXPECT_EQ(store.AngleSelectNew(nullptr), -1);
    double values[71];
    for (double& v : values) v = 4.25;
    AddFurnace(1, 1.0);
    EXPECT_EQ(store.AngleUpdate(nullptr, 1), -1);
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[0].text, Expected("AngleSelectNew", E_POINTER));
    EXPECT_EQ(shown_[1].text, Expected("AngleUpdate", E_POINTER));

    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 1);
    EXPECT_EQ(ClientCount("matrix_bl_roof_weight_new"), 1);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_70 FROM MODEL_RESULTFURNACE;"), 1.7);
}

// A query that finds no row gives 0, shows nothing and leaves the members as they were.
TEST_P(FailureTest, QueriesThatFindNothingGiveZero) {
    AddCharge(TimeAt(10), 1, "5", "1");
    AddRuler(TimeAt(10), "1", "1");
    AddAngle(TimeAt(10), 20);
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    std::strcpy(store.m_szBDTime, TimeAt(10).c_str());  // no reading or angle record strictly before it
    store.m_dRulerHeight[0] = store.m_dChuteAngle[0] = store.m_dFurnaceSeq[0][0] = -3;
    store.m_nRecentCharge[0] = store.m_nRecordCount = -3;
    double values[71] = {};
    char time[20];
    std::strcpy(time, TimeAt(10).c_str());
    struct Case {
        const char* name;
        std::function<int()> call;
    } cases[] = {
        {"DumpGetException", [&] { return store.DumpGetException(); }},
        {"AngleSelectNew", [&] { return store.AngleSelectNew(time); }},
        {"TraceSelect", [&] { return store.TraceSelect(); }},
        {"AngleUpdate", [&] { return store.AngleUpdate(values, 1); }},
        {"DumpGetRecent", [&] { return store.DumpGetRecent(); }},
        {"ResultUpdateBD", [&] { return store.ResultUpdateBD(); }},
        {"ResultDeleteBD", [&] { return store.ResultDeleteBD(); }},
        {"DumpSelectBD", [&] { std::strcpy(store.m_szBDTime, TimeAt(11).c_str()); return store.DumpSelectBD(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), 0);
    }
    EXPECT_EQ(store.m_dRulerHeight[0], -3);
    EXPECT_EQ(store.m_dChuteAngle[0], -3);
    EXPECT_EQ(store.m_dFurnaceSeq[0][0], -3);
    EXPECT_EQ(store.m_nRecentCharge[0], -3);
    EXPECT_EQ(store.m_nRecordCount, -3);
    EXPECT_EQ(store.ResultGetBurdenDis(), 0);
    EXPECT_EQ(store.m_nRecordCount, 0);
    EXPECT_EQ(store.m_nResultColumns, 253);
    EXPECT_EQ(ClientCount("MODEL_RESULTFURNACE"), 0);
    EXPECT_TRUE(shown_.empty()) << shown_.front().text;
}

TEST_P(FailureTest, StandardRowNeedsAnEarliestCharge) {
    struct Case {
        const char* name;
        int results;
        bool charges;
        int status;
        long rowsAfter;
    } cases[] = {
        {"rows and charges", 3, true, 1, 1},
        {"no rows", 0, true, 0, 1},
        {"no charges", 2, false, 0, 0},  // nothing defines the standard row's time: none is written
        {"nothing", 0, false, 0, 0},
    };
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Client("DELETE FROM MODEL_RESULTBURDENDIS; DELETE FROM matrix_bl_roof_weight_new;");
        for (int i = 0; i < c.results; ++i) AddResult(TimeAt(100 + i), "20", "3", 5.0);
        if (c.charges) {
            AddCharge(TimeAt(30), 2, "1", "0");
            AddCharge(TimeAt(20), 1, "1", "0");
        }
        EXPECT_EQ(store.ResultStandBD(), c.status);
        EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), c.rowsAfter);
        if (c.rowsAfter) {
            EXPECT_EQ(ClientValue("SELECT MATERIAL FROM MODEL_RESULTBURDENDIS;"), "10");
            EXPECT_EQ(ClientNumber("SELECT LEFTPOINT FROM MODEL_RESULTBURDENDIS;"), 0.0);
            EXPECT_EQ(ClientValue("SELECT TIMESTAMP FROM MODEL_RESULTBURDENDIS;"), TimeAt(20));
        }
    }
    EXPECT_TRUE(shown_.empty()) << shown_.front().text;
}

TEST_P(FailureTest, HistoryAndResultsStopAtThirtyRows) {
    std::string rows;
    for (int i = 0; i < 45; ++i) {
        rows += ChargeSql(TimeAt(10 * i), 100 + i, std::to_string(i) + ".25", "1");
        rows += ResultSql(TimeAt(10 * i), std::to_string(i), std::to_string(i) + ".5", i);
    }
    Client(rows);
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    ASSERT_EQ(store.DumpGetRecent(), 1);
    EXPECT_EQ(store.m_nRecordCount, 45);
    for (int i = 0; i < 30; ++i) {
        EXPECT_STREQ(store.m_szRecentTime[i], TimeAt(10 * i).c_str());
        EXPECT_EQ(store.m_nRecentCharge[i], 100 + i);
        EXPECT_EQ(store.m_dRecentWeight[4][i], static_cast<double>(i));
    }
    ASSERT_EQ(store.ResultGetBurdenDis(), 1);
    EXPECT_EQ(store.m_nRecordCount, 45);
    for (int i = 0; i < 30; ++i) {
        EXPECT_STREQ(store.m_szResultTime[i], TimeAt(10 * i).c_str());
        EXPECT_EQ(store.m_nResultCharge[i], 100 + i);
        EXPECT_EQ(store.m_nResultMaterial[i], i);
        EXPECT_DOUBLE_EQ(store.m_dResultSeq[249][i], i + 0.25);
    }

    // Fewer rows later: the first ones are overwritten, the rest keep the older rows.
    rows = "DELETE FROM MODEL_RESULTBURDENDIS; DELETE FROM matrix_bl_roof_weight_new;\n";
    for (int i = 0; i < 5; ++i) {
        rows += ChargeSql(TimeAt(1000 + i), 200 + i, "1", "1");
        rows += ResultSql(TimeAt(1000 + i), "7", "1", 50.0, i == 3 ? 17 : 0);
    }
    Client(rows + "UPDATE MODEL_RESULTBURDENDIS SET MATERIAL = NULL WHERE TIMESTAMP = '" + TimeAt(1002) + "';");
    ASSERT_EQ(store.DumpGetRecent(), 1);
    EXPECT_EQ(store.m_nRecordCount, 5);
    EXPECT_EQ(store.m_nRecentCharge[4], 204);
    EXPECT_EQ(store.m_nRecentCharge[5], 105);
    EXPECT_STREQ(store.m_szRecentTime[29], TimeAt(290).c_str());

    // A NULL MATERIAL keeps its slot; a NULL profile value fails the read at that column.
    EXPECT_EQ(store.ResultGetBurdenDis(), -1);
    EXPECT_EQ(store.m_nRecordCount, 5);
    EXPECT_EQ(store.m_nResultColumns, 253);
    EXPECT_EQ(store.m_nResultMaterial[1], 7);
    EXPECT_EQ(store.m_nResultMaterial[2], 2);
    EXPECT_EQ(store.m_nResultCharge[3], 203);
    EXPECT_DOUBLE_EQ(store.m_dResultSeq[15][3], 50.016);
    EXPECT_DOUBLE_EQ(store.m_dResultSeq[16][3], 3.017);
    EXPECT_EQ(store.m_nResultCharge[4], 104);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, Expected("ResultGetBurdenDis", DISP_E_TYPEMISMATCH));
}

TEST_P(FailureTest, FurnaceResultsStopAtElevenRows) {
    for (int id = 1; id <= 13; ++id) AddFurnace(id, id);
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    for (double& angle : store.m_dChuteAngle) angle = -1;  // the member right after the furnace rows
    ASSERT_EQ(store.TraceSelect(), 1);
    for (int i = 0; i < 11; ++i) {
        EXPECT_DOUBLE_EQ(store.m_dFurnaceSeq[0][i], i + 1.0);
        EXPECT_DOUBLE_EQ(store.m_dFurnaceSeq[70][i], i + 1.7);
    }
    for (double angle : store.m_dChuteAngle) EXPECT_EQ(angle, -1);

    Client("DELETE FROM MODEL_RESULTFURNACE;");
    AddFurnace(21, 21);
    AddFurnace(22, 22, 40);
    AddFurnace(23, 23);
    EXPECT_EQ(store.TraceSelect(), -1);
    EXPECT_DOUBLE_EQ(store.m_dFurnaceSeq[70][0], 21.7);
    EXPECT_DOUBLE_EQ(store.m_dFurnaceSeq[39][1], 22.39);
    EXPECT_DOUBLE_EQ(store.m_dFurnaceSeq[40][1], 2.4);  // from the earlier call
    EXPECT_DOUBLE_EQ(store.m_dFurnaceSeq[0][2], 3.0);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, Expected("TraceSelect", DISP_E_TYPEMISMATCH));

    Client("DELETE FROM MODEL_RESULTFURNACE;");
    EXPECT_EQ(store.TraceSelect(), 0);
    AddFurnace(5, 0);
    double values[71];
    for (int k = 0; k < 71; ++k) values[k] = 100 + k;
    values[70] = 1.5;
    EXPECT_EQ(store.AngleUpdate(values, 6), 0);
    EXPECT_EQ(store.AngleUpdate(values, 5), 1);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_0 FROM MODEL_RESULTFURNACE WHERE BURDENID = 5;"), 100);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_69 FROM MODEL_RESULTFURNACE WHERE BURDENID = 5;"), 169);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_70 FROM MODEL_RESULTFURNACE WHERE BURDENID = 5;"), 1.5);
    EXPECT_EQ(shown_.size(), 1u);
}

// The earliest charge text as the SQLite ODBC driver stores a bound timestamp
// ("….000") is 23 characters: it is never cut into the 20-character buffer, so no
// standard row with a wrong time is written.
TEST_P(FailureTest, TooLongTextIsRefusedNotCut) {
    if (Postgres()) GTEST_SKIP() << "PostgreSQL returns the earliest time as a timestamp";
    Client("INSERT INTO matrix_bl_roof_weight_new (RECEIVETIME, CHARGE) VALUES ('2005-12-19 08:00:00.000', 1);");
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    EXPECT_EQ(store.ResultStandBD(), -1);
    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 0);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, Expected("ResultStandBD", DISP_E_OVERFLOW));
}

INSTANTIATE_TEST_SUITE_P(Targets, FailureTest, ::testing::Values(Target::Sqlite, Target::Postgres), TargetName);

}  // namespace
}  // namespace plant
