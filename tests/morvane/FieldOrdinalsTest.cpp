// Field positions found once for a list of names must be the fields a lookup by name
// finds: the first of a name, letters A-Z in any case, nothing for a name no field has.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <morvane/FieldOrdinals.h>

#include "TestDatabases.h"

namespace {

using testdb::Target;

TEST(FieldOrdinals, FindTheFieldALookupByNameFinds) {
    const std::string file = testdb::TempSqliteFile("field_ordinals");
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    {
        _ConnectionPtr connection;
        ASSERT_EQ(S_OK, connection.CreateInstance("ADODB.Connection"));
        connection->Open(_bstr_t(testdb::ConnectionString(Target::SqliteNative, file).c_str()), _bstr_t(""), _bstr_t(""),
                         adConnectUnspecified);
        connection->Execute(_bstr_t("CREATE TABLE t (Seq_1 REAL, seq_2 REAL, \"SEQ_\xC3\xA9\" REAL, \"a\"\"b\" REAL)"),
                            nullptr, adCmdText);
        _RecordsetPtr recordset;
        ASSERT_EQ(S_OK, recordset.CreateInstance("ADODB.Recordset"));
        // A name twice: the first keeps it, as in the recordset's own lookup.
        recordset->Open(_variant_t("SELECT seq_2, Seq_1, seq_1 AS SEQ_1x, Seq_1 AS seq_2, \"SEQ_\xC3\xA9\", \"a\"\"b\" FROM t"),
                        _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic, adLockOptimistic, adCmdText);
        struct Case {
            const char* name;
            long ordinal;
        };
        const Case cases[] = {
            {"SEQ_1", 1},   {"seq_1", 1},        {"SEQ_2", 0},  {"seq_1x", 2}, {"SEQ_\xC3\xA9", 4},
            {"seq_\xC3\xA9", 4}, {"SEQ_\xC3\x89", -1}, {"a\"b", 5},   {"SEQ_3", -1}, {"", -1},
            {"SEQ_", -1},
        };
        std::vector<std::string> names;
        for (const Case& c : cases) names.push_back(c.name);
        const std::vector<long> ordinals = morvane::FieldOrdinals(recordset, names);
        ASSERT_EQ(names.size(), ordinals.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(cases[i].ordinal, ordinals[i]) << names[i];
            if (ordinals[i] < 0) continue;
            // The recordset's own lookup agrees.
            FieldPtr byName = recordset->GetFields()->GetItem(_variant_t(names[i].c_str()));
            FieldPtr byOrdinal = recordset->GetFields()->GetItem(_variant_t(ordinals[i]));
            EXPECT_EQ(std::string(static_cast<const char*>(byName->GetName())),
                      std::string(static_cast<const char*>(byOrdinal->GetName())))
                << names[i];
        }
        recordset->Close();
        connection->Close();
    }
    CoUninitialize();
    std::filesystem::remove(file);
}

}  // namespace
