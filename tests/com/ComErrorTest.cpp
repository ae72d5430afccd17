#include <gtest/gtest.h>

#include <dbplatform/com/ComError.h>

namespace {

struct MessageCase {
    HRESULT code;
    const char* message;
};

// Codes with a system message show it; OLE DB codes (no message) map to their wCode;
// ADO's codes and anything else show the hex form, in upper case, as unsigned 32 bits.
TEST(ComErrorTest, ErrorMessageForCodesWithAndWithoutSystemMessage) {
    const MessageCase cases[] = {
        {E_POINTER, "Invalid pointer"},
        {E_FAIL, "Unspecified error"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {DISP_E_TYPEMISMATCH, "Type mismatch."},
        {DISP_E_OVERFLOW, "Out of present range."},
        {E_INVALIDARG, "The parameter is incorrect."},
        {DB_E_ERRORSINCOMMAND, "IDispatch error #3092"},
        {DB_E_CONCURRENCYVIOLATION, "IDispatch error #3128"},
        {static_cast<HRESULT>(0x80040201), "IDispatch error #1"},
        {static_cast<HRESULT>(0x8004FFFF), "IDispatch error #65023"},
        {static_cast<HRESULT>(0x80040200), "Unknown error 0x80040200"},
        {adErrItemNotFoundHr, "Unknown error 0x800A0CC1"},
        {adErrObjectClosedHr, "Unknown error 0x800A0E78"},
        {static_cast<HRESULT>(0x80050000), "Unknown error 0x80050000"},
        {static_cast<HRESULT>(0x0000ABCD), "Unknown error 0xABCD"},
    };
    for (const MessageCase& c : cases) {
        _com_error error(c.code);
        EXPECT_STREQ(error.ErrorMessage(), c.message) << std::hex << c.code;
        // Asked twice, the same text comes back from the same storage.
        EXPECT_EQ(error.ErrorMessage(), error.ErrorMessage());
    }
}

TEST(ComErrorTest, WCodeCoversOnlyTheDispatchRange) {
    const std::pair<std::uint32_t, WORD> cases[] = {
        {0x80040200u, 0},     {0x80040201u, 1},     {0x80040E14u, 3092},
        {0x8004FFFFu, 65023}, {0x800401FFu, 0},     {0x80050000u, 0},
        {0x800A0CC1u, 0},
    };
    for (auto [code, wcode] : cases) EXPECT_EQ(_com_error(static_cast<HRESULT>(code)).WCode(), wcode) << std::hex << code;
}

TEST(ComErrorTest, DescriptionCarriesTheProvidersUtf8TextAndSurvivesCopies) {
    _com_error original(DB_E_NOTABLE, "no such table: größe");
    _com_error copy = original;
    _com_error assigned(E_FAIL);
    assigned = original;
    for (const _com_error* error : {&original, &copy, &assigned}) {
        EXPECT_EQ(error->Error(), DB_E_NOTABLE);
        EXPECT_EQ(error->Description().str(), "no such table: größe");
        EXPECT_STREQ(error->ErrorMessage(), "IDispatch error #3127");
    }
    EXPECT_EQ(_com_error(E_FAIL).Description().length(), 0u);
    EXPECT_EQ(_com_error(E_FAIL, static_cast<const char*>(nullptr)).Description().length(), 0u);
}

TEST(ComErrorTest, IssueFunctionsThrowTheCodeAndDescription) {
    try {
        _com_issue_error(E_NOINTERFACE);
        FAIL() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_NOINTERFACE);
        EXPECT_STREQ(error.ErrorMessage(), "No such interface supported");
    }
    try {
        _com_issue_errorex(adErrItemNotFoundHr, "Item cannot be found");
        FAIL() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), adErrItemNotFoundHr);
        EXPECT_EQ(error.Description().str(), "Item cannot be found");
    }
}

}  // namespace
