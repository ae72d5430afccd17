#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <dbplatform/automation/BstrT.h>
#include <dbplatform/base/CodePage.h>

namespace {

TEST(Bstr, LengthPrefixEmbeddedNulsAndNull) {
    const OLECHAR data[] = {u'a', 0, u'b'};
    BSTR text = SysAllocStringLen(data, 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(text[1], 0);
    EXPECT_EQ(text[3], 0);  // terminated
    SysFreeString(text);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    EXPECT_EQ(std::memcmp(odd, "abc\0\0", 5), 0);
    SysFreeString(odd);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(Bstr, ReallocateFromItsOwnText) {
    BSTR text = SysAllocString(u"hello world");
    ASSERT_EQ(SysReAllocString(&text, text + 6), TRUE);
    EXPECT_EQ(std::u16string(text), u"world");
    EXPECT_EQ(SysStringLen(text), 5u);
    SysFreeString(text);
}

TEST(BstrT, CopiesShareOneBufferUntilOneChanges) {
    _bstr_t original("shared");
    EXPECT_EQ(original.RefCount(), 1u);
    {
        _bstr_t copy = original;
        EXPECT_EQ(original.RefCount(), 2u);
        EXPECT_EQ(static_cast<const OLECHAR*>(copy), static_cast<const OLECHAR*>(original));
        copy += " text";
        EXPECT_EQ(copy.str(), "shared text");
        EXPECT_EQ(original.str(), "shared");
        EXPECT_EQ(original.RefCount(), 1u);
        _bstr_t third = original;
        third.GetBSTR();  // made unique before the caller may replace it
        EXPECT_EQ(original.RefCount(), 1u);
        EXPECT_EQ(third.RefCount(), 1u);
    }
    EXPECT_EQ(original.str(), "shared");
    _bstr_t empty;
    EXPECT_EQ(empty.RefCount(), 0u);
}

TEST(BstrT, OutlivesTheObjectItWasCopiedFrom) {
    _bstr_t survivor;
    const char* cached;
    {
        _bstr_t source(u"Grüße");
        survivor = source;
        cached = static_cast<const char*>(source);
    }
    EXPECT_STREQ(static_cast<const char*>(survivor), "Grüße");
    EXPECT_EQ(cached, static_cast<const char*>(survivor));  // one cache per shared buffer
    EXPECT_EQ(survivor.length(), 5u);
}

TEST(BstrT, ConversionsAndComparisons) {
    EXPECT_EQ(_bstr_t(L"€𝄞").wstr(), std::u16string(u"€𝄞"));
    EXPECT_EQ(_bstr_t(L"€𝄞").str(), "€𝄞");
    EXPECT_EQ(_bstr_t(std::string("a\0b", 3)).length(), 3u);
    EXPECT_EQ(static_cast<const char*>(_bstr_t()), nullptr);
    EXPECT_EQ(static_cast<const char*>(_bstr_t(static_cast<const char*>(nullptr))), nullptr);
    EXPECT_STREQ(static_cast<const char*>(_bstr_t("")), "");
    EXPECT_TRUE(_bstr_t() == _bstr_t(""));
    EXPECT_TRUE(!_bstr_t(""));
    EXPECT_TRUE(_bstr_t("abc") == _bstr_t(u"abc"));
    EXPECT_TRUE(_bstr_t("ab") < _bstr_t("abc"));
    EXPECT_TRUE(_bstr_t("abc") < _bstr_t("abd"));
    EXPECT_FALSE(_bstr_t("abc") < _bstr_t("abc"));
    EXPECT_EQ((_bstr_t("a") + _bstr_t() + _bstr_t("b")).str(), "ab");
}

TEST(BstrT, OwnershipTransfers) {
    _bstr_t text("owned");
    _bstr_t copy = text;
    BSTR detached = copy.Detach();  // shared: the caller gets its own copy
    EXPECT_EQ(text.str(), "owned");
    EXPECT_EQ(std::u16string(detached), u"owned");
    EXPECT_EQ(copy.length(), 0u);
    _bstr_t attached;
    attached.Attach(detached);  // takes ownership; ASan reports a double free or leak
    EXPECT_EQ(attached.str(), "owned");

    BSTR* slot = attached.GetAddress();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(u"filled");
    EXPECT_EQ(attached.str(), "filled");
    EXPECT_STREQ(static_cast<const char*>(attached), "filled");

    BSTR fresh = attached.copy();
    EXPECT_NE(fresh, static_cast<BSTR>(attached));
    SysFreeString(fresh);
    attached.Assign(text.GetBSTR());
    EXPECT_EQ(attached.str(), "owned");
}

// The cached UTF-8 form is made safely while several threads read one shared buffer.
TEST(BstrT, ConcurrentReadersOfOneBuffer) {
    _bstr_t shared("concurrent text");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([shared] {
            for (int i = 0; i < 200; ++i) {
                _bstr_t copy = shared;
                EXPECT_STREQ(static_cast<const char*>(copy), "concurrent text");
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.RefCount(), 1u);
}

// The BSTR conversion reads the ASCII start of a text a word at a time and decodes only
// the rest; whatever the split, it must give the units the general converter gives.
// Each pattern is tried after ASCII runs of every length around the word boundaries,
// and followed by ASCII, so a sequence is cut at, across and after those boundaries.
TEST(Bstr, FromUtf8GivesTheGeneralConvertersUnits) {
    const std::string patterns[] = {
        "",
        "\xC3\xA9",                  // two bytes
        "\xE2\x82\xAC",              // three bytes
        "\xF0\x9F\x98\x80",          // four bytes: a surrogate pair
        "\xC3",                      // truncated two bytes
        "\xE2\x82",                  // truncated three bytes
        "\xF0\x9F\x98",              // truncated four bytes
        "\x80\xBF",                  // stray continuation bytes
        "\xC0\x80\xC1\xBF",          // overlong forms
        "\xE0\x80\xAF",              // overlong three bytes
        "\xED\xA0\x80",              // an encoded surrogate
        "\xF4\x90\x80\x80",          // past U+10FFFF
        "\xF5\xFF\xFE",              // bytes that never start a sequence
        std::string("\0x\0", 3),     // embedded NULs
        "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
    };
    for (const std::string& pattern : patterns) {
        for (std::size_t asciiBefore = 0; asciiBefore <= 34; ++asciiBefore) {
            for (std::size_t asciiAfter : {0, 1, 7, 8, 9, 17}) {
                std::string text;
                for (std::size_t i = 0; i < asciiBefore; ++i) text += static_cast<char>('!' + i * 3 % 94);
                text += pattern;
                text.append(asciiAfter, 'z');
                BSTR converted = dbplatform::AllocBstrFromUtf8(text.data(), text.size());
                ASSERT_NE(converted, nullptr);
                const std::u16string expected = dbplatform::WideFromUtf8(text);
                EXPECT_EQ(std::u16string(converted, SysStringLen(converted)), expected)
                    << "pattern of " << pattern.size() << " bytes after " << asciiBefore << " ASCII bytes";
                EXPECT_EQ(converted[SysStringLen(converted)], 0);  // terminated
                SysFreeString(converted);
            }
        }
    }
}

// What the general converter gives for the hard cases, so that both cannot drift together.
TEST(Bstr, FromUtf8UnitsOfInvalidAndSupplementaryText) {
    const struct {
        std::string utf8;
        std::u16string wide;
    } cases[] = {
        {"plain", u"plain"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
        {"ab\xC3", u"ab\uFFFD"},                         // truncated at the end
        {"\xE2\x82x", u"\uFFFD\uFFFDx"},                 // truncated, then ASCII
        {"\xC0\x80", u"\uFFFD\uFFFD"},                   // overlong NUL
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},         // a surrogate, byte by byte
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        BSTR converted = dbplatform::AllocBstrFromUtf8(c.utf8.data(), c.utf8.size());
        ASSERT_NE(converted, nullptr);
        EXPECT_EQ(std::u16string(converted, SysStringLen(converted)), c.wide) << c.utf8;
        EXPECT_EQ(dbplatform::WideFromUtf8(c.utf8), c.wide) << c.utf8;
        SysFreeString(converted);
    }
    EXPECT_EQ(dbplatform::AllocBstrFromUtf8(nullptr, 0), nullptr);
    BSTR empty = dbplatform::AllocBstrFromUtf8("", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

}  // namespace
