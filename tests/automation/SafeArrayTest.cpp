#include <gtest/gtest.h>

#include <cstring>

#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/VariantT.h>

namespace {

TEST(SafeArray, BytesWithBoundsAndLocking) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 1, 4);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 1u);
    VARTYPE type;
    ASSERT_EQ(SafeArrayGetVartype(array, &type), S_OK);
    EXPECT_EQ(type, VT_UI1);
    LONG low, high;
    ASSERT_EQ(SafeArrayGetLBound(array, 1, &low), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(array, 1, &high), S_OK);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 4);
    EXPECT_EQ(SafeArrayGetLBound(array, 2, &low), DISP_E_BADINDEX);

    void* data;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    std::memcpy(data, "\x01\x02\x03\x04", 4);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);  // the data pointer stays valid
    EXPECT_EQ(static_cast<unsigned char*>(data)[3], 4);
    ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);

    const struct {
        LONG index;
        HRESULT hr;
        unsigned char value;
    } reads[] = {{1, S_OK, 1}, {4, S_OK, 4}, {0, DISP_E_BADINDEX, 0}, {5, DISP_E_BADINDEX, 0}};
    for (const auto& r : reads) {
        LONG index = r.index;
        unsigned char value = 0;
        EXPECT_EQ(SafeArrayGetElement(array, &index, &value), r.hr) << r.index;
        EXPECT_EQ(value, r.value);
    }
    LONG index = 2;
    unsigned char nine = 9;
    ASSERT_EQ(SafeArrayPutElement(array, &index, &nine), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    ASSERT_EQ(SafeArrayDestroy(array), S_OK);
    unsigned char value = 0;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &value), S_OK);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
}

// Arrays of variants own their elements: copies are deep, destruction frees them.
TEST(SafeArray, VariantElementsAreCopiedDeeply) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    ASSERT_NE(array, nullptr);
    _variant_t items[] = {_variant_t("tables"), _variant_t(), _variant_t(42)};
    for (LONG i = 0; i < 3; ++i) ASSERT_EQ(SafeArrayPutElement(array, &i, &items[i]), S_OK);

    _variant_t holder;
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = array;  // owned by holder now
    _variant_t copy(holder);
    EXPECT_NE(copy.parray, holder.parray);
    EXPECT_TRUE(copy == holder);
    holder.Clear();

    LONG first = 0;
    VARIANT element;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &first, &element), S_OK);
    EXPECT_EQ(element.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(element.bstrVal), u"tables");
    VariantClear(&element);
    LONG last = 2;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &last, &element), S_OK);
    EXPECT_EQ(element.vt, VT_I4);
    EXPECT_EQ(element.lVal, 42);
}

TEST(SafeArray, TextElements) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(array, nullptr);
    _bstr_t name("name");
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<BSTR>(name)), S_OK);
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<BSTR>(name)), S_OK);  // replaces, frees the old
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array, &index, &out), S_OK);
    EXPECT_EQ(std::u16string(out), u"name");
    EXPECT_NE(out, static_cast<BSTR>(name));
    SysFreeString(out);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

}  // namespace
