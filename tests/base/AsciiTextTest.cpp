// The platform's ASCII text toolkit: only A-Z/a-z fold, every other byte (and every
// byte of a UTF-8 sequence) compares as itself; hex digit values; and which property
// texts count as "on".
#include <gtest/gtest.h>

#include <string>

#include <dbplatform/base/AsciiText.h>

namespace {

using namespace std::string_literals;

struct CompareCase {
    std::string a;
    std::string b;
    bool equal;
};

const CompareCase kCompareCases[] = {
    {"", "", true},
    {"Data Source", "DATA SOURCE", true},
    {"persist security info", "Persist Security Info", true},
    {"AZaz09", "azAZ09", true},
    {"abc", "abcd", false},  // different lengths
    {"abcd", "abc", false},
    {"", "a", false},
    // Neighbours of the letters that differ by 32 as letters do: a fold by `| 0x20`
    // would take them for one another.
    {"@", "`", false},
    {"[", "{", false},
    {"_", "\x7f", false},
    {"^", "~", false},
    // UTF-8 bytes are never folded: "ä" and "Ä" differ, as do Latin-1 é and É.
    {"\xc3\xa4", "\xc3\x84", false},
    {"\xe9", "\xc9", false},
    {"\xc3\xa4", "\xc3\xa4", true},
    // Embedded NULs are bytes like any other, not the end of the text.
    {"a\0b"s, "A\0B"s, true},
    {"a\0b"s, "a\0c"s, false},
    {"a\0"s, "a", false},
};

TEST(AsciiText, EqualNoCaseFoldsOnlyAsciiLetters) {
    for (const CompareCase& c : kCompareCases) {
        EXPECT_EQ(dbplatform::EqualNoCase(c.a, c.b), c.equal) << '"' << c.a << "\" vs \"" << c.b << '"';
        EXPECT_EQ(dbplatform::EqualNoCase(c.b, c.a), c.equal) << "symmetric: " << c.b;
    }
}

TEST(AsciiText, PrefixAndSuffix) {
    struct Case {
        const char* text;
        const char* part;
        bool starts;
        bool ends;
    } cases[] = {
        {"Driver=/usr/lib/x.so", "driver=", true, false},
        {"NUMERIC(10,2)", "numeric", true, false},
        {"MyPassword", "PASSWORD", false, true},
        {"pwd", "PWD", true, true},
        {"pw", "pwd", false, false},  // part longer than the text
        {"abc", "", true, true},
        {"", "", true, true},
        {"\xc3\x84x", "\xc3\xa4", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dbplatform::StartsWithNoCase(c.text, c.part), c.starts) << c.text << " / " << c.part;
        EXPECT_EQ(dbplatform::EndsWithNoCase(c.text, c.part), c.ends) << c.text << " / " << c.part;
    }
}

TEST(AsciiText, LoweredAndUpperedCopiesKeepOtherBytes) {
    EXPECT_EQ(dbplatform::AsciiLowered("MiXeD_09 \xc3\x84\xc3\xa4@[`{"), "mixed_09 \xc3\x84\xc3\xa4@[`{");
    EXPECT_EQ(dbplatform::AsciiUppered("MiXeD_09 \xc3\x84\xc3\xa4@[`{"), "MIXED_09 \xc3\x84\xc3\xa4@[`{");
    EXPECT_EQ(dbplatform::AsciiLowered("A\0B"s), "a\0b"s);
    EXPECT_EQ(dbplatform::AsciiLowered(""), "");
}

TEST(AsciiText, Utf16UnitsFoldOnlyAsciiLetters) {
    struct Case {
        char16_t unit;
        char16_t lower;
    } cases[] = {
        {u'A', u'a'}, {u'Z', u'z'}, {u'a', u'a'}, {u'@', u'@'}, {u'[', u'['},
        {u'\u00c4', u'\u00c4'},  // Ä stays
        {u'\u0141', u'\u0141'},  // Ł: its low byte is 'A', the unit is no letter A
        {u'\uff21', u'\uff21'},  // fullwidth A
    };
    for (const Case& c : cases) EXPECT_EQ(dbplatform::AsciiLower(c.unit), c.lower) << static_cast<int>(c.unit);
}

TEST(AsciiText, HexDigitValues) {
    struct Case {
        char c;
        int value;
    } cases[] = {
        {'0', 0},   {'9', 9},   {'a', 10},  {'f', 15},  {'A', 10},   {'F', 15},
        // The bytes right next to each range, and bytes that are no digit at all.
        {'/', -1},  {':', -1},  {'`', -1},  {'g', -1},  {'@', -1},   {'G', -1},
        {'\0', -1}, {' ', -1}, {'x', -1},  {'\xff', -1}, {'\xb9', -1},
    };
    for (const Case& c : cases) EXPECT_EQ(dbplatform::HexDigitValue(c.c), c.value) << static_cast<int>(c.c);
}

TEST(AsciiText, TruthOfPropertyTexts) {
    struct Case {
        std::string text;
        bool on;
    } cases[] = {
        {"true", true},   {"TRUE", true},   {"True", true},    {"yes", true},   {"YES", true},  {"yEs", true},
        {"1", true},      {"-1", true},
        {"", false},      {"false", false}, {"no", false},     {"0", false},    {"on", false},  {"y", false},
        {"t", false},     {"2", false},     {"+1", false},     {"01", false},   {"-0", false},  {"truex", false},
        {" true", false}, {"true ", false}, {"-1 ", false},    {"yes\0"s, false}, {"tru", false},
        {"\xc3\xbf" "es", false},
    };
    for (const Case& c : cases) EXPECT_EQ(dbplatform::IsTrueText(c.text), c.on) << '"' << c.text << '"';
}

}  // namespace
