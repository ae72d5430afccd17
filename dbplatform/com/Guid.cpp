// GUID text in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <dbplatform/com/Guid.h>

#include <cstdio>

#include <dbplatform/base/AsciiText.h>

namespace dbplatform {

// Upper-case hex, as the registry and the class documentation write them, so that the
// text of a CLSID compares equal however it was made.
std::string GuidToText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

namespace {
// Reads `digits` hex digits at `text[at]`; false when any is not a hex digit.
bool ReadHex(std::string_view text, std::size_t at, int digits, std::uint32_t* value) {
    std::uint32_t result = 0;
    for (int i = 0; i < digits; ++i) {
        int digit = dbplatform::HexDigitValue(text[at + i]);
        if (digit < 0) return false;
        result = result * 16 + static_cast<std::uint32_t>(digit);
    }
    *value = result;
    return true;
}
}  // namespace

// Only the exact braced form is accepted: a ProgID that merely looks like hex must
// never be taken for a class identity. `guid` is untouched on failure.
bool GuidFromText(std::string_view text, GUID* guid) {
    if (!guid || text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
    GUID result{};
    std::uint32_t value = 0;
    if (!ReadHex(text, 1, 8, &value)) return false;
    result.Data1 = value;
    if (!ReadHex(text, 10, 4, &value)) return false;
    result.Data2 = static_cast<std::uint16_t>(value);
    if (!ReadHex(text, 15, 4, &value)) return false;
    result.Data3 = static_cast<std::uint16_t>(value);
    static constexpr std::size_t byteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, byteOffsets[i], 2, &value)) return false;
        result.Data4[i] = static_cast<std::uint8_t>(value);
    }
    *guid = result;
    return true;
}

}  // namespace dbplatform
