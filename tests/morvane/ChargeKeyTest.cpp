// A charge is handed out once: a host that loops over DumpSelectNewBD and
// ResultInsertBD until -1 or 0 ends, and every charge is processed once or reported,
// whatever form its time is stored in.
#include <cstring>

#include "PlantDatabase.h"

namespace plant {
namespace {

using ChargeKeyTest = PlantTest;

constexpr int kLoopLimit = 5;  // a loop still running after this many charges never ends

struct Loop {
    int processed = 0;
    int last = 1;  // the status that ended the loop
};

// The host's loop: take the newest charge, store its result, until the store says
// there is nothing more (0) or something is wrong (-1).
Loop RunHostLoop(CMorvane& store) {
    Loop loop;
    while (loop.processed < kLoopLimit) {
        loop.last = store.DumpSelectNewBD();
        if (loop.last != 1) break;
        std::memcpy(store.m_szBDTime, store.m_szNewTime, sizeof(store.m_szBDTime));
        store.m_nBDMaterial = store.m_nMaterialCode;
        store.m_dBDLeftPoint = 1;
        for (double& value : store.m_dBDSeq) value = 2.5;
        if (store.ResultInsertBD() != 1) break;
        ++loop.processed;
    }
    return loop;
}

// The statement the README gives for repairing charge times on each product.
std::string RepairSql(bool postgres) {
    if (postgres)
        return "UPDATE matrix_bl_roof_weight_new SET RECEIVETIME = date_trunc('second', RECEIVETIME + interval "
               "'0.5 second') WHERE RECEIVETIME <> date_trunc('second', RECEIVETIME);";
    return "UPDATE matrix_bl_roof_weight_new SET RECEIVETIME = strftime('%Y-%m-%d %H:%M:%S', RECEIVETIME, "
           "'+0.5 seconds') WHERE RECEIVETIME <> strftime('%Y-%m-%d %H:%M:%S', RECEIVETIME, '+0.5 seconds');";
}

TEST_P(ChargeKeyTest, EveryChargeIsProcessedOnceOrReported) {
    struct Case {
        const char* stored;        // RECEIVETIME as written into the table
        const char* shownSqlite;   // the stored time the report names; nullptr: keyed as it is
        const char* shownPostgres;
        const char* repaired;      // the charge's time after the README's repair; nullptr: by hand
    } cases[] = {
        {"2007-01-01 11:00:00", nullptr, nullptr, "2007-01-01 11:00:00"},
        {"2007-01-01 11:00:00.123", "2007-01-01 11:00:00.123", "2007-01-01 11:00:00.123", "2007-01-01 11:00:00"},
        {"2007-01-01 11:00:00.7", "2007-01-01 11:00:00.7", "2007-01-01 11:00:00.7", "2007-01-01 11:00:01"},
        {"2007-01-01 11:00:00.000", "2007-01-01 11:00:00.000", nullptr, "2007-01-01 11:00:00"},
        {"2007-01-01T11:00:00", "2007-01-01T11:00:00", nullptr, "2007-01-01 11:00:00"},
        {"2007-1-1 11:00:00", "2007-1-1 11:00:00", nullptr, nullptr},
    };
    const std::string prefix = "错误编号DumpSelectNewBD，错误信息:";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        const char* shown = Postgres() ? c.shownPostgres : c.shownSqlite;
        Client("DELETE FROM MODEL_RESULTBURDENDIS; DELETE FROM matrix_bl_roof_weight_new;");
        AddCharge("2007-01-01 10:00:00", 1, "4", "1");
        AddResult("2007-01-01 10:00:00", "10", "0", 1.0);  // the seed at the first charge
        AddCharge(c.stored, 2, "5", "0");
        AddRuler("2007-01-01 09:00:00", "1", "2");
        shown_.clear();

        CMorvane store;
        ASSERT_EQ(Connect(store), 1);
        std::strcpy(store.m_szNewTime, "kept");
        Loop loop = RunHostLoop(store);
        if (!shown) {
            EXPECT_EQ(loop.processed, 1);
            EXPECT_EQ(loop.last, 0);
            EXPECT_TRUE(shown_.empty()) << shown_.front().text;
        } else {
            EXPECT_EQ(loop.processed, 0);
            EXPECT_EQ(loop.last, -1);
            ASSERT_EQ(shown_.size(), 1u);
            EXPECT_EQ(shown_[0].text.rfind(prefix, 0), 0u) << shown_[0].text;
            EXPECT_NE(shown_[0].text.find(std::string("\"") + shown + "\""), std::string::npos) << shown_[0].text;
            EXPECT_STREQ(store.m_szNewTime, "kept");  // no key a host could store by mistake

            // Reported every time it is met, so that every host loop ends.
            EXPECT_EQ(store.DumpSelectNewBD(), -1);
            EXPECT_EQ(shown_.size(), 2u);
            EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 1);

            // The README's repair makes the charge keyable, where it can.
            Client(RepairSql(Postgres()));
            shown_.clear();
            loop = RunHostLoop(store);
            if (c.repaired) {
                EXPECT_EQ(loop.processed, 1);
                EXPECT_EQ(loop.last, 0);
                EXPECT_EQ(ClientValue("SELECT RECEIVETIME FROM matrix_bl_roof_weight_new WHERE CHARGE = 2;"),
                          c.repaired);
            } else {
                EXPECT_EQ(loop.last, -1);
                Client("UPDATE matrix_bl_roof_weight_new SET RECEIVETIME = '2007-01-01 11:00:00' WHERE CHARGE = 2;");
                loop = RunHostLoop(store);
                EXPECT_EQ(loop.processed, 1);
                EXPECT_EQ(loop.last, 0);
            }
        }

        // A later charge is handed out once, after either outcome.
        AddCharge("2007-01-01 12:00:00", 3, "6", "1");
        loop = RunHostLoop(store);
        EXPECT_EQ(loop.processed, 1);
        EXPECT_EQ(loop.last, 0);

        // Each result belongs to exactly one charge, and no charge has two results.
        EXPECT_EQ(ClientValue("SELECT COUNT(*) FROM MODEL_RESULTBURDENDIS r WHERE NOT EXISTS (SELECT 1 FROM "
                              "matrix_bl_roof_weight_new w WHERE w.RECEIVETIME = r.TIMESTAMP);"),
                  "0");
        EXPECT_EQ(ClientValue("SELECT COUNT(*) FROM matrix_bl_roof_weight_new w WHERE (SELECT COUNT(*) FROM "
                              "MODEL_RESULTBURDENDIS r WHERE r.TIMESTAMP = w.RECEIVETIME) > 1;"),
                  "0");
        EXPECT_EQ(ClientCount("MODEL_RESULTBURDENDIS"), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, ChargeKeyTest, ::testing::Values(Target::Sqlite, Target::Postgres), TargetName);

}  // namespace
}  // namespace plant
