// Chunk writes through the interface with lengths and positions past what the platform's
// types hold: refused with a clear text before anything is read or copied.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>
#include <quillet/Quillet.h>

#include "TestDatabases.h"

namespace {

constexpr unsigned long long kFourGiB = 1ull << 32;

// The chunk writers through the interface, on a real SQLite file: a length past what a
// byte array holds is refused with a clear text before the 16-byte buffer is read, and
// the stored value stays as it was.
class ChunkSizes : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("chunk_sizes");
        q_ = CreateQuillet();
        q_->SetConnectionString(CString("Provider=SQLite;Data Source=" + file_ + ";Create=True"));
        ASSERT_EQ(q_->ExecuteSql("create table t (ID integer primary key, B blob, N integer)", 1), 1)
            << q_->GetErrorText().str();
        ASSERT_EQ(q_->ExecuteSql("insert into t values (1, x'0102', 7)", 1), 1) << q_->GetErrorText().str();
        ASSERT_EQ(q_->OpenRecordset("select * from t", 0, 3, 3, 1), 1) << q_->GetErrorText().str();
    }
    void TearDown() override {
        DeleteQuillet(q_);
        std::filesystem::remove(file_);
    }
    std::vector<unsigned char> StoredBytes() {
        IQuillet* reader = CreateQuillet();
        reader->SetConnectionString(CString("Provider=SQLite;Data Source=" + file_));
        std::vector<unsigned char> bytes(64, 0xEE);
        EXPECT_EQ(reader->OpenRecordset("select B from t where ID = 1", 0, 3, 1, 1), 1);
        long size = reader->GetFieldActualSize("B");
        unsigned char* buffer = bytes.data();
        long length = static_cast<long>(bytes.size());
        if (size > 0) {
            EXPECT_EQ(reader->GetFieldChunk("B", buffer, length), 1);
        }
        DeleteQuillet(reader);
        bytes.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        return bytes;
    }
    std::string file_;
    IQuillet* q_ = nullptr;
};

TEST_F(ChunkSizes, LengthsPastAByteArrayAreRefusedBeforeAnyCopy) {
    const unsigned char small[16] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    struct Case {
        const char* what;
        long length;
        bool byIndex;
    };
    const Case cases[] = {
        {"2^32 + 16 by name", static_cast<long>(kFourGiB + 16), false},
        {"2^32 + 16 by index", static_cast<long>(kFourGiB + 16), true},
        {"2^31 + 1 by name", (1L << 31) + 1, false},
        {"the largest long by index", LONG_MAX, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int result = c.byIndex ? q_->SetFieldChunkAt(1, small, c.length) : q_->SetFieldChunk("B", small, c.length);
        EXPECT_EQ(result, 0);
        std::string error = q_->GetErrorText().str();
        EXPECT_NE(error.find(std::to_string(c.length)), std::string::npos) << error;
        EXPECT_NE(error.find("larger than one byte array can hold"), std::string::npos) << error;
    }
    EXPECT_EQ(q_->Update(), 1) << q_->GetErrorText().str();
    EXPECT_EQ(StoredBytes(), (std::vector<unsigned char>{1, 2}));

    // The same row still takes a value of an ordinary length.
    EXPECT_EQ(q_->SetFieldChunk("B", small, 16), 1) << q_->GetErrorText().str();
    EXPECT_EQ(q_->Update(), 1) << q_->GetErrorText().str();
    EXPECT_EQ(StoredBytes(), std::vector<unsigned char>(small, small + 16));
}

// A field position is a 32-bit value carried in a long: one outside 32 bits names no
// field, where cutting it would name field 2^32 + k mod 2^32 = k.
TEST_F(ChunkSizes, PositionsOutside32BitsNameNoField) {
    const long positions[] = {static_cast<long>(kFourGiB + 2), static_cast<long>(kFourGiB) * -1 + 2};
    for (long position : positions) {
        SCOPED_TRACE(position);
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(q_->GetFieldValueAt(position, value), 0);
        VariantClear(&value);
        EXPECT_EQ(q_->SetFieldIntAt(position, 99), 0);
        const unsigned char bytes[2] = {5, 5};
        EXPECT_EQ(q_->SetFieldChunkAt(position - 1, bytes, 2), 0);
    }
    EXPECT_EQ(q_->Update(), 1) << q_->GetErrorText().str();
    int n = 0;
    EXPECT_EQ(q_->GetFieldInt("N", n), 1);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(StoredBytes(), (std::vector<unsigned char>{1, 2}));
}

}  // namespace
