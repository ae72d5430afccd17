#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <dbplatform/automation/BstrT.h>

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

}  // namespace
