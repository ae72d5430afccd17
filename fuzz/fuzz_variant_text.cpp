// Text -> number and text -> date conversions on arbitrary bytes: no crash, no read
// outside the input, and every accepted date text must come back in canonical form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/automation/Variant.h>

namespace {

constexpr VARTYPE kTargets[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_INT,
                                VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_DATE, VT_ERROR, VT_NULL, VT_EMPTY};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A view of the input itself: any read past its end is a sanitizer finding.
    std::string_view text(reinterpret_cast<const char*>(data), size);

    DATE date;
    if (SUCCEEDED(dbplatform::DateFromText(text, &date))) {
        std::string canonical = dbplatform::TextFromDate(date);
        DATE again;
        if (canonical.size() != 19 || FAILED(dbplatform::DateFromText(canonical, &again)) ||
            dbplatform::TextFromDate(again) != canonical)
            std::abort();
    }

    BSTR wide = dbplatform::AllocBstrFromUtf8(text.data(), text.size());
    if (wide == nullptr && size != 0) std::abort();
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = wide;
    for (VARTYPE target : kTargets) {
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = VariantChangeType(&result, &source, 0, target);
        if (SUCCEEDED(hr)) {
            // A converted number must also print: the text form is what gets stored.
            VARIANT printed;
            VariantInit(&printed);
            if (FAILED(VariantChangeType(&printed, &result, 0, VT_BSTR)) && target != VT_NULL) std::abort();
            VariantClear(&printed);
        } else if (hr != DISP_E_TYPEMISMATCH && hr != DISP_E_OVERFLOW) {
            std::abort();
        }
        VariantClear(&result);
    }
    VariantClear(&source);
    return 0;
}
