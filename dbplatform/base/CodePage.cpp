// UTF-8 <-> UTF-16 conversions. The process code page is UTF-8, so CP_ACP and CP_UTF8
// mean the same thing here.
#include <dbplatform/base/CodePage.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <dbplatform/base/Utf8Decode.h>

namespace {

using dbplatform::utf8::kReplacement;

void AppendUtf16(std::u16string* out, char32_t value) {
    char16_t units[2];
    out->append(units, dbplatform::utf8::WriteUtf16(value, units));
}

void AppendUtf8(std::string* out, char32_t value) {
    if (value < 0x80) {
        out->push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (value >> 6)));
        out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (value >> 12)));
        out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (value >> 18)));
        out->push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
}

// The code pages that name the process code page on this platform.
bool IsProcessCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == 1 /* CP_OEMCP */ || codePage == 3 /* CP_THREAD_ACP */ ||
           codePage == CP_UTF8;
}

}  // namespace

std::u16string dbplatform::WideFromUtf8(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    std::size_t position = 0;
    while (position < text.size()) AppendUtf16(&wide, dbplatform::utf8::Decode(text, &position));
    return wide;
}

std::string dbplatform::Utf8FromWide(std::u16string_view wide) {
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            AppendUtf8(&text, 0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(&text, kReplacement);
        } else {
            AppendUtf8(&text, unit);
        }
    }
    return text;
}

// Fails (returns 0) on a null text, a zero count, an unknown code page, or an output
// buffer too small for the whole result: nothing is ever truncated silently.
int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR text, int byteCount, WCHAR* wide,
                        int wideSize) {
    if (text == nullptr || byteCount == 0 || byteCount < -1 || wideSize < 0) return 0;
    if (!IsProcessCodePage(codePage)) return 0;
    std::size_t length = byteCount == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(byteCount);
    std::u16string converted = dbplatform::WideFromUtf8(std::string_view(text, length));
    if (converted.size() > 0x7FFFFFFF) return 0;
    int needed = static_cast<int>(converted.size());
    if (wideSize == 0) return needed;
    if (wide == nullptr || wideSize < needed) return 0;
    std::memcpy(wide, converted.data(), converted.size() * sizeof(WCHAR));
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, const WCHAR* wide, int wideCount, LPSTR text,
                        int byteSize, LPCSTR /*defaultChar*/, BOOL* usedDefaultChar) {
    if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
    if (wide == nullptr || wideCount == 0 || wideCount < -1 || byteSize < 0) return 0;
    if (!IsProcessCodePage(codePage)) return 0;
    std::size_t length = 0;
    if (wideCount == -1) {
        while (wide[length] != 0) ++length;
        ++length;  // the terminator is converted too
    } else {
        length = static_cast<std::size_t>(wideCount);
    }
    std::string converted = dbplatform::Utf8FromWide(std::u16string_view(wide, length));
    if (converted.size() > 0x7FFFFFFF) return 0;
    int needed = static_cast<int>(converted.size());
    if (byteSize == 0) return needed;
    if (text == nullptr || byteSize < needed) return 0;
    std::memcpy(text, converted.data(), converted.size());
    return needed;
}

// Windows caps wsprintf output at 1024 bytes including the terminator; so do we,
// rather than write past what callers sized for.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    constexpr int kLimit = 1024;
    va_list arguments;
    va_start(arguments, format);
    int written = std::vsnprintf(buffer, kLimit, format, arguments);
    va_end(arguments);
    if (written < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return written < kLimit ? written : kLimit - 1;
}
