// Sizes that do not fit the narrower type of a platform call are refused, never cut.
// The huge lengths are never allocated: the byte ranges are MAP_NORESERVE mappings, or
// the length is checked before anything reads the small real buffer behind it.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <dbplatform/ado/ValueConversion.h>
#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "TestDatabases.h"

namespace {

constexpr unsigned long long kFourGiB = 1ull << 32;

// A read-only range of `size` zero bytes that reserves no memory.
class HugeRange {
public:
    explicit HugeRange(std::size_t size) : size_(size) {
        void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        data_ = at == MAP_FAILED ? nullptr : static_cast<const char*>(at);
    }
    ~HugeRange() {
        if (data_) munmap(const_cast<char*>(data_), size_);
    }
    HugeRange(const HugeRange&) = delete;
    HugeRange& operator=(const HugeRange&) = delete;
    std::string_view view() const { return {data_, size_}; }
    bool ok() const { return data_ != nullptr; }

private:
    const char* data_ = nullptr;
    std::size_t size_;
};

TEST(SafeArrayBounds, UpperBoundMustFitALong) {
    struct Case {
        const char* what;
        VARTYPE type;
        LONG lower;
        ULONG elements;
        bool created;
    };
    const Case cases[] = {
        {"small byte vector", VT_UI1, 0, 16, true},
        {"upper bound exactly LONG max", VT_UI1, INT32_MAX - 15, 16, true},
        {"upper bound one past LONG max", VT_UI1, INT32_MAX - 15, 17, false},
        {"2^31 elements from bound 1", VT_UI1, 1, 0x80000000u, false},
        {"ULONG max elements", VT_UI1, 0, 0xFFFFFFFFu, false},
        {"variants past LONG max", VT_VARIANT, -5, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SAFEARRAY* array = SafeArrayCreateVector(c.type, c.lower, c.elements);
        EXPECT_EQ(array != nullptr, c.created);
        if (array) {
            LONG upper = 0;
            ASSERT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
            EXPECT_EQ(static_cast<long long>(upper), static_cast<long long>(c.lower) + c.elements - 1);
            SafeArrayDestroy(array);
        }
    }
}

// Byte values and texts longer than their VARIANT form can hold fail with E_OUTOFMEMORY
// and a description naming the size, before any copy.
TEST(ValueSizes, HugeCellsAreRefusedWhole) {
    using dbplatform::provider::CellView;
    using dbplatform::provider::ValueKind;
    struct Case {
        const char* what;
        unsigned long long size;
        ValueKind kind;
        DataTypeEnum column;
    };
    const Case cases[] = {
        {"bytes of 2^32 + 16", kFourGiB + 16, ValueKind::Bytes, adLongVarBinary},
        {"bytes of 2^31 + 1", (1ull << 31) + 1, ValueKind::Bytes, adLongVarBinary},
        {"text of 2^32 + 16", kFourGiB + 16, ValueKind::Text, adVarWChar},
        {"text as bytes of 2^32 + 16", kFourGiB + 16, ValueKind::Text, adLongVarBinary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HugeRange range(c.size);
        ASSERT_TRUE(range.ok());
        CellView cell;
        cell.kind = c.kind;
        cell.bytes = range.view();
        VARIANT out;
        VariantInit(&out);
        testcom::Failure failure =
            testcom::FailureOf([&] { dbplatform::ado::CellToVariant(cell, c.column, &out); });
        EXPECT_EQ(failure.hr, E_OUTOFMEMORY);
        EXPECT_NE(failure.description.find(std::to_string(c.size)), std::string::npos) << failure.description;
        EXPECT_TRUE(out.vt == VT_EMPTY) << out.vt;
    }
}

}  // namespace
