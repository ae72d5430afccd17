// Numbers <-> text in the process's LC_NUMERIC, as the variant conversions need them.
// Internal to the automation area.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <dbplatform/base/HResult.h>

namespace dbplatform::detail {

// A number read from text: exact when it was written as an integer (sign and digits
// only), otherwise a double.
struct ParsedNumber {
    bool isInteger = false;
    __int128 integer = 0;
    double real = 0;
};

// Reads [blanks][sign]digits[radix digits][e[sign]digits][blanks], where radix is the
// current LC_NUMERIC decimal separator. Not a number: DISP_E_TYPEMISMATCH; beyond the
// range of a double: DISP_E_OVERFLOW.
HRESULT NumberFromText(std::string_view text, ParsedNumber* number);
// The same for a float target, read directly as a float so that the shortest float
// text reads back exactly.
HRESULT FloatFromText(std::string_view text, float* value);

// Reads [blanks]&H hexdigits[blanks] or [blanks]&O octaldigits[blanks] (letters in either
// case) as the bit pattern it writes, at most 32 bits as in the platform's number parser.
// Not of that form at all (no leading '&'): S_FALSE, so the caller reads a decimal number.
// A malformed digit: DISP_E_TYPEMISMATCH; more than 32 bits: DISP_E_OVERFLOW.
HRESULT PatternFromRadixText(std::string_view text, std::uint32_t* pattern);

// The shortest text (15, 16 or 17 significant digits; 6 to 9 for a float) that reads
// back to the same value, with LC_NUMERIC's decimal separator.
std::string TextFromDouble(double value);
std::string TextFromFloat(float value);

}  // namespace dbplatform::detail
