// The newest charge read as stored: a text in a number column is a conversion failure shown
// to the user (never a NULL that leaves the previous charge's values in place), and a real
// in the integer flag column is rounded by the int32 conversion, not cut by the driver.
#include "PlantDatabase.h"

namespace plant {
namespace {

using StoredValuesTest = PlantTest;

struct ChargeCase {
    const char* weight;  // SQL literal stored in every ANGLEk_WEIGHT
    const char* ocFlag;  // SQL literal stored in OC_FLAG
    // Only SQLite stores it as written: the server refuses a text in a number column, and
    // rounds a real on storing it in an integer column (half away from zero).
    bool sqliteOnly;
    int status;
    bool failureShown;
    float weightRead;  // m_fAngleWeight[10] afterwards
    int ocFlagRead;    // m_nOCFlag afterwards
    int materialCode;  // m_nMaterialCode afterwards
};

TEST_P(StoredValuesTest, NewestChargeReadsAsStoredOrFails) {
    const float kPrevWeight = 99.5f;
    const int kPrevFlag = 77, kPrevCode = 55;
    const ChargeCase cases[] = {
        {"12.5", "1", false, 1, false, 12.5f, 10, 10},
        {"12.5", "'x'", true, -1, true, 12.5f, kPrevFlag, kPrevCode},
        {"'abc'", "1", true, -1, true, kPrevWeight, kPrevFlag, kPrevCode},
        {"'12.5kg'", "0", true, -1, true, kPrevWeight, kPrevFlag, kPrevCode},
        {"''", "0", true, -1, true, kPrevWeight, kPrevFlag, kPrevCode},
        // Rounded as the int32 conversion rounds (half to even), never truncated.
        {"7", "1.6", false, 1, false, 7.0f, 2, kPrevCode},
        {"7", "0.6", false, 1, false, 7.0f, 10, 10},
        {"7", "2.5", true, 1, false, 7.0f, 2, kPrevCode},
        {"-3.25", "0", false, 1, false, -3.25f, 20, 20},
        {"NULL", "NULL", false, 1, false, kPrevWeight, kPrevFlag, kPrevCode},
    };
    AddResult(TimeAt(0), "10", "0", 1.0);
    AddRuler(TimeAt(1), "1.5", "2.5");
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    for (const ChargeCase& c : cases) {
        if (c.sqliteOnly && Postgres()) continue;
        SCOPED_TRACE(std::string("weight ") + c.weight + ", OC_FLAG " + c.ocFlag);
        Client("DELETE FROM matrix_bl_roof_weight_new;");
        AddCharge(TimeAt(10), 4, c.weight, c.ocFlag);
        for (float& weight : store.m_fAngleWeight) weight = kPrevWeight;
        store.m_nOCFlag = kPrevFlag;
        store.m_nMaterialCode = kPrevCode;
        shown_.clear();

        EXPECT_EQ(c.status, store.DumpSelectNewBD());
        if (c.failureShown) {
            ASSERT_EQ(1u, shown_.size());
            EXPECT_EQ(Expected("DumpSelectNewBD", DISP_E_TYPEMISMATCH), shown_[0].text);
        } else {
            EXPECT_TRUE(shown_.empty()) << shown_.front().text;
        }
        EXPECT_EQ(c.weightRead, store.m_fAngleWeight[10]);
        EXPECT_EQ(c.ocFlagRead, store.m_nOCFlag);
        EXPECT_EQ(c.materialCode, store.m_nMaterialCode);
        // The gauge stretch runs after a failed charge stretch all the same.
        EXPECT_EQ(2.5, store.m_dRulerHeight[1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, StoredValuesTest, ::testing::Values(Target::Sqlite, Target::Postgres), TargetName);

}  // namespace
}  // namespace plant
