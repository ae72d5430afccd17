// _com_error: the exception every failing platform call raises.
#pragma once

#include <string>

#include <dbplatform/automation/BstrT.h>
#include <dbplatform/base/HResult.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

// Constructing one is raising it: the diagnostics channel receives every failure made here.
class _com_error {
public:
    explicit _com_error(HRESULT hr) noexcept;
    // `description` is UTF-8: the provider's own message.
    _com_error(HRESULT hr, const char* description);
    _com_error(HRESULT hr, const std::string& description);
    _com_error(const _com_error& other);
    _com_error& operator=(const _com_error& other);
    virtual ~_com_error();

    HRESULT Error() const noexcept { return hr_; }
    // hr - 0x80040200 for 0x80040200..0x8004FFFF, else 0.
    WORD WCode() const noexcept;
    // The system message of Error() (trailing line break removed); without one,
    // "IDispatch error #%d" (WCode) for 0x80040201..0x8004FFFF, else "Unknown error 0x%0lX".
    // Owned by this object.
    const char* ErrorMessage() const;
    // The provider's description (empty when none).
    _bstr_t Description() const;
    _bstr_t Source() const;

private:
    // Hands a failure to the diagnostics channel (dbplatform/base/Diagnostics.h).
    void Report() const noexcept;

    HRESULT hr_;
    std::string description_;
    mutable std::string message_;
};

// Throws _com_error(hr); never returns, so a call through an empty pointer cannot go on.
[[noreturn]] void _com_issue_error(HRESULT hr);
[[noreturn]] void _com_issue_errorex(HRESULT hr, const char* description);

DBPLATFORM_PUBLIC_END
