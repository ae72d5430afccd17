// _variant_t: a VARIANT that owns its value, with constructors from C++ values and
// extractors that convert with VariantChangeType and throw _com_error on failure.
#pragma once

#include <dbplatform/automation/BstrT.h>
#include <dbplatform/automation/Variant.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

class _variant_t : public VARIANT {
public:
    _variant_t() noexcept;
    _variant_t(const VARIANT& source);
    _variant_t(const VARIANT* source);
    _variant_t(const _variant_t& source);
    _variant_t(_variant_t&& source) noexcept;
    _variant_t(VARIANT& source, bool copy);  // copy=false takes the value, leaving `source` empty
    _variant_t(short value, VARTYPE type = VT_I2);      // VT_I2 or VT_BOOL
    _variant_t(int value, VARTYPE type = VT_I4);        // VT_I4 or VT_INT
    _variant_t(long value, VARTYPE type = VT_I4);       // VT_I4 (VT_I8 when it does not fit 32 bits) or VT_ERROR
    _variant_t(long long value);                        // VT_I8
    _variant_t(unsigned char value);                    // VT_UI1
    _variant_t(float value);                            // VT_R4
    _variant_t(double value, VARTYPE type = VT_R8);     // VT_R8 or VT_DATE
    _variant_t(bool value);                             // VT_BOOL
    _variant_t(const char* text);                       // VT_BSTR
    _variant_t(const OLECHAR* text);                    // VT_BSTR
    _variant_t(const wchar_t* text);                    // VT_BSTR
    _variant_t(const _bstr_t& text);                    // VT_BSTR
    _variant_t(IDispatch* object, bool addRef = true);  // VT_DISPATCH
    _variant_t(IUnknown* object, bool addRef = true);   // VT_UNKNOWN
    ~_variant_t();

    _variant_t& operator=(const _variant_t& source);
    _variant_t& operator=(_variant_t&& source) noexcept;
    _variant_t& operator=(const VARIANT& source);

    bool operator==(const VARIANT& other) const;
    bool operator!=(const VARIANT& other) const { return !(*this == other); }

    // Conversions (throw _com_error with the VariantChangeType HRESULT).
    operator short() const;
    operator int() const;      // through VT_I4
    operator long() const;     // through VT_I4, or VT_I8 when the value is VT_I8
    operator long long() const;
    operator unsigned char() const;
    operator float() const;
    operator double() const;
    operator bool() const;
    operator _bstr_t() const;
    operator IDispatch*() const;  // AddRef'd
    operator IUnknown*() const;   // AddRef'd

    void Clear();
    void Attach(VARIANT& source);
    VARIANT Detach();
    VARIANT& GetVARIANT() noexcept { return *this; }
    VARIANT* GetAddress();  // clears, returns an out slot
    void ChangeType(VARTYPE type, const _variant_t* source = nullptr);
    void SetString(const char* text);
};

// The value of an omitted optional argument: VT_ERROR with DISP_E_PARAMNOTFOUND.
extern const _variant_t vtMissing;

DBPLATFORM_PUBLIC_END
