// CString: construction, buffer access, concatenation, comparison, formatting and
// conversion to and from BSTR.
#include <dbplatform/mfc/String.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include <dbplatform/base/CodePage.h>

namespace {
std::string FromWide(const OLECHAR* wide) {
    if (!wide) return std::string();
    return dbplatform::Utf8FromWide(std::u16string_view(wide));
}

// Formats into a string of any length: vsnprintf tells the length needed, then writes.
void AppendFormatted(std::string& out, const char* format, va_list arguments) {
    if (!format) return;
    va_list measuring;
    va_copy(measuring, arguments);
    int needed = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (needed <= 0) return;
    std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(&out[start], static_cast<std::size_t>(needed) + 1, format, arguments);
    out.resize(start + static_cast<std::size_t>(needed));
}
}  // namespace

CString::CString(const char* text) : text_(text ? text : "") {}

// A null text or a length below 1 gives the empty text; never reads past `length`.
CString::CString(const char* text, int length) {
    if (text && length > 0) text_.assign(text, static_cast<std::size_t>(length));
}

CString::CString(char ch, int repeat) {
    if (repeat > 0) text_.assign(static_cast<std::size_t>(repeat), ch);
}

CString::CString(const OLECHAR* wide) : text_(FromWide(wide)) {}

CString& CString::operator=(const char* text) {
    // Assigning (a part of) the string to itself must keep the text: copy first.
    std::string copy(text ? text : "");
    text_.swap(copy);
    return *this;
}

CString& CString::operator=(char ch) {
    text_.assign(1, ch);
    return *this;
}

CString& CString::operator=(const OLECHAR* wide) {
    text_ = FromWide(wide);
    return *this;
}

// Out-of-range positions read as NUL instead of reading outside the text.
char CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) return '\0';
    return text_[static_cast<std::size_t>(index)];
}

// Out-of-range positions are ignored: there is no character there to change.
void CString::SetAt(int index, char ch) {
    if (index < 0 || index >= GetLength()) return;
    text_[static_cast<std::size_t>(index)] = ch;
}

// The buffer holds at least `minimumLength` characters plus a terminating NUL; the room
// beyond the current text is zero-filled so ReleaseBuffer(-1) finds the end the caller wrote.
char* CString::GetBuffer(int minimumLength) {
    if (minimumLength > GetLength()) text_.resize(static_cast<std::size_t>(minimumLength), '\0');
    return text_.data();
}

// -1 takes the text up to the first NUL; a length past the buffer is clamped to it.
void CString::ReleaseBuffer(int newLength) {
    std::size_t length = newLength < 0 ? std::strlen(text_.c_str()) : static_cast<std::size_t>(newLength);
    if (length < text_.size()) text_.resize(length);
}

char* CString::GetBufferSetLength(int length) {
    text_.resize(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    return text_.data();
}

CString& CString::operator+=(const CString& other) {
    text_ += other.text_;
    return *this;
}

CString& CString::operator+=(const char* text) {
    if (text) text_ += std::string(text);  // a copy, in case `text` points into this string
    return *this;
}

CString& CString::operator+=(char ch) {
    text_ += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b) { return CString(a.text_ + b.text_); }
CString operator+(const CString& a, const char* b) { return CString(a.text_ + (b ? b : "")); }
CString operator+(const char* a, const CString& b) { return CString(std::string(a ? a : "") + b.text_); }
CString operator+(const CString& a, char b) { return CString(a.text_ + b); }
CString operator+(char a, const CString& b) { return CString(std::string(1, a) + b.text_); }

// A null text compares as the empty text.
int CString::Compare(const char* other) const { return std::strcmp(text_.c_str(), other ? other : ""); }

int CString::CompareNoCase(const char* other) const {
    return ::strcasecmp(text_.c_str(), other ? other : "");
}

bool operator==(const CString& a, const char* b) { return a.text_ == (b ? b : ""); }

// Arguments may come from this string itself ("%s", (const char*)s): the new text is
// built aside and only then replaces the old.
void CString::Format(const char* format, ...) {
    std::string formatted;
    va_list arguments;
    va_start(arguments, format);
    AppendFormatted(formatted, format, arguments);
    va_end(arguments);
    text_.swap(formatted);
}

void CString::AppendFormat(const char* format, ...) {
    std::string formatted;
    va_list arguments;
    va_start(arguments, format);
    AppendFormatted(formatted, format, arguments);
    va_end(arguments);
    text_ += formatted;
}

// The text converted to UTF-16; the caller frees it with SysFreeString.
BSTR CString::AllocSysString() const { return dbplatform::AllocBstrFromUtf8(text_.data(), text_.size()); }

// Replaces *target with a new BSTR of this text and returns it; the old one is freed.
BSTR CString::SetSysString(BSTR* target) const {
    if (!target) return nullptr;
    BSTR fresh = AllocSysString();
    SysFreeString(*target);
    *target = fresh;
    return fresh;
}
