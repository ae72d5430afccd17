#include <gtest/gtest.h>

#include <cstring>

#include <dbplatform/base/HResult.h>
#include <dbplatform/base/SystemMessage.h>

namespace {

struct MessageCase {
    HRESULT code;
    const char* text;  // nullptr: no system message
};

const MessageCase kCases[] = {
    {S_OK, "The operation completed successfully."},
    {E_FAIL, "Unspecified error"},
    {E_POINTER, "Invalid pointer"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {E_ABORT, "Operation aborted"},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {CO_E_CLASSSTRING, "Invalid class string"},
    // ADO's own errors and the OLE DB codes have no system message.
    {adErrNoCurrentRecordHr, nullptr},
    {adErrItemNotFoundHr, nullptr},
    {DB_E_ERRORSINCOMMAND, nullptr},
    {DB_E_CONCURRENCYVIOLATION, nullptr},
    {static_cast<HRESULT>(0x80041234), nullptr},
};

TEST(SystemMessage, TableTextsWithoutLineBreak) {
    for (const MessageCase& c : kCases) {
        SCOPED_TRACE(c.code);
        const char* text = dbplatform::SystemMessage(c.code);
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr);
        } else {
            ASSERT_NE(text, nullptr);
            EXPECT_STREQ(text, c.text);
            EXPECT_EQ(std::strchr(text, '\n'), nullptr);
            EXPECT_EQ(std::strchr(text, '\r'), nullptr);
        }
    }
}

TEST(SystemMessage, FormatMessageIntoBufferAndAllocated) {
    char buffer[128];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(E_FAIL), 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(length, std::strlen("Unspecified error"));
    EXPECT_STREQ(buffer, "Unspecified error");

    char* allocated = nullptr;
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                            static_cast<DWORD>(DISP_E_TYPEMISMATCH), 0, reinterpret_cast<LPSTR>(&allocated), 0,
                            nullptr);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(length, std::strlen("Type mismatch."));
    EXPECT_STREQ(allocated, "Type mismatch.");
    EXPECT_EQ(LocalFree(allocated), nullptr);
}

TEST(SystemMessage, FormatMessageRefusesUnknownCodesAndShortBuffers) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(adErrObjectClosedHr), 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    // Too small for "Unspecified error": nothing written past the buffer, failure reported.
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_FAIL), 0, buffer,
                             sizeof buffer, nullptr),
              0u);
}

}  // namespace
