// The whole road of a host on each product: create, list, fill, query, walk, read every
// typed field, a 1 MB blob, delete and drop.
#include "QuilletTestSupport.h"

#include <TestDatabases.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace quillettest;

namespace {

struct Product {
    testdb::Target target;
    int kind;
    const char* blobType;  // MariaDB's BLOB holds 64 KB only
};

bool ContainsNoCase(const std::vector<std::string>& items, const std::string& wanted) {
    return std::any_of(items.begin(), items.end(),
                       [&](const std::string& item) { return strcasecmp(item.c_str(), wanted.c_str()) == 0; });
}

class QuilletRoad : public ::testing::TestWithParam<Product> {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("quillet_road");
        connection_ = testdb::ConnectionString(GetParam().target, file_);
    }
    void TearDown() override { std::remove(file_.c_str()); }
    std::string file_;
    std::string connection_;
};

constexpr long kBlobSize = 1 << 20;

CTime DayTime(int id) { return CTime(2010, 2, 20 + id, 10, 0, 0); }

// Writes row `id` through the by-name setters, or the by-position ones.
void FillRow(IQuillet* q, int id, bool byPosition) {
    ASSERT_EQ(q->AddNew(), 1) << q->GetErrorText().str();
    CString name;
    name.Format("name %d", id);
    double amount = id * 1.5;
    bool flag = id % 2 == 0;
    if (byPosition) {
        EXPECT_EQ(q->SetFieldIntAt(0, id), 1);
        EXPECT_EQ(q->SetFieldStringAt(1, name), 1);
        EXPECT_EQ(q->SetFieldTimeAt(2, DayTime(id)), 1);
        EXPECT_EQ(q->SetFieldDoubleAt(3, amount), 1);
        EXPECT_EQ(q->SetFieldBoolAt(4, flag), 1);
    } else {
        EXPECT_EQ(q->SetFieldInt("ID", id), 1);
        EXPECT_EQ(q->SetFieldString("NAME", name), 1);
        EXPECT_EQ(q->SetFieldTime("T0", DayTime(id)), 1);
        EXPECT_EQ(q->SetFieldDouble("AMOUNT", amount), 1);
        EXPECT_EQ(q->SetFieldBool("FLAG", flag), 1);
    }
    ASSERT_EQ(q->Update(), 1) << q->GetErrorText().str();
}

// Reads the current row through every typed getter, by name and by position.
void ExpectRow(IQuillet* q, int id) {
    SCOPED_TRACE("row " + std::to_string(id));
    int integer = 0;
    long wide = 0;
    short small = 0;
    char byte = 0;
    double amount = 0;
    float single = 0;
    bool flag = !(id % 2 == 0);
    CString name;
    CTime time;
    EXPECT_EQ(q->GetFieldInt("ID", integer), 1);
    EXPECT_EQ(integer, id);
    EXPECT_EQ(q->GetFieldLongAt(0, wide), 1);
    EXPECT_EQ(wide, id);
    EXPECT_EQ(q->GetFieldShort("ID", small), 1);
    EXPECT_EQ(small, id);
    EXPECT_EQ(q->GetFieldCharAt(0, byte), 1);
    EXPECT_EQ(byte, id);
    EXPECT_EQ(q->GetFieldString("NAME", name), 1);
    EXPECT_EQ(name.str(), "name " + std::to_string(id));
    EXPECT_EQ(q->GetFieldStringAt(1, name), 1);
    EXPECT_EQ(name.str(), "name " + std::to_string(id));
    EXPECT_EQ(q->GetFieldTime("T0", time), 1);
    EXPECT_EQ(time, DayTime(id));
    EXPECT_EQ(q->GetFieldTimeAt(2, time), 1);
    EXPECT_EQ(time, DayTime(id));
    EXPECT_EQ(q->GetFieldDouble("AMOUNT", amount), 1);
    EXPECT_EQ(amount, id * 1.5);
    EXPECT_EQ(q->GetFieldFloatAt(3, single), 1);
    EXPECT_EQ(single, static_cast<float>(id * 1.5));
    EXPECT_EQ(q->GetFieldDoubleAt(3, amount), 1);
    EXPECT_EQ(q->GetFieldFloat("AMOUNT", single), 1);
    EXPECT_EQ(q->GetFieldBool("FLAG", flag), 1);
    EXPECT_EQ(flag, id % 2 == 0);
    EXPECT_EQ(q->GetFieldBoolAt(4, flag), 1);
    EXPECT_EQ(flag, id % 2 == 0);
    EXPECT_EQ(q->GetFieldInt("NAME", integer), 0);  // "name 1" is no number
}

TEST_P(QuilletRoad, CreateFillQueryWalkDeleteDrop) {
    TESTDB_REQUIRE(connection_, GetParam().target);
    auto quillet = Make(connection_);
    IQuillet* q = quillet.get();
    EXPECT_EQ(q->GetDatabaseKind(), GetParam().kind);
    const std::string table = testdb::UniqueName("qt_road");
    const std::string tableEx = testdb::UniqueName("qt_roadex");
    q->DropTable(CString(table));
    q->DropTable(CString(tableEx));

    auto names = List({"ID", "NAME", "T0", "AMOUNT", "FLAG", "DATA"});
    auto types = List({"int", "varchar", "datetime", "float", "int", GetParam().blobType});
    ASSERT_EQ(q->CreateTable(CString(table), names.get(), types.get()), 1)
        << q->GetErrorText().str() << "\n" << q->GetLastSql().str();
    auto exNames = List({"ID", "NAME"});
    auto exTypes = List({"int", "VARCHAR"});
    auto exSizes = List({"0", "50"});
    auto exExtras = List({"", ""});
    auto exNulls = List({"not null", ""});
    ASSERT_EQ(q->CreateTableEx(CString(tableEx), exNames.get(), exTypes.get(), exSizes.get(), exExtras.get(),
                               exNulls.get()),
              1)
        << q->GetErrorText().str() << "\n" << q->GetLastSql().str();

    CStringList listed;
    ASSERT_EQ(q->GetTableNames(&listed), 1) << q->GetErrorText().str();
    EXPECT_TRUE(ContainsNoCase(Items(listed), table));
    EXPECT_TRUE(ContainsNoCase(Items(listed), tableEx));
    CStringList columns;
    columns.AddTail("already there");
    ASSERT_EQ(q->GetColumnNames(CString(table), &columns), 1) << q->GetErrorText().str();
    auto columnNames = Items(columns);
    ASSERT_EQ(columnNames.size(), 7u);
    for (const char* column : {"ID", "NAME", "T0", "AMOUNT", "FLAG", "DATA"})
        EXPECT_TRUE(ContainsNoCase(columnNames, column)) << column;

    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "", "", "", "", "", "", 0), 1) << q->GetErrorText().str();
    for (int id = 1; id <= 5; ++id) {
        FillRow(q, id, id > 3);
        ASSERT_FALSE(HasFatalFailure()) << "row " << id;
    }
    EXPECT_EQ(q->CloseRecordset(), 1);

    // A 1 MB blob written in two chunks of one edit.
    std::vector<unsigned char> blob(kBlobSize);
    for (long i = 0; i < kBlobSize; ++i) blob[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "ID", "1", "1", "int", "", "", 0), 1) << q->GetErrorText().str();
    ASSERT_EQ(q->GetRecordCount(), 1);
    EXPECT_EQ(q->SetFieldChunk("DATA", blob.data(), kBlobSize / 2), 1) << q->GetErrorText().str();
    EXPECT_EQ(q->SetFieldChunkAt(5, blob.data() + kBlobSize / 2, kBlobSize / 2), 1) << q->GetErrorText().str();
    ASSERT_EQ(q->Update(), 1) << q->GetErrorText().str();
    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "ID", "1", "1", "int", "", "", 0), 1);
    EXPECT_EQ(q->GetFieldActualSize("DATA"), kBlobSize);
    std::vector<unsigned char> read(kBlobSize + 64, 0xEE);
    unsigned char* buffer = read.data();
    long asked = kBlobSize + 64;
    ASSERT_EQ(q->GetFieldChunk("DATA", buffer, asked), 1) << q->GetErrorText().str();
    EXPECT_TRUE(std::equal(blob.begin(), blob.end(), read.begin()));
    EXPECT_EQ(read[kBlobSize], 0xEE);
    long half = kBlobSize / 2;
    std::fill(read.begin(), read.end(), 0);
    ASSERT_EQ(q->GetFieldChunkAt(5, buffer, half), 1);
    EXPECT_TRUE(std::equal(blob.begin(), blob.begin() + half, read.begin()));
    EXPECT_EQ(q->GetRowIndex(), -1);

    // Range, order and a row limit; walk forwards by name, backwards by position.
    auto some = List({"ID", "NAME", "T0", "AMOUNT", "FLAG"});
    ASSERT_EQ(q->OpenQuery(CString(table), some.get(), "ID", "2", "4", "int", "ID", "desc", 0), 1)
        << q->GetErrorText().str() << "\n" << q->GetLastSql().str();
    ASSERT_EQ(q->GetRecordCount(), 3);
    EXPECT_EQ(q->GetFieldCount(), 5);
    int expected = 4;
    for (q->MoveFirst(); !q->IsEOF(); q->MoveNext()) ExpectRow(q, expected--);
    EXPECT_EQ(expected, 1);
    EXPECT_EQ(q->GetRowIndex(), 3);
    expected = 2;
    for (q->MoveLast(); !q->IsBOF(); q->MovePrevious()) ExpectRow(q, expected++);
    EXPECT_EQ(expected, 5);
    EXPECT_EQ(q->GetRowIndex(), -1);

    ASSERT_EQ(q->OpenQuery(CString(table), some.get(), "ID", "1", "", "int", "ID", "asc", 2), 1)
        << q->GetErrorText().str() << "\n" << q->GetLastSql().str();
    ASSERT_EQ(q->GetRecordCount(), 2);
    ExpectRow(q, 1);
    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "T0", "2010-02-24 00:00:00", "", "datetime", "ID", "", 0), 1)
        << q->GetErrorText().str() << "\n" << q->GetLastSql().str();
    EXPECT_EQ(q->GetRecordCount(), 2);
    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "NAME", "name 5", "", "varchar", "", "", 0), 1)
        << q->GetErrorText().str() << "\n" << q->GetLastSql().str();
    EXPECT_EQ(q->GetRecordCount(), 1);

    // Delete rows 4 and 5.
    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "ID", "4", "", "int", "ID", "", 0), 1);
    ASSERT_EQ(q->MoveFirst(), 1);
    EXPECT_EQ(q->Delete(1), 1) << q->GetErrorText().str();
    ASSERT_EQ(q->MoveNext(), 1);
    EXPECT_EQ(q->Delete(1), 1) << q->GetErrorText().str();
    EXPECT_EQ(q->CloseRecordset(), 1);
    ASSERT_EQ(q->OpenQuery(CString(table), nullptr, "", "", "", "", "", "", 0), 1);
    EXPECT_EQ(q->GetRecordCount(), 3);

    EXPECT_EQ(q->DropTable(CString(table)), 1) << q->GetErrorText().str();
    EXPECT_EQ(q->DropTable(CString(tableEx)), 1) << q->GetErrorText().str();
    ASSERT_EQ(q->GetTableNames(&listed), 1);
    EXPECT_FALSE(ContainsNoCase(Items(listed), table));
    EXPECT_EQ(q->DropTable(CString(table)), 0);
    EXPECT_FALSE(q->GetErrorText().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Products, QuilletRoad,
                         ::testing::Values(Product{testdb::Target::SqliteNative, DB_OTHER, "image"},
                                           Product{testdb::Target::PostgresNative, DB_POSTGRESQL, "image"},
                                           Product{testdb::Target::PostgresOdbc, DB_POSTGRESQL, "image"},
                                           Product{testdb::Target::MariaOdbc, DB_MYSQL, "longblob"}),
                         [](const ::testing::TestParamInfo<Product>& info) {
                             return std::string(testdb::TargetName(info.param.target));
                         });

}  // namespace
