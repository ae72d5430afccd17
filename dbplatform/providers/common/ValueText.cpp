#include <dbplatform/providers/common/ValueText.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/base/AsciiText.h>

namespace dbplatform::provider {

bool DateFromServerText(std::string_view text, DATE* date) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    // A zone offset follows the time: "2005-12-19 08:30:00+01" or "...-05:30". The date's
    // own '-' signs all come before position 10.
    if (text.size() > 19) {
        std::size_t sign = text.find_first_of("+-", 11);
        if (sign != std::string_view::npos) text = text.substr(0, sign);
    }
    return SUCCEEDED(DateFromText(text, date));
}

bool DoubleFromText(std::string_view text, double* value) {
    if (text.empty()) return false;
    std::string_view digits = text;
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits == "Infinity" || digits == "inf" || digits == "Inf") {
        *value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    double parsed = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    *value = negative ? -parsed : parsed;
    return true;
}

bool IntegerFromText(std::string_view text, std::int64_t* value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

StoredNumber ReadStoredNumber(std::string_view text, std::int64_t* integer, double* real) {
    std::string_view unsigned_ = text;
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) unsigned_.remove_prefix(1);
    if (unsigned_ == "Inf" || unsigned_ == "Infinity") {
        *real = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return StoredNumber::Real;
    }
    if (unsigned_ == "NaN" && unsigned_.size() == text.size()) {
        *real = std::numeric_limits<double>::quiet_NaN();
        return StoredNumber::Real;
    }
    // from_chars would also take "nan", "inf" and "infinity" in any case: only digits
    // or a decimal point may start a number here.
    if (unsigned_.empty() || !(std::isdigit(static_cast<unsigned char>(unsigned_.front())) || unsigned_.front() == '.'))
        return StoredNumber::NotANumber;
    const bool digitsOnly = std::all_of(unsigned_.begin(), unsigned_.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    if (digitsOnly && IntegerFromText(text, integer)) return StoredNumber::Integer;
    double parsed = 0;
    auto [end, error] = std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), parsed);
    if (error != std::errc() || end != unsigned_.data() + unsigned_.size()) return StoredNumber::NotANumber;
    *real = negative ? -parsed : parsed;
    return StoredNumber::Real;
}

std::string TextFromDouble(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string TextFromFloat(float value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool BytesFromHex(std::string_view hex, std::string* bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes->clear();
    bytes->reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigitValue(hex[i]);
        int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

}  // namespace dbplatform::provider
