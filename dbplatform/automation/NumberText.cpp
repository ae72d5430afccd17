// Locale-aware number text. Parsing validates the text by hand and then lets the C
// library convert a normalised copy in the "C" locale: strtod alone would also take
// hexadecimal, "inf", "nan" and trailing garbage, none of which is a number here.
#include "NumberText.h"

#include <langinfo.h>
#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <dbplatform/base/AsciiText.h>

namespace {

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The decimal separator of the calling thread's LC_NUMERIC.
std::string_view DecimalSeparator() {
    const char* radix = nl_langinfo(RADIXCHAR);
    if (radix == nullptr || *radix == '\0') return ".";
    return radix;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the number grammar and writes the "C"-locale spelling of the text into
// `normal`. `integerOnly` tells whether there was neither a fraction nor an exponent.
bool Normalise(std::string_view text, std::string* normal, bool* integerOnly) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    std::string_view radix = DecimalSeparator();
    std::size_t at = 0;
    normal->clear();
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) normal->push_back(text[at++]);
    std::size_t digits = 0;
    while (at < text.size() && IsDigit(text[at])) normal->push_back(text[at++]), ++digits;
    *integerOnly = true;
    if (text.substr(at, radix.size()) == radix) {
        *integerOnly = false;
        at += radix.size();
        normal->push_back('.');
        while (at < text.size() && IsDigit(text[at])) normal->push_back(text[at++]), ++digits;
    }
    if (digits == 0) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        *integerOnly = false;
        normal->push_back(text[at++]);
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) normal->push_back(text[at++]);
        std::size_t exponentDigits = 0;
        while (at < text.size() && IsDigit(text[at])) normal->push_back(text[at++]), ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return at == text.size();
}

}  // namespace

HRESULT dbplatform::detail::NumberFromText(std::string_view text, ParsedNumber* number) {
    std::string normal;
    bool integerOnly;
    if (!Normalise(text, &normal, &integerOnly)) return DISP_E_TYPEMISMATCH;
    if (integerOnly) {
        // Exact while it fits comfortably in 128 bits; longer digit strings are read as a
        // double, which every integer target then refuses as out of range.
        bool negative = normal[0] == '-';
        std::size_t start = (normal[0] == '-' || normal[0] == '+') ? 1 : 0;
        while (start + 1 < normal.size() && normal[start] == '0') ++start;
        if (normal.size() - start <= 36) {
            __int128 value = 0;
            for (std::size_t i = start; i < normal.size(); ++i) value = value * 10 + (normal[i] - '0');
            number->isInteger = true;
            number->integer = negative ? -value : value;
            number->real = static_cast<double>(number->integer);
            return S_OK;
        }
    }
    errno = 0;
    double value = strtod_l(normal.c_str(), nullptr, CLocale());
    if (errno == ERANGE && std::isinf(value)) return DISP_E_OVERFLOW;
    number->isInteger = false;
    number->real = value;
    return S_OK;
}

HRESULT dbplatform::detail::PatternFromRadixText(std::string_view text, std::uint32_t* pattern) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.empty() || text.front() != '&') return S_FALSE;
    if (text.size() < 3) return DISP_E_TYPEMISMATCH;
    const char marker = text[1];
    unsigned bitsPerDigit;
    if (marker == 'H' || marker == 'h') bitsPerDigit = 4;
    else if (marker == 'O' || marker == 'o') bitsPerDigit = 3;
    else return DISP_E_TYPEMISMATCH;
    std::uint64_t value = 0;
    for (char c : text.substr(2)) {
        const int digit = dbplatform::HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= (1u << bitsPerDigit)) return DISP_E_TYPEMISMATCH;
        value = (value << bitsPerDigit) | digit;
        if (value > UINT32_MAX) return DISP_E_OVERFLOW;  // leading zeros never get here
    }
    *pattern = static_cast<std::uint32_t>(value);
    return S_OK;
}

HRESULT dbplatform::detail::FloatFromText(std::string_view text, float* value) {
    std::string normal;
    bool integerOnly;
    if (!Normalise(text, &normal, &integerOnly)) return DISP_E_TYPEMISMATCH;
    errno = 0;
    float result = strtof_l(normal.c_str(), nullptr, CLocale());
    if (errno == ERANGE && std::isinf(result)) return DISP_E_OVERFLOW;
    *value = result;
    return S_OK;
}

namespace {

// Formats with `digits` significant digits in the current locale; "E" exponents.
std::string Format(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
    return buffer;
}

std::string SpecialText(double value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-Infinity" : "Infinity";
}

}  // namespace

std::string dbplatform::detail::TextFromDouble(double value) {
    if (!std::isfinite(value)) return SpecialText(value);
    if (value == 0) return "0";  // also -0
    for (int digits = 15; digits < 17; ++digits) {
        std::string text = Format(value, digits);
        ParsedNumber back;
        if (SUCCEEDED(NumberFromText(text, &back)) && back.real == value) return text;
    }
    return Format(value, 17);
}

std::string dbplatform::detail::TextFromFloat(float value) {
    if (!std::isfinite(value)) return SpecialText(value);
    if (value == 0) return "0";
    for (int digits = 6; digits < 9; ++digits) {
        std::string text = Format(value, digits);
        float back;
        if (SUCCEEDED(FloatFromText(text, &back)) && back == value) return text;
    }
    return Format(value, 9);
}
