#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include <dbplatform/automation/VariantT.h>
#include <dbplatform/base/CodePage.h>

namespace {

std::string Text(const VARIANT& value) {
    return dbplatform::Utf8FromWide(std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal)));
}

// Converts and returns the HRESULT; the converted value lands in *out.
HRESULT Change(const _variant_t& in, VARTYPE type, _variant_t* out, USHORT flags = 0) {
    return VariantChangeType(out, &in, flags, type);
}

long long IntegerOf(const VARIANT& value) {
    switch (value.vt) {
        case VT_I1: return value.cVal;
        case VT_UI1: return value.bVal;
        case VT_I2: return value.iVal;
        case VT_UI2: return value.uiVal;
        case VT_I4: return value.lVal;
        case VT_INT: return value.intVal;
        case VT_UI4: return value.ulVal;
        case VT_UINT: return value.uintVal;
        case VT_I8: return value.llVal;
        case VT_UI8: return static_cast<long long>(value.ullVal);
        case VT_BOOL: return value.boolVal;
        case VT_ERROR: return value.scode;
        default: ADD_FAILURE() << "not an integer type: " << value.vt; return 0;
    }
}

_variant_t Null() {
    _variant_t value;
    value.vt = VT_NULL;
    return value;
}

struct IntegerCase {
    _variant_t in;
    VARTYPE type;
    HRESULT hr;
    long long expected;
};

TEST(VariantChangeType, ToIntegersRoundHalfEvenAndOverflowPerType) {
    const IntegerCase cases[] = {
        {12.5, VT_I4, S_OK, 12},
        {13.5, VT_I4, S_OK, 14},
        {12.6, VT_I4, S_OK, 13},
        {-2.5, VT_I4, S_OK, -2},
        {-3.5, VT_I4, S_OK, -4},
        {0.5, VT_I2, S_OK, 0},
        {1.5, VT_I2, S_OK, 2},
        {-0.4, VT_UI1, S_OK, 0},
        {-0.6, VT_UI1, DISP_E_OVERFLOW, 0},
        {254.5, VT_UI1, S_OK, 254},
        {255.5, VT_UI1, DISP_E_OVERFLOW, 0},
        {127.5, VT_I1, DISP_E_OVERFLOW, 0},
        {-128.5, VT_I1, S_OK, -128},
        {32767.4, VT_I2, S_OK, 32767},
        {32767.5, VT_I2, DISP_E_OVERFLOW, 0},
        {2147483647.5, VT_I4, DISP_E_OVERFLOW, 0},
        {-2147483648.5, VT_I4, S_OK, -2147483648LL},
        {9.3e18, VT_I8, DISP_E_OVERFLOW, 0},
        {std::nan(""), VT_I4, DISP_E_OVERFLOW, 0},
        {std::numeric_limits<double>::infinity(), VT_I8, DISP_E_OVERFLOW, 0},
        {2.5f, VT_I2, S_OK, 2},
        {70000, VT_I2, DISP_E_OVERFLOW, 0},
        {-1, VT_UI1, DISP_E_OVERFLOW, 0},
        {256, VT_UI1, DISP_E_OVERFLOW, 0},
        {255, VT_UI1, S_OK, 255},
        {_variant_t(2147483648LL), VT_I4, DISP_E_OVERFLOW, 0},
        {_variant_t(-2147483648LL), VT_I4, S_OK, -2147483648LL},
        {_variant_t(static_cast<unsigned char>(200)), VT_I1, DISP_E_OVERFLOW, 0},
        {true, VT_I4, S_OK, -1},
        {false, VT_I2, S_OK, 0},
        {_variant_t(1.5, VT_DATE), VT_I4, S_OK, 2},
        {_variant_t(), VT_I4, S_OK, 0},
        {_variant_t(), VT_UI1, S_OK, 0},
        {3.0, VT_BOOL, S_OK, VARIANT_TRUE},
        {0.0, VT_BOOL, S_OK, VARIANT_FALSE},
        {-7, VT_BOOL, S_OK, VARIANT_TRUE},
        {_variant_t(static_cast<long>(DISP_E_PARAMNOTFOUND), VT_ERROR), VT_I4, S_OK, DISP_E_PARAMNOTFOUND},
        {_variant_t(static_cast<long>(DISP_E_PARAMNOTFOUND), VT_ERROR), VT_I2, DISP_E_OVERFLOW, 0},
        {_variant_t(5), VT_ERROR, S_OK, 5},
        {2.0, VT_ERROR, DISP_E_TYPEMISMATCH, 0},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "vt " << c.in.vt << " -> " << c.type);
        _variant_t out;
        ASSERT_EQ(Change(c.in, c.type, &out), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(out.vt, c.type);
            EXPECT_EQ(IntegerOf(out), c.expected);
        } else {
            EXPECT_EQ(out.vt, VT_EMPTY);  // a failed conversion leaves the destination alone
        }
    }
}

TEST(VariantChangeType, NullAndEmpty) {
    struct Case {
        _variant_t in;
        VARTYPE type;
        HRESULT hr;
    } cases[] = {
        {Null(), VT_I4, DISP_E_TYPEMISMATCH},   {Null(), VT_R8, DISP_E_TYPEMISMATCH},
        {Null(), VT_DATE, DISP_E_TYPEMISMATCH}, {Null(), VT_BSTR, DISP_E_TYPEMISMATCH},
        {Null(), VT_BOOL, DISP_E_TYPEMISMATCH}, {Null(), VT_UI1, DISP_E_TYPEMISMATCH},
        {Null(), VT_NULL, S_OK},                {Null(), VT_EMPTY, DISP_E_TYPEMISMATCH},
        {_variant_t(), VT_NULL, S_OK},          {_variant_t(), VT_BSTR, S_OK},
        {_variant_t(), VT_R8, S_OK},            {_variant_t(), VT_DATE, S_OK},
        {_variant_t(), VT_BOOL, S_OK},          {_variant_t(3), VT_NULL, DISP_E_TYPEMISMATCH},
        {_variant_t("x"), VT_EMPTY, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vt " << c.in.vt << " -> " << c.type);
        _variant_t out;
        EXPECT_EQ(Change(c.in, c.type, &out), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(out.vt, c.type);
        }
    }
    _variant_t out;
    ASSERT_EQ(Change(_variant_t(), VT_BSTR, &out), S_OK);
    EXPECT_EQ(Text(out), "");
    ASSERT_EQ(Change(_variant_t(), VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 0.0);
}

struct TextToNumberCase {
    const char* text;
    VARTYPE type;
    HRESULT hr;
    double expected;
};

void CheckTextToNumber(const TextToNumberCase& c) {
    SCOPED_TRACE(testing::Message() << "\"" << c.text << "\" -> " << c.type);
    _variant_t out;
    ASSERT_EQ(Change(_variant_t(c.text), c.type, &out), c.hr);
    if (c.hr != S_OK) return;
    ASSERT_EQ(out.vt, c.type);
    if (c.type == VT_R8)
        EXPECT_EQ(out.dblVal, c.expected);
    else if (c.type == VT_R4)
        EXPECT_EQ(out.fltVal, static_cast<float>(c.expected));
    else
        EXPECT_EQ(static_cast<double>(IntegerOf(out)), c.expected);
}

TEST(VariantChangeType, TextToNumbers) {
    const TextToNumberCase cases[] = {
        {"42", VT_I4, S_OK, 42},
        {"  42\t", VT_I4, S_OK, 42},
        {"-7", VT_I2, S_OK, -7},
        {"+7", VT_I1, S_OK, 7},
        {"42.5", VT_I4, S_OK, 42},
        {"43.5", VT_I4, S_OK, 44},
        {"1e3", VT_I4, S_OK, 1000},
        {"3.25", VT_R8, S_OK, 3.25},
        {".5", VT_R8, S_OK, 0.5},
        {"5.", VT_R8, S_OK, 5},
        {"-1.5E-3", VT_R8, S_OK, -0.0015},
        {"0.1", VT_R4, S_OK, 0.1},
        {"70000", VT_I2, DISP_E_OVERFLOW, 0},
        {"256", VT_UI1, DISP_E_OVERFLOW, 0},
        {"-1", VT_UI1, DISP_E_OVERFLOW, 0},
        {"9223372036854775807", VT_I8, S_OK, 9223372036854775807.0},
        {"9223372036854775808", VT_I8, DISP_E_OVERFLOW, 0},
        {"123456789012345678901234567890123456789012", VT_I8, DISP_E_OVERFLOW, 0},
        {"1e400", VT_R8, DISP_E_OVERFLOW, 0},
        {"1e39", VT_R4, DISP_E_OVERFLOW, 0},
        {"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"   ", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"1 2", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"0x1A", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"inf", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"nan", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {".", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"1e", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"--1", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"1,5", VT_R8, DISP_E_TYPEMISMATCH, 0},  // not the decimal separator in the C locale
        {"True", VT_BOOL, S_OK, VARIANT_TRUE},
        {" false ", VT_BOOL, S_OK, VARIANT_FALSE},
        {"TRUE", VT_BOOL, S_OK, VARIANT_TRUE},
        {"0", VT_BOOL, S_OK, VARIANT_FALSE},
        {"-2.5", VT_BOOL, S_OK, VARIANT_TRUE},
        {"yes", VT_BOOL, DISP_E_TYPEMISMATCH, 0},
        {"5", VT_ERROR, DISP_E_TYPEMISMATCH, 0},
    };
    for (const TextToNumberCase& c : cases) CheckTextToNumber(c);
}

struct NumberToTextCase {
    _variant_t in;
    USHORT flags;
    HRESULT hr;
    const char* expected;
};

void CheckNumberToText(const NumberToTextCase& c) {
    SCOPED_TRACE(testing::Message() << "vt " << c.in.vt << " flags " << c.flags);
    _variant_t out;
    ASSERT_EQ(Change(c.in, VT_BSTR, &out, c.flags), c.hr);
    if (c.hr == S_OK) {
        EXPECT_EQ(Text(out), c.expected);
    }
}

TEST(VariantChangeType, NumbersToShortestText) {
    const NumberToTextCase cases[] = {
        {0.1, 0, S_OK, "0.1"},
        {1.0 / 3.0, 0, S_OK, "0.3333333333333333"},
        {0.1 + 0.2, 0, S_OK, "0.30000000000000004"},
        {123456789.125, 0, S_OK, "123456789.125"},
        {-2.5, 0, S_OK, "-2.5"},
        {1e20, 0, S_OK, "1E+20"},
        {-0.0, 0, S_OK, "0"},
        {0.1f, 0, S_OK, "0.1"},
        {1.0f / 3.0f, 0, S_OK, "0.33333334"},
        {16777216.0f, 0, S_OK, "16777216"},
        {-5, 0, S_OK, "-5"},
        {_variant_t(9223372036854775807LL), 0, S_OK, "9223372036854775807"},
        {_variant_t(static_cast<unsigned char>(255)), 0, S_OK, "255"},
        {true, 0, S_OK, "-1"},
        {false, 0, S_OK, "0"},
        {true, VARIANT_ALPHABOOL, S_OK, "True"},
        {false, VARIANT_ALPHABOOL, S_OK, "False"},
        {_variant_t(-1.25, VT_DATE), 0, S_OK, "1899-12-29 06:00:00"},
        {_variant_t(3e6, VT_DATE), 0, DISP_E_OVERFLOW, ""},
        {vtMissing, 0, DISP_E_TYPEMISMATCH, ""},
    };
    for (const NumberToTextCase& c : cases) CheckNumberToText(c);
}

// Every double printed must read back to itself, whatever its magnitude.
TEST(VariantChangeType, DoubleTextRoundTrips) {
    const double values[] = {5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 0.1, 1e15 + 0.3,
                             123.456, -9007199254740993.0, 6.02214076e23, 299792458.0};
    for (double value : values) {
        _variant_t text, back;
        ASSERT_EQ(Change(value, VT_BSTR, &text), S_OK);
        ASSERT_EQ(Change(text, VT_R8, &back), S_OK) << Text(text);
        EXPECT_EQ(back.dblVal, value) << Text(text);
    }
}

TEST(VariantChangeType, NumbersAndDates) {
    const struct {
        _variant_t in;
        VARTYPE type;
        HRESULT hr;
        double expected;
    } cases[] = {
        {2958465.5, VT_DATE, S_OK, 2958465.5},
        {2958466.0, VT_DATE, DISP_E_OVERFLOW, 0},
        {-657434.5, VT_DATE, S_OK, -657434.5},
        {-657435.0, VT_DATE, DISP_E_OVERFLOW, 0},
        {_variant_t(40000), VT_DATE, S_OK, 40000},
        {_variant_t(-1.25, VT_DATE), VT_R8, S_OK, -1.25},
        {_variant_t(2.75, VT_DATE), VT_R4, S_OK, 2.75},
        {vtMissing, VT_DATE, DISP_E_TYPEMISMATCH, 0},
        {vtMissing, VT_R8, DISP_E_TYPEMISMATCH, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "vt " << c.in.vt << " -> " << c.type);
        _variant_t out;
        ASSERT_EQ(Change(c.in, c.type, &out), c.hr);
        if (c.hr != S_OK) continue;
        EXPECT_EQ(out.vt, c.type);
        EXPECT_EQ(c.type == VT_R4 ? out.fltVal : out.dblVal, c.expected);
    }
    _variant_t date;
    ASSERT_EQ(Change(_variant_t("1900-01-04 06:00"), VT_DATE, &date), S_OK);
    EXPECT_EQ(date.date, 5.25);
    EXPECT_EQ(Change(_variant_t("5.25"), VT_DATE, &date), DISP_E_TYPEMISMATCH);
}

_variant_t Bool(SHORT raw) {
    _variant_t value;
    value.vt = VT_BOOL;
    value.boolVal = static_cast<VARIANT_BOOL>(raw);
    return value;
}

// The conversions where hosts on Windows get a value and this platform once differed.
TEST(VariantChangeType, AsWindowsGivesThem) {
    struct Case {
        _variant_t in;
        VARTYPE type;
        HRESULT hr;
        long long integer;  // integer and boolean results
        double real;        // VT_R4 and VT_R8 results
        const char* text;   // VT_BSTR results
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        // A boolean is a 16-bit pattern: unsigned types take it wrapped.
        {Bool(-1), VT_UI1, S_OK, 255, 0, nullptr},
        {Bool(-1), VT_UI2, S_OK, 65535, 0, nullptr},
        {Bool(-1), VT_UI4, S_OK, 4294967295LL, 0, nullptr},
        {Bool(-1), VT_UINT, S_OK, 4294967295LL, 0, nullptr},
        {Bool(-1), VT_UI8, S_OK, -1 /* all 64 bits set */, 0, nullptr},
        {Bool(0), VT_UI1, S_OK, 0, 0, nullptr},
        {Bool(-1), VT_I1, S_OK, -1, 0, nullptr},
        {Bool(-1), VT_I8, S_OK, -1, 0, nullptr},
        // A non-canonical raw 1 stays 1.
        {Bool(1), VT_I4, S_OK, 1, 0, nullptr},
        {Bool(1), VT_R8, S_OK, 0, 1.0, nullptr},
        {Bool(1), VT_BSTR, S_OK, 0, 0, "1"},
        {Bool(1), VT_UI1, S_OK, 1, 0, nullptr},
        {Bool(-1), VT_BSTR, S_OK, 0, 0, "-1"},
        // Hexadecimal and octal texts, at most 32 bits.
        {"&H10", VT_I4, S_OK, 16, 0, nullptr},
        {"&h1F", VT_I4, S_OK, 31, 0, nullptr},
        {"&O17", VT_I4, S_OK, 15, 0, nullptr},
        {"&o17", VT_UI1, S_OK, 15, 0, nullptr},
        {" &H10 ", VT_I2, S_OK, 16, 0, nullptr},
        {"&HFFFF", VT_I4, S_OK, 65535, 0, nullptr},
        {"&HFFFF", VT_I2, S_OK, -1, 0, nullptr},
        {"&HFFFF", VT_UI2, S_OK, 65535, 0, nullptr},
        {"&HFF", VT_I1, S_OK, -1, 0, nullptr},
        {"&HFF", VT_UI1, S_OK, 255, 0, nullptr},
        {"&H100", VT_UI1, DISP_E_OVERFLOW, 0, 0, nullptr},
        {"&H10000", VT_I2, DISP_E_OVERFLOW, 0, 0, nullptr},
        {"&HFFFFFFFF", VT_I4, S_OK, -1, 0, nullptr},
        {"&HFFFFFFFF", VT_I2, S_OK, -1, 0, nullptr},
        {"&HFFFFFFFF", VT_UI4, S_OK, 4294967295LL, 0, nullptr},
        {"&HFFFFFFFF", VT_R8, S_OK, 0, -1.0, nullptr},
        {"&H80000000", VT_I4, S_OK, INT32_MIN, 0, nullptr},
        {"&H10", VT_R8, S_OK, 0, 16.0, nullptr},
        {"&H10", VT_R4, S_OK, 0, 16.0, nullptr},
        {"&H10", VT_BOOL, S_OK, VARIANT_TRUE, 0, nullptr},
        {"&H0", VT_BOOL, S_OK, VARIANT_FALSE, 0, nullptr},
        {"&H100000000", VT_I8, DISP_E_OVERFLOW, 0, 0, nullptr},
        {"&H0000000010", VT_I4, S_OK, 16, 0, nullptr},  // leading zeros are no bits
        {"&O37777777777", VT_I4, S_OK, -1, 0, nullptr},
        {"&O40000000000", VT_I4, DISP_E_OVERFLOW, 0, 0, nullptr},
        {"&O18", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"&HG", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"&H", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"&X10", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"-&H10", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"&H1 0", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"&H10", VT_DATE, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        // The boolean forms written between number signs.
        {"#TRUE#", VT_BOOL, S_OK, VARIANT_TRUE, 0, nullptr},
        {"#FALSE#", VT_BOOL, S_OK, VARIANT_FALSE, 0, nullptr},
        {" #true# ", VT_BOOL, S_OK, VARIANT_TRUE, 0, nullptr},
        {"#TRUE", VT_BOOL, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {"#TRUE#", VT_I4, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        // Double -> single: the nearest float, overflow only past FLT_MAX.
        {3.4028235e38, VT_R4, S_OK, 0, FLT_MAX, nullptr},
        {-3.4028235e38, VT_R4, S_OK, 0, -FLT_MAX, nullptr},
        {3.4028236e38, VT_R4, DISP_E_OVERFLOW, 0, 0, nullptr},
        {1e39, VT_R4, DISP_E_OVERFLOW, 0, 0, nullptr},
        {inf, VT_R4, DISP_E_OVERFLOW, 0, 0, nullptr},
        {-inf, VT_R4, DISP_E_OVERFLOW, 0, 0, nullptr},
        {1e-50, VT_R4, S_OK, 0, 0.0, nullptr},
        {"3.4028235e38", VT_R4, S_OK, 0, FLT_MAX, nullptr},
        // NaN is no value of another type; its text is still shown.
        {std::nan(""), VT_R4, DISP_E_OVERFLOW, 0, 0, nullptr},
        {std::nan(""), VT_BOOL, DISP_E_OVERFLOW, 0, 0, nullptr},
        {std::nanf(""), VT_R8, DISP_E_OVERFLOW, 0, 0, nullptr},
        {std::nan(""), VT_BSTR, S_OK, 0, 0, "NaN"},
        // A database NULL does not become "no value".
        {Null(), VT_EMPTY, DISP_E_TYPEMISMATCH, 0, 0, nullptr},
        {_variant_t(7), VT_EMPTY, S_OK, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vt " << c.in.vt << " -> " << c.type
                                        << (c.in.vt == VT_BSTR ? " \"" + Text(c.in) + "\"" : std::string()));
        _variant_t out;
        const HRESULT hr = Change(c.in, c.type, &out);
        EXPECT_EQ(c.hr, hr);
        if (hr != c.hr) continue;
        if (c.hr != S_OK) {
            EXPECT_EQ(VT_EMPTY, out.vt);
            continue;
        }
        EXPECT_EQ(c.type, out.vt);
        if (out.vt != c.type) continue;
        if (c.type == VT_R8) {
            EXPECT_EQ(c.real, out.dblVal);
        } else if (c.type == VT_R4) {
            EXPECT_EQ(static_cast<float>(c.real), out.fltVal);
        } else if (c.type == VT_BSTR) {
            EXPECT_EQ(c.text, Text(out));
        } else if (c.type != VT_EMPTY) {
            EXPECT_EQ(c.integer, IntegerOf(out));
        }
    }
}

TEST(VariantChangeType, UnknownTypesAreBadVarType) {
    _variant_t out;
    _variant_t currency;
    currency.vt = VT_CY;
    EXPECT_EQ(Change(currency, VT_I4, &out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(_variant_t(1), static_cast<VARTYPE>(0x7F), &out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(_variant_t(1), VT_DECIMAL, &out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(_variant_t(1), VT_I4 | VT_BYREF, &out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(_variant_t(1), VT_ARRAY | VT_UI1, &out), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, InPlaceConversionFreesTheOldValue) {
    _variant_t value("  12 ");
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_I4), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 12);
    ASSERT_EQ(VariantChangeType(&value, &value, 0, VT_BSTR), S_OK);
    EXPECT_EQ(Text(value), "12");
    // A failed conversion in place keeps the value.
    _variant_t word("twelve");
    EXPECT_EQ(VariantChangeType(&word, &word, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(word.vt, VT_BSTR);
    EXPECT_EQ(Text(word), "twelve");
}

// A decimal-comma locale: text is read and written with its separator.
TEST(VariantChangeType, FollowsTheDecimalSeparatorOfLcNumeric) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        const char* ci = std::getenv("CI");
        if (ci != nullptr && std::string(ci) == "true") FAIL() << "locale de_DE.UTF-8 is not installed";
        GTEST_SKIP() << "LOCALE de_DE.UTF-8 IS NOT INSTALLED: decimal-comma conversions not tested "
                        "(scripts/install-deps.sh generates it)";
    }
    const TextToNumberCase textCases[] = {
        {"3,5", VT_R8, S_OK, 3.5},
        {"-0,25", VT_R4, S_OK, -0.25},
        {"42,5", VT_I4, S_OK, 42},
        {"3.5", VT_R8, DISP_E_TYPEMISMATCH, 0},
    };
    for (const TextToNumberCase& c : textCases) CheckTextToNumber(c);
    const NumberToTextCase numberCases[] = {
        {2.25, 0, S_OK, "2,25"},
        {0.1f, 0, S_OK, "0,1"},
        {1e20, 0, S_OK, "1E+20"},
        {_variant_t(7), 0, S_OK, "7"},
        {_variant_t(0.5, VT_DATE), 0, S_OK, "1899-12-30 12:00:00"},
    };
    for (const NumberToTextCase& c : numberCases) CheckNumberToText(c);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
