// CMorvane shows only the system message of a failure; the diagnostics handler receives
// the reason behind it and the statement that failed.
#include <dbplatform/dbplatform.h>

#include <mutex>

#include "../morvane/PlantDatabase.h"

namespace plant {
namespace {

using DiagnosticsMorvane = PlantTest;

TEST_P(DiagnosticsMorvane, MissingTableReachesTheHandlerWithItsSql) {
    CMorvane store;
    ASSERT_EQ(Connect(store), 1);
    Client("DROP TABLE matrix_bl_roof_angle;");
    std::vector<dbplatform::DiagnosticRecord> records;
    dbplatform::SetDiagnosticHandler([&](const dbplatform::DiagnosticRecord& record) { records.push_back(record); });
    char time[] = "2005-12-19 08:00:00";
    int status = store.AngleSelectNew(time);
    dbplatform::SetDiagnosticHandler({});

    EXPECT_EQ(status, -1);
    ASSERT_EQ(records.size(), 1u);
    const dbplatform::DiagnosticRecord& record = records[0];
    EXPECT_EQ(record.source, "ADODB.Recordset");
    // The SQLite driver finds the table missing only when the first row is read.
    EXPECT_TRUE(record.operation == "Open" || record.operation == "Fetch") << record.operation;
    EXPECT_NE(record.sql.find("from matrix_bl_roof_angle"), std::string::npos) << record.sql;
    EXPECT_NE(record.sql.find("2005-12-19 08:00:00"), std::string::npos) << record.sql;
    const char* reason = Postgres() ? "does not exist" : "no such table";
    EXPECT_NE(record.description.find(reason), std::string::npos) << record.description;
    // The message box keeps its fixed form: the system message, not the reason.
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, Expected("AngleSelectNew", record.hr));
    EXPECT_EQ(shown_[0].text.find(reason), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Targets, DiagnosticsMorvane, ::testing::Values(Target::Sqlite, Target::Postgres), TargetName);

}  // namespace
}  // namespace plant
