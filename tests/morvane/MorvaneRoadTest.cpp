// The road of one charge, end to end, on each target: seed, find the newest charge,
// read what the model needs, store the result, and see the charge count as processed.
#include <cstring>

#include <morvane/StoreSupport.h>

#include "PlantDatabase.h"

namespace plant {
namespace {

using RoadTest = PlantTest;

void SetKey(CMorvane& store, const std::string& time) {
    std::memset(store.m_szBDTime, 'x', sizeof(store.m_szBDTime));
    std::memcpy(store.m_szBDTime, time.c_str(), time.size() + 1);
}

TEST_P(RoadTest, OneChargeFromSeedToStoredResult) {
    AddCharge(TimeAt(0), 1, "10.5", "1");
    AddCharge(TimeAt(10), 2, "20.25", "0");
    AddCharge(TimeAt(20), 3, "12.6", "1");
    AddRuler("2005-12-19 07:59:30", "1.25", "1.5");
    AddRuler("2005-12-19 08:19:30", "1.75", "2.125");
    AddRuler(TimeAt(25), "3.0", "3.5");
    AddAngle("2005-12-19 07:00:00", 30);
    AddAngle(TimeAt(20), 40);

    CMorvane store;
    ASSERT_EQ(Connect(store), 1);

    // Nothing stored yet: no charge counts as newer than the (missing) newest result,
    // but the gauges are read all the same.
    EXPECT_EQ(store.DumpSelectNewBD(), 0);
    EXPECT_EQ(store.m_dRulerHeight[0], 3.0);
    EXPECT_EQ(store.m_dRulerHeight[1], 3.5);

    // Seeding an empty table: nothing to delete (status 0), the standard row goes in.
    EXPECT_EQ(store.ResultStandBD(), 0);
    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 1);
    EXPECT_EQ(ClientValue("SELECT TIMESTAMP, MATERIAL, LEFTPOINT, CHARGE FROM MODEL_RESULTBURDENDIS;"), TimeAt(0));
    EXPECT_EQ(Client("SELECT MATERIAL, CHARGE FROM MODEL_RESULTBURDENDIS;").at(0), "10|NULL");
    EXPECT_EQ(ClientNumber("SELECT LEFTPOINT FROM MODEL_RESULTBURDENDIS;"), 0.0);
    EXPECT_FLOAT_EQ(ClientNumber("SELECT SEQ_1 FROM MODEL_RESULTBURDENDIS;"), 2.109485f);
    EXPECT_FLOAT_EQ(ClientNumber("SELECT SEQ_216 FROM MODEL_RESULTBURDENDIS;"), 2.232103f);
    EXPECT_FLOAT_EQ(ClientNumber("SELECT SEQ_250 FROM MODEL_RESULTBURDENDIS;"), 6.861506f);

    // The newest charge after the seed is 08:20; 08:10 is passed over.
    ASSERT_EQ(store.DumpSelectNewBD(), 1);
    EXPECT_STREQ(store.m_szNewTime, TimeAt(20).c_str());
    EXPECT_EQ(store.m_nNewCharge, 3);
    for (float weight : store.m_fAngleWeight) EXPECT_EQ(weight, 12.6f);
    EXPECT_EQ(store.m_nOCFlag, 10);
    EXPECT_EQ(store.m_nMaterialCode, 10);
    EXPECT_EQ(store.SkipSelectNewBD(), 10);
    EXPECT_EQ(store.m_dMaterialAngle, 36.2);
    EXPECT_EQ(store.m_dMaterialDensity, 0.565);

    SetKey(store, store.m_szNewTime);
    ASSERT_EQ(store.DumpSelectBD(), 1);
    EXPECT_STREQ(store.m_szRecentTime[0], TimeAt(20).c_str());
    EXPECT_EQ(store.m_nRecentCharge[0], 3);
    ASSERT_EQ(store.DumpGetException(), 1);  // the reading before the charge, not the newest
    EXPECT_EQ(store.m_dRulerHeight[0], 1.75);
    EXPECT_EQ(store.m_dRulerHeight[1], 2.125);
    char time[20];
    std::memcpy(time, store.m_szNewTime, sizeof(time));
    ASSERT_EQ(store.AngleSelectNew(time), 1);  // the record at 08:20 is not yet in force
    for (int k = 0; k < 11; ++k) EXPECT_EQ(store.m_dChuteAngle[k], 30.0 + k);

    store.m_nBDMaterial = store.m_nMaterialCode;
    store.m_dBDLeftPoint = 1.3;
    for (int n = 0; n < 250; ++n) store.m_dBDSeq[n] = 3.0 + n / 100.0;
    ASSERT_EQ(store.ResultInsertBD(), 1);
    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 2);
    std::string where = " FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP = '" + TimeAt(20) + "';";
    EXPECT_EQ(Client("SELECT MATERIAL, CHARGE" + where).at(0), "10|NULL");
    EXPECT_FLOAT_EQ(ClientNumber("SELECT LEFTPOINT" + where), 1.3f);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_1" + where), 3.0);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_250" + where), 5.49);

    // The charge is processed now: it is neither stored twice nor handed out again.
    ASSERT_EQ(store.ResultInsertBD(), 1);
    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 2);
    std::strcpy(store.m_szNewTime, "kept");
    EXPECT_EQ(store.DumpSelectNewBD(), 0);
    EXPECT_STREQ(store.m_szNewTime, "kept");

    ASSERT_EQ(store.DumpGetRecent(), 1);
    EXPECT_EQ(store.m_nRecordCount, 2);
    EXPECT_STREQ(store.m_szRecentTime[0], TimeAt(0).c_str());
    EXPECT_STREQ(store.m_szRecentTime[1], TimeAt(20).c_str());
    EXPECT_EQ(store.m_nRecentCharge[1], 3);
    EXPECT_EQ(store.m_dRecentWeight[0][0], 10.0);  // 10.5 rounds half to even
    EXPECT_EQ(store.m_dRecentWeight[10][1], 13.0);  // 12.6 read as a whole number

    ASSERT_EQ(store.ResultGetBurdenDis(), 1);
    EXPECT_EQ(store.m_nRecordCount, 2);
    EXPECT_EQ(store.m_nResultColumns, 253);
    EXPECT_STREQ(store.m_szResultTime[1], TimeAt(20).c_str());
    EXPECT_EQ(store.m_nResultCharge[0], 1);  // the charge number of the charging record
    EXPECT_EQ(store.m_nResultCharge[1], 3);
    EXPECT_EQ(store.m_nResultMaterial[0], 10);
    EXPECT_EQ(store.m_nResultLeftPoint[1], 1);
    EXPECT_FLOAT_EQ(static_cast<float>(store.m_dResultSeq[249][0]), morvane::g_fStandardSeq[249]);
    EXPECT_DOUBLE_EQ(store.m_dResultSeq[0][1], 3.0);

    for (int n = 0; n < 250; ++n) store.m_dBDSeq[n] = 7.0 + n / 100.0;
    ASSERT_EQ(store.ResultUpdateBD(), 1);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_1" + where), 7.0);
    EXPECT_DOUBLE_EQ(ClientNumber("SELECT SEQ_250" + where), 9.49);
    EXPECT_EQ(Client("SELECT MATERIAL, CHARGE" + where).at(0), "10|NULL");
    EXPECT_FLOAT_EQ(ClientNumber("SELECT LEFTPOINT" + where), 1.3f);

    ASSERT_EQ(store.ResultDeleteBD(), 1);
    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 1);
    EXPECT_EQ(ClientValue("SELECT TIMESTAMP FROM MODEL_RESULTBURDENDIS;"), TimeAt(0));
    EXPECT_EQ(store.ResultDeleteBD(), 0);
    EXPECT_EQ(store.ResultUpdateBD(), 0);

    EXPECT_TRUE(shown_.empty()) << shown_.front().text;
}

// A key in another accepted form reaches SQL in its canonical form, so it finds the
// row stored under the canonical text and stores new rows under that text.
TEST_P(RoadTest, KeysAreUsedInTheirCanonicalForm) {
    AddCharge(TimeAt(0), 1, "5", "0");
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    SetKey(store, "2005/12/19 8:00");
    EXPECT_EQ(store.DumpSelectBD(), 1);
    EXPECT_EQ(store.m_nRecentCharge[0], 1);
    ASSERT_EQ(store.ResultInsertBD(), 1);
    EXPECT_EQ(ClientValue("SELECT TIMESTAMP FROM MODEL_RESULTBURDENDIS;"), TimeAt(0));
    EXPECT_EQ(store.ResultInsertBD(), 1);
    EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 1);
    EXPECT_TRUE(shown_.empty());
}

TEST_P(RoadTest, MaterialCodeFollowsTheFlag) {
    struct Case {
        const char* flag;
        int status, ocFlag, code;
        double angle, density;
    } cases[] = {
        {"1", 10, 10, 10, 36.2, 0.565},
        {"0", 20, 20, 20, 35.8, 1.75},
        {"2", 2, 2, -7, 99.0, 98.0},       // unknown flag: previous code and constants stay
        {"NULL", -5, -5, -7, 99.0, 98.0},  // no flag: nothing changes
    };
    int minute = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        Client("DELETE FROM MODEL_RESULTBURDENDIS; DELETE FROM matrix_bl_roof_weight_new;");
        AddResult(TimeAt(minute), "10", "0", 1.0);
        AddCharge(TimeAt(minute + 5), 1, "1", c.flag);
        AddRuler(TimeAt(minute + 5), "1", "1");
        minute += 10;
        CMorvane store;
        ASSERT_EQ(Connect(store), 1);
        store.m_nOCFlag = -5;
        store.m_nMaterialCode = -7;
        store.m_dMaterialAngle = 99.0;
        store.m_dMaterialDensity = 98.0;
        EXPECT_EQ(store.DumpSelectNewBD(), 1);
        EXPECT_EQ(store.m_nOCFlag, c.ocFlag);
        EXPECT_EQ(store.m_nMaterialCode, c.code);
        EXPECT_EQ(store.SkipSelectNewBD(), c.status);
        EXPECT_EQ(store.m_dMaterialAngle, c.angle);
        EXPECT_EQ(store.m_dMaterialDensity, c.density);
    }
}

// A copy works over the same open connection with a recordset of its own, and the
// connection outlives the object it was opened by.
TEST_P(RoadTest, CopiesShareTheConnection) {
    AddCharge(TimeAt(0), 1, "5", "0");
    AddRuler(TimeAt(0), "1", "2");
    auto* source = new CMorvane;
    ASSERT_EQ(Connect(*source), 1);
    SetKey(*source, TimeAt(0));
    source->m_nSpare5 = 55;
    source->m_szSpareRows[29][18] = 'z';
    CMorvane copy(*source);
    EXPECT_TRUE(copy.m_pConnection == source->m_pConnection);
    EXPECT_EQ(copy.m_nSpare5, 55);
    EXPECT_EQ(copy.m_szSpareRows[29][18], 'z');
    EXPECT_EQ(copy.DumpSelectBD(), 1);
    EXPECT_FALSE(copy.m_pRecordset == source->m_pRecordset);
    delete source;
    EXPECT_EQ(copy.DumpSelectBD(), 1);
    EXPECT_EQ(copy.ResultInsertBD(), 1);

    CMorvane assigned;
    assigned = copy;
    CMorvane& alias = assigned;
    assigned = alias;  // assigning to itself keeps the handles and texts alive
    EXPECT_STREQ(static_cast<const char*>(assigned.m_bstrDbType), "MicroSoft Access");
    EXPECT_EQ(assigned.DumpGetRecent(), 1);
    EXPECT_EQ(assigned.m_nRecordCount, 1);
    EXPECT_TRUE(shown_.empty());
}

INSTANTIATE_TEST_SUITE_P(Targets, RoadTest, ::testing::Values(Target::Sqlite, Target::Postgres), TargetName);

}  // namespace
}  // namespace plant
