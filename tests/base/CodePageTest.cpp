#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <dbplatform/base/CodePage.h>

namespace {

TEST(CodePage, Utf8AndUtf16RoundTrip) {
    const std::string samples[] = {"", "plain", "Grüße", "€ 5", "𝄞 clef", std::string("a\0b", 3)};
    for (const std::string& sample : samples) {
        std::u16string wide = dbplatform::WideFromUtf8(sample);
        EXPECT_EQ(dbplatform::Utf8FromWide(wide), sample);
    }
    EXPECT_EQ(dbplatform::WideFromUtf8("𝄞"), std::u16string(u"\xD834\xDD1E"));
}

TEST(CodePage, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        std::string utf8;
        std::u16string wide;
    } cases[] = {
        {"\xff", u"\xFFFD"},
        {"a\xc3", u"a\xFFFD"},               // truncated sequence at the end
        {"\xc0\xaf", u"\xFFFD\xFFFD"},       // overlong '/'
        {"\xed\xa0\x80", u"\xFFFD\xFFFD\xFFFD"},  // encoded surrogate
        {"\xf4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // past U+10FFFF
    };
    for (const Case& c : cases) EXPECT_EQ(dbplatform::WideFromUtf8(c.utf8), c.wide) << c.utf8;
    EXPECT_EQ(dbplatform::Utf8FromWide(u"x\xD800y"), "x\xEF\xBF\xBDy");
}

TEST(CodePage, Win32CallsReportSizesAndRefuseShortBuffers) {
    const char* text = "Grüße";  // 7 bytes, 5 UTF-16 units
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 6);  // terminator counted
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 7, nullptr, 0), 5);
    WCHAR wide[6];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 6), 6);
    EXPECT_EQ(std::u16string(wide), u"Grüße");
    WCHAR small[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 3), 0);

    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr), 8);
    char back[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, back, 8, nullptr, nullptr), 8);
    EXPECT_STREQ(back, text);
    char tight[7];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, tight, 7, nullptr, nullptr), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, text, -1, wide, 6), 0);  // no other code page here
}

TEST(CodePage, WsprintfStopsAtItsLimit) {
    char buffer[1024];
    EXPECT_EQ(wsprintfA(buffer, "%s-%d", "row", 42), 6);
    EXPECT_STREQ(buffer, "row-42");
    std::string longText(3000, 'x');
    EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(buffer), 1023u);
}

}  // namespace
