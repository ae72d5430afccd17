// Text forms of values as the database servers print and read them, independent of the
// process locale (a decimal comma in LC_NUMERIC must never reach SQL or be expected back).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <dbplatform/base/WinTypes.h>

namespace dbplatform::provider {

// A server's date-time text as an automation date: the forms of DateFromText, plus a
// trailing time-zone offset ("+01", "-05:30") which is dropped. False for anything else
// (infinity, BC dates, garbage).
bool DateFromServerText(std::string_view text, DATE* date);

// Reads a decimal or exponent number ("1.5", "-2e10", "NaN", "Infinity"); false otherwise.
bool DoubleFromText(std::string_view text, double* value);
bool IntegerFromText(std::string_view text, std::int64_t* value);

// What the text a driver prints for a value of a number column holds.
enum class StoredNumber { Integer, Real, NotANumber };

// Reads `text` strictly, so that a value stored as text in a number column is never taken
// for a number it only begins with: an optional sign and decimal digits is an Integer when
// it fits 64 bits; a decimal or exponent form, an integer too large for 64 bits, or one of
// the words drivers print for stored infinities and NaN ("Inf", "Infinity", "NaN") is a
// Real; anything else (a unit after the digits, separators, blanks, hexadecimal, a number
// past the range of a double, the empty text) is NotANumber.
StoredNumber ReadStoredNumber(std::string_view text, std::int64_t* integer, double* real);

// The shortest text that reads back to the same value, with a '.' separator.
std::string TextFromDouble(double value);
std::string TextFromFloat(float value);

// Decodes hexadecimal digits (the "\x" of a PostgreSQL bytea already removed); false when
// a character is not a hex digit or the count is odd.
bool BytesFromHex(std::string_view hex, std::string* bytes);

}  // namespace dbplatform::provider
