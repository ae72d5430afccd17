// ASCII case folding for the names and keywords the platform compares: connection
// string keys, ProgIDs, provider and column names, SQL words, property values; and the
// value of a hex digit.
//
// Only the 26 letters A-Z and a-z are folded; every other byte (digits, punctuation,
// and each byte of a multi-byte UTF-8 sequence) compares as itself. The result never
// depends on the process locale, so a host that sets one cannot change what matches.
// Internal to the platform: not installed.
#pragma once

#include <string>
#include <string_view>

namespace dbplatform {

// `c` with A-Z mapped to a-z; anything else unchanged.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// `c` with a-z mapped to A-Z; anything else unchanged.
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
// The UTF-16 unit `c` with A-Z mapped to a-z; every other unit unchanged.
constexpr char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// The value 0-15 of the hex digit `c` (0-9, a-f, A-F), or -1 for any other byte.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whether `a` and `b` have the same length and agree byte for byte once A-Z are folded.
// Embedded NULs are compared like any other byte.
constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// Whether `text` begins with `head`, A-Z folded.
constexpr bool StartsWithNoCase(std::string_view text, std::string_view head) {
    return text.size() >= head.size() && EqualNoCase(text.substr(0, head.size()), head);
}

// Whether `text` ends with `tail`, A-Z folded.
constexpr bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && EqualNoCase(text.substr(text.size() - tail.size()), tail);
}

// A copy of `text` with A-Z mapped to a-z: the key under which case-insensitive names
// are stored in maps.
inline std::string AsciiLowered(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = AsciiLower(c);
    return folded;
}

// A copy of `text` with a-z mapped to A-Z.
inline std::string AsciiUppered(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = AsciiUpper(c);
    return folded;
}

// Whether a property value (a connection-string flag such as "Persist Security Info" or
// "Create") is on: "true" or "yes" in any case, or exactly "1" or "-1" (VARIANT_TRUE
// written as a number). Everything else is off, also "on", "y", " true" with a blank
// (callers that allow blanks trim first) and the empty text.
constexpr bool IsTrueText(std::string_view text) {
    return EqualNoCase(text, "true") || EqualNoCase(text, "yes") || text == "1" || text == "-1";
}

}  // namespace dbplatform
