#include "TextInPlace.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include <dbplatform/base/CodePage.h>

namespace quillet {

namespace {

// True when every sequence is a shortest form of a code point up to U+10FFFF outside the
// surrogates: the bytes the platform's conversion to UTF-16 and back gives unchanged.
bool IsWellFormedUtf8(std::string_view text) {
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = at + text.size();
    while (at < end) {
        unsigned char lead = *at;
        if (lead < 0x80) {
            ++at;
            continue;
        }
        int trailing;
        unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) trailing = 1;
        else if (lead == 0xE0) trailing = 2, low = 0xA0;
        else if (lead == 0xED) trailing = 2, high = 0x9F;
        else if (lead >= 0xE1 && lead <= 0xEF) trailing = 2;
        else if (lead == 0xF0) trailing = 3, low = 0x90;
        else if (lead == 0xF4) trailing = 3, high = 0x8F;
        else if (lead >= 0xF1 && lead <= 0xF3) trailing = 3;
        else return false;
        if (end - at <= trailing) return false;
        if (at[1] < low || at[1] > high) return false;
        for (int i = 2; i <= trailing; ++i)
            if ((at[i] & 0xC0) != 0x80) return false;
        at += trailing + 1;
    }
    return true;
}

}  // namespace

// A NUL byte is always a NUL of its own in UTF-16 (never part of a sequence), so cutting
// the bytes there cuts the BSTR's text at the same place.
void AssignTextInPlace(CString& target, std::string_view utf8) {
    // Plain ASCII without NUL, the usual text, is told in one pass, eight bytes at a time.
    bool plain = utf8.size() <= static_cast<std::size_t>(INT_MAX);
    std::size_t at = 0;
    for (; plain && at + 8 <= utf8.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, utf8.data() + at, 8);
        const std::uint64_t high = word & 0x8080808080808080ull;
        const std::uint64_t zero = (word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull;
        plain = (high | zero) == 0;
    }
    for (; plain && at < utf8.size(); ++at) plain = utf8[at] != '\0' && static_cast<unsigned char>(utf8[at]) < 0x80;
    if (plain) {
        char* buffer = target.GetBufferSetLength(static_cast<int>(utf8.size()));
        if (!utf8.empty()) std::memcpy(buffer, utf8.data(), utf8.size());
        return;
    }
    std::size_t nul = utf8.find('\0');
    if (nul != std::string_view::npos) utf8 = utf8.substr(0, nul);
    if (utf8.empty()) {
        target.Empty();
        return;
    }
    if (utf8.size() > static_cast<std::size_t>(INT_MAX) || !IsWellFormedUtf8(utf8)) {
        target = CString(dbplatform::Utf8FromWide(dbplatform::WideFromUtf8(utf8)));
        return;
    }
    char* buffer = target.GetBufferSetLength(static_cast<int>(utf8.size()));
    std::memcpy(buffer, utf8.data(), utf8.size());
}

}  // namespace quillet
