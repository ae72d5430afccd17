// _com_error: the code of a failed call, its system message and the provider's description.
#include <dbplatform/com/ComError.h>

#include <cstdio>

#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/base/SystemMessage.h>

// Every error is made once, where it is raised, and only copied after: the constructors
// are where the diagnostics channel hears of it (copies are not reported again).
_com_error::_com_error(HRESULT hr) noexcept : hr_(hr) { Report(); }

_com_error::_com_error(HRESULT hr, const char* description)
    : hr_(hr), description_(description ? description : "") {
    Report();
}

_com_error::_com_error(HRESULT hr, const std::string& description)
    : hr_(hr), description_(description) {
    Report();
}

// The check comes first so that the message is not even formatted while the channel is
// off; ErrorMessage may allocate, so a failure there is not allowed to escape.
void _com_error::Report() const noexcept {
    if (!dbplatform::DiagnosticsEnabled()) return;
    try {
        dbplatform::ReportFailure(hr_, ErrorMessage(), description_);
    } catch (...) {
    }
}

_com_error::_com_error(const _com_error& other) = default;
_com_error& _com_error::operator=(const _com_error& other) = default;
_com_error::~_com_error() = default;

// The wCode range is the one the dispatch wrappers map 16-bit error numbers into;
// everything else has no wCode.
WORD _com_error::WCode() const noexcept {
    std::uint32_t code = static_cast<std::uint32_t>(hr_);
    if (code >= 0x80040200u && code <= 0x8004FFFFu) return static_cast<WORD>(code - 0x80040200u);
    return 0;
}

// The text is made once per object and kept, so the pointer stays valid as long as the
// error object lives (callers format it into message boxes after the catch).
const char* _com_error::ErrorMessage() const {
    if (!message_.empty()) return message_.c_str();
    if (const char* system = dbplatform::SystemMessage(hr_)) {
        message_ = system;
        // The table is stored without line breaks; strip any that slipped in so the
        // text always fits into a one-line message.
        while (!message_.empty() && (message_.back() == '\n' || message_.back() == '\r'))
            message_.pop_back();
    }
    if (message_.empty()) {
        char text[64];
        std::uint32_t code = static_cast<std::uint32_t>(hr_);
        if (code >= 0x80040201u && code <= 0x8004FFFFu)
            std::snprintf(text, sizeof text, "IDispatch error #%d", static_cast<int>(WCode()));
        else
            std::snprintf(text, sizeof text, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
        message_ = text;
    }
    return message_.c_str();
}

_bstr_t _com_error::Description() const { return _bstr_t(description_); }

// No error information object names a source on this platform.
_bstr_t _com_error::Source() const { return _bstr_t(); }

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void _com_issue_errorex(HRESULT hr, const char* description) { throw _com_error(hr, description); }
