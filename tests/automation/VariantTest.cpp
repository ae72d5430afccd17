#include <gtest/gtest.h>

#include <cstring>

#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/VariantT.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/com/Unknown.h>

namespace {

// A counted object that records its reference count, to check AddRef/Release pairs.
struct Counted : IDispatch {
    ULONG references = 1;
    HRESULT QueryInterface(REFIID id, void** object) override {
        if (id == IUnknown::iid || id == IDispatch::iid) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
};

TEST(Variant, CopyAndClearCountObjectReferences) {
    Counted object;
    {
        _variant_t value(static_cast<IDispatch*>(&object));
        EXPECT_EQ(object.references, 2u);
        VARIANT copy;
        VariantInit(&copy);
        ASSERT_EQ(VariantCopy(&copy, &value), S_OK);
        EXPECT_EQ(object.references, 3u);
        ASSERT_EQ(VariantClear(&copy), S_OK);
        EXPECT_EQ(copy.vt, VT_EMPTY);
        EXPECT_EQ(object.references, 2u);
        IUnknown* unknown = value;
        EXPECT_EQ(object.references, 3u);
        unknown->Release();
        _variant_t asUnknown;
        ASSERT_EQ(VariantChangeType(&asUnknown, &value, 0, VT_UNKNOWN), S_OK);
        EXPECT_EQ(object.references, 3u);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(Variant, CopyDuplicatesTextAndSurvivesSelfCopy) {
    _variant_t text("abc");
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"abc");
    ASSERT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"abc");
    VariantClear(&copy);
    text = text;  // self-assignment keeps the value
    EXPECT_EQ(std::u16string(text.bstrVal), u"abc");
}

// Clearing looks at the tag first: every tag that owns nothing empties the whole value,
// a borrowed pointer is left to its owner, and a tag this platform does not know is
// refused with the value untouched, wherever the tag falls against the quick test.
TEST(Variant, ClearEmptiesWhatItKnowsAndRefusesTheRest) {
    const struct {
        VARTYPE type;
        HRESULT expected;
    } cases[] = {
        {VT_EMPTY, S_OK}, {VT_NULL, S_OK}, {VT_I2, S_OK}, {VT_I4, S_OK}, {VT_R4, S_OK}, {VT_R8, S_OK},
        {VT_CY, S_OK}, {VT_DATE, S_OK}, {VT_ERROR, S_OK}, {VT_BOOL, S_OK}, {VT_DECIMAL, S_OK},
        {VT_I1, S_OK}, {VT_UI1, S_OK}, {VT_UI2, S_OK}, {VT_UI4, S_OK}, {VT_I8, S_OK}, {VT_UI8, S_OK},
        {VT_INT, S_OK}, {VT_UINT, S_OK},
        {static_cast<VARTYPE>(VT_BYREF | VT_I4), S_OK}, {static_cast<VARTYPE>(VT_BYREF | VT_BSTR), S_OK},
        {VT_VARIANT, DISP_E_BADVARTYPE}, {15, DISP_E_BADVARTYPE}, {24, DISP_E_BADVARTYPE},
        {36, DISP_E_BADVARTYPE}, {63, DISP_E_BADVARTYPE}, {64, DISP_E_BADVARTYPE},
        {65, DISP_E_BADVARTYPE}, {0x0FFF, DISP_E_BADVARTYPE},
    };
    for (const auto& c : cases) {
        VARIANT value;
        std::memset(static_cast<void*>(&value), 0xA5, sizeof value);
        value.vt = c.type;
        VARIANT before;
        std::memcpy(static_cast<void*>(&before), &value, sizeof value);
        EXPECT_EQ(VariantClear(&value), c.expected) << "tag " << c.type;
        if (c.expected == S_OK) {
            VARIANT empty;
            VariantInit(&empty);
            EXPECT_EQ(std::memcmp(&value, &empty, sizeof value), 0) << "tag " << c.type;
        } else {
            EXPECT_EQ(std::memcmp(&value, &before, sizeof value), 0) << "tag " << c.type;
        }
    }
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

// A 64-bit long that does not fit 32 bits is kept whole; vtMissing is what optional
// arguments are compared against.
TEST(VariantT, ConstructorsKeepTheValue) {
    EXPECT_EQ(_variant_t(3L).vt, VT_I4);
    EXPECT_EQ(_variant_t(5000000000L).vt, VT_I8);
    EXPECT_EQ(_variant_t(5000000000L).llVal, 5000000000LL);
    EXPECT_EQ(_variant_t(static_cast<short>(3), VT_BOOL).boolVal, VARIANT_TRUE);
    EXPECT_EQ(std::u16string(_variant_t(L"€𝄞").bstrVal), u"€𝄞");
    EXPECT_EQ(vtMissing.vt, VT_ERROR);
    EXPECT_EQ(vtMissing.scode, DISP_E_PARAMNOTFOUND);
}

TEST(VariantT, ExtractorsConvertOrThrowTheConversionError) {
    _variant_t number("42.5");
    EXPECT_EQ(static_cast<int>(number), 42);
    EXPECT_EQ(static_cast<double>(number), 42.5);
    EXPECT_EQ(static_cast<long>(_variant_t(5000000000LL)), 5000000000L);
    EXPECT_EQ(static_cast<_bstr_t>(_variant_t(2.5)).str(), "2.5");
    EXPECT_TRUE(static_cast<bool>(_variant_t("True")));
    EXPECT_EQ(number.vt, VT_BSTR);  // extracting does not change the value

    const struct {
        _variant_t value;
        HRESULT hr;
    } failures[] = {{_variant_t("forty"), DISP_E_TYPEMISMATCH}, {_variant_t(70000), DISP_E_OVERFLOW}};
    for (const auto& f : failures) {
        try {
            short value = f.value;
            ADD_FAILURE() << "no exception, got " << value;
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), f.hr);
        }
    }
    _variant_t null;
    null.vt = VT_NULL;
    EXPECT_THROW(static_cast<void>(static_cast<double>(null)), _com_error);
}

TEST(VariantT, ComparisonAndOwnership) {
    EXPECT_TRUE(_variant_t("abc") == _variant_t(u"abc"));
    EXPECT_FALSE(_variant_t("abc") == _variant_t("abd"));
    EXPECT_FALSE(_variant_t(1) == _variant_t(1.0));  // different types
    EXPECT_TRUE(_variant_t(true) == _variant_t(static_cast<short>(7), VT_BOOL));

    _variant_t value("kept");
    VARIANT raw = value.Detach();
    EXPECT_EQ(value.vt, VT_EMPTY);
    _variant_t again;
    again.Attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(std::u16string(again.bstrVal), u"kept");
    _variant_t converted;
    const _variant_t twelve("12");
    converted.ChangeType(VT_I4, &twelve);
    EXPECT_EQ(converted.lVal, 12);
    converted.SetString("text");
    EXPECT_EQ(converted.vt, VT_BSTR);
}

}  // namespace
