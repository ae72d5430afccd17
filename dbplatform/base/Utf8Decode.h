// The one UTF-8 decoder of the library (internal, not installed): CodePage.cpp builds
// std::u16string texts with it and Bstr.cpp writes straight into a BSTR, so both give
// the same units for the same bytes, invalid ones included.
#pragma once

#include <cstddef>
#include <string_view>

namespace dbplatform::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at text[*position] and advances past it. A byte
// that does not start a well-formed sequence (overlong forms, surrogates, values past
// U+10FFFF, truncated sequences) yields U+FFFD and consumes just that byte.
inline char32_t Decode(std::string_view text, std::size_t* position) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t at = *position;
    unsigned char lead = byte(at);
    *position = at + 1;
    if (lead < 0x80) return lead;
    int trailing;
    char32_t value;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (at + trailing >= text.size()) return kReplacement;
    for (int i = 1; i <= trailing; ++i) {
        unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80) return kReplacement;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacement;
    *position = at + 1 + trailing;
    return value;
}

// The UTF-16 units of one decoded code point: two for one past the basic plane.
inline std::size_t Utf16Units(char32_t value) { return value < 0x10000 ? 1 : 2; }

// Writes the UTF-16 units of `value` at `out` and returns the position after them.
inline char16_t* WriteUtf16(char32_t value, char16_t* out) {
    if (value < 0x10000) {
        *out++ = static_cast<char16_t>(value);
    } else {
        value -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 + (value >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
    }
    return out;
}

}  // namespace dbplatform::utf8
