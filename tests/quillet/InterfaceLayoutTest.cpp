// Hosts call IQuillet through its virtual table, so the order of its operations is a
// binary contract. On this ABI a pointer to a virtual member holds 1 + the entry's byte
// offset in the table: the operations must follow CObject's five functions (its
// destructor taking two entries) one entry apart, in declaration order.
#include <gtest/gtest.h>
#include <quillet/Quillet.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

template <class Member>
std::uintptr_t Slot(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::uintptr_t), "Itanium member function pointer");
    std::uintptr_t words[2];
    std::memcpy(words, &member, sizeof words);
    return words[0];
}

TEST(InterfaceLayout, OperationsFollowCObjectInDeclaredOrder) {
    const std::vector<std::uintptr_t> slots = {
        Slot(&IQuillet::GetErrorText),
        Slot(&IQuillet::EditConnectionString),
        Slot(&IQuillet::SetConnectionString),
        Slot(&IQuillet::GetConnectionString),
        Slot(&IQuillet::OpenDatabase),
        Slot(&IQuillet::CloseDatabase),
        Slot(&IQuillet::IsDatabaseOpen),
        Slot(&IQuillet::GetConnection),
        Slot(&IQuillet::SetConnection),
        Slot(&IQuillet::CreateTable),
        Slot(&IQuillet::CreateTableEx),
        Slot(&IQuillet::DropTable),
        Slot(&IQuillet::GetTableNames),
        Slot(&IQuillet::GetFieldName),
        Slot(&IQuillet::GetColumnNames),
        Slot(&IQuillet::OpenRecordset),
        Slot(&IQuillet::ExecuteSql),
        Slot(&IQuillet::TranslateSql),
        Slot(&IQuillet::OpenQuery),
        Slot(&IQuillet::GetLastSql),
        Slot(&IQuillet::GetRecordset),
        Slot(&IQuillet::GetDatabaseKind),
        Slot(&IQuillet::IsRecordsetOpen),
        Slot(&IQuillet::CloseRecordset),
        Slot(&IQuillet::GetRecordCount),
        Slot(&IQuillet::GetFieldCount),
        Slot(&IQuillet::AddNew),
        Slot(&IQuillet::Update),
        Slot(&IQuillet::UpdateBatch),
        Slot(&IQuillet::Delete),
        Slot(&IQuillet::MoveFirst),
        Slot(&IQuillet::MovePrevious),
        Slot(&IQuillet::MoveNext),
        Slot(&IQuillet::MoveLast),
        Slot(&IQuillet::Move),
        Slot(&IQuillet::GetAbsolutePosition),
        Slot(&IQuillet::SetAbsolutePosition),
        Slot(&IQuillet::IsEOF),
        Slot(&IQuillet::IsBOF),
        Slot(&IQuillet::SetFieldChunk),
        Slot(&IQuillet::SetFieldTime),
        Slot(&IQuillet::SetFieldBool),
        Slot(&IQuillet::SetFieldByte),
        Slot(&IQuillet::SetFieldShort),
        Slot(&IQuillet::SetFieldInt),
        Slot(&IQuillet::SetFieldLong),
        Slot(&IQuillet::SetFieldFloat),
        Slot(&IQuillet::SetFieldDouble),
        Slot(&IQuillet::SetFieldString),
        Slot(&IQuillet::SetFieldValue),
        Slot(&IQuillet::SetFieldChunkAt),
        Slot(&IQuillet::SetFieldTimeAt),
        Slot(&IQuillet::SetFieldBoolAt),
        Slot(&IQuillet::SetFieldByteAt),
        Slot(&IQuillet::SetFieldShortAt),
        Slot(&IQuillet::SetFieldIntAt),
        Slot(&IQuillet::SetFieldLongAt),
        Slot(&IQuillet::SetFieldFloatAt),
        Slot(&IQuillet::SetFieldDoubleAt),
        Slot(&IQuillet::SetFieldStringAt),
        Slot(&IQuillet::SetFieldValueAt),
        Slot(&IQuillet::GetFieldChunk),
        Slot(&IQuillet::GetFieldTime),
        Slot(&IQuillet::GetFieldBool),
        Slot(&IQuillet::GetFieldChar),
        Slot(&IQuillet::GetFieldShort),
        Slot(&IQuillet::GetFieldInt),
        Slot(&IQuillet::GetFieldLong),
        Slot(&IQuillet::GetFieldFloat),
        Slot(&IQuillet::GetFieldDouble),
        Slot(&IQuillet::GetFieldString),
        Slot(&IQuillet::GetFieldValue),
        Slot(&IQuillet::GetFieldChunkAt),
        Slot(&IQuillet::GetFieldTimeAt),
        Slot(&IQuillet::GetFieldBoolAt),
        Slot(&IQuillet::GetFieldCharAt),
        Slot(&IQuillet::GetFieldShortAt),
        Slot(&IQuillet::GetFieldIntAt),
        Slot(&IQuillet::GetFieldLongAt),
        Slot(&IQuillet::GetFieldFloatAt),
        Slot(&IQuillet::GetFieldDoubleAt),
        Slot(&IQuillet::GetFieldStringAt),
        Slot(&IQuillet::GetFieldValueAt),
        Slot(&IQuillet::GetFieldActualSizeAt),
        Slot(&IQuillet::GetFieldActualSize),
        Slot(&IQuillet::GetFieldType),
        Slot(&IQuillet::GetFieldTypeAt),
        Slot(&IQuillet::SetVarcharLength),
        Slot(&IQuillet::SetCacheSize),
        Slot(&IQuillet::Supports),
        Slot(&IQuillet::GetRowIndex),
    };
    ASSERT_EQ(slots.size(), 91u);
    // GetRuntimeClass, two destructor entries, Serialize, AssertValid, Dump.
    const std::uintptr_t first = 6 * sizeof(void*);
    EXPECT_EQ(Slot(&CObject::Dump), 1 + 5 * sizeof(void*));
    for (std::size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], 1 + first + i * sizeof(void*)) << "operation " << i;
}

}  // namespace
