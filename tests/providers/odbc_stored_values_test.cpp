// Values of number columns read through the three ODBC drivers exactly as the engine
// stores them: a text that is no number stays that text (so converting it fails), a real in
// an integer column stays a real, and numbers past 64 bits or past a double are not wrapped
// or turned into infinity.
#include <cmath>
#include <filesystem>
#include <limits>

#include <dbplatform/providers/common/ValueText.h>

#include "odbc_test_support.h"

namespace {

using namespace providertest;
using dbplatform::provider::ReadStoredNumber;
using dbplatform::provider::StoredNumber;
using testdb::Target;

const double kInfinity = std::numeric_limits<double>::infinity();

TEST(StoredNumberText, ReadsOnlyWholeNumbers) {
    struct Case {
        const char* text;
        StoredNumber expected;
        std::int64_t integer;
        double real;
    };
    const Case cases[] = {
        {"0", StoredNumber::Integer, 0, 0},
        {"-42", StoredNumber::Integer, -42, 0},
        {"+7", StoredNumber::Integer, 7, 0},
        {"9223372036854775807", StoredNumber::Integer, INT64_MAX, 0},
        {"-9223372036854775808", StoredNumber::Integer, INT64_MIN, 0},
        // Past 64 bits an integer is still a number: the nearest real.
        {"18446744073709551615", StoredNumber::Real, 0, 18446744073709551615.0},
        {"1.6", StoredNumber::Real, 0, 1.6},
        {"-0.25", StoredNumber::Real, 0, -0.25},
        {".5", StoredNumber::Real, 0, 0.5},
        {"1e3", StoredNumber::Real, 0, 1000},
        {"1.0e+300", StoredNumber::Real, 0, 1e300},
        {"9.00719925474099e+15", StoredNumber::Real, 0, 9.00719925474099e+15},
        {"Inf", StoredNumber::Real, 0, kInfinity},
        {"-Inf", StoredNumber::Real, 0, -kInfinity},
        {"Infinity", StoredNumber::Real, 0, kInfinity},
        {"-Infinity", StoredNumber::Real, 0, -kInfinity},
        // Texts a lenient reader would take for the number they begin with, or for a word.
        {"x", StoredNumber::NotANumber, 0, 0},
        {"abc", StoredNumber::NotANumber, 0, 0},
        {"12.5kg", StoredNumber::NotANumber, 0, 0},
        {"1.5e", StoredNumber::NotANumber, 0, 0},
        {"1,5", StoredNumber::NotANumber, 0, 0},
        {"0x10", StoredNumber::NotANumber, 0, 0},
        {" 5", StoredNumber::NotANumber, 0, 0},
        {"5 ", StoredNumber::NotANumber, 0, 0},
        {"", StoredNumber::NotANumber, 0, 0},
        {"-", StoredNumber::NotANumber, 0, 0},
        {"nan", StoredNumber::NotANumber, 0, 0},
        {"inf", StoredNumber::NotANumber, 0, 0},
        {"infinity", StoredNumber::NotANumber, 0, 0},
        {"-NaN", StoredNumber::NotANumber, 0, 0},
        {"1e400", StoredNumber::NotANumber, 0, 0},
        {"X'0102'", StoredNumber::NotANumber, 0, 0},
    };
    for (const Case& c : cases) {
        std::int64_t integer = 0;
        double real = 0;
        StoredNumber read = ReadStoredNumber(c.text, &integer, &real);
        EXPECT_EQ(c.expected, read) << "'" << c.text << "'";
        if (read != c.expected) continue;
        if (c.expected == StoredNumber::Integer) {
            EXPECT_EQ(c.integer, integer) << c.text;
        } else if (c.expected == StoredNumber::Real) {
            EXPECT_EQ(c.real, real) << c.text;
        }
    }
    double real = 0;
    std::int64_t integer = 0;
    ASSERT_EQ(StoredNumber::Real, ReadStoredNumber("NaN", &integer, &real));
    EXPECT_TRUE(std::isnan(real));
}

// One stored value: the column type, the SQL literal stored, and the cell expected back.
struct StoredCase {
    const char* type;
    const char* literal;
    ValueKind kind;
    std::int64_t integer;
    double real;
    const char* text;
};

Value Expected(const StoredCase& c) { return Value{c.kind, c.integer, c.real, c.text ? c.text : ""}; }

// The cases each driver can store: PostgreSQL and MariaDB refuse a text in a number column
// themselves, the SQLite engine keeps it.
std::vector<StoredCase> CasesFor(Target target) {
    using K = ValueKind;
    switch (target) {
        case Target::SqliteOdbc:
            return {
                {"INTEGER", "'x'", K::Text, 0, 0, "x"},
                {"INTEGER", "'12.5kg'", K::Text, 0, 0, "12.5kg"},
                {"INTEGER", "''", K::Text, 0, 0, ""},
                {"INTEGER", "1.6", K::Double, 0, 1.6, nullptr},
                {"INTEGER", "-2.5", K::Double, 0, -2.5, nullptr},
                {"INTEGER", "'1e3'", K::Integer, 1000, 0, nullptr},
                {"INTEGER", "9007199254740993", K::Integer, 9007199254740993, 0, nullptr},
                {"INTEGER", "-9223372036854775808", K::Integer, INT64_MIN, 0, nullptr},
                {"INTEGER", "-42", K::Integer, -42, 0, nullptr},
                {"INTEGER", "NULL", K::Null, 0, 0, nullptr},
                {"REAL", "'abc'", K::Text, 0, 0, "abc"},
                {"REAL", "'12.5kg'", K::Text, 0, 0, "12.5kg"},
                {"REAL", "'1.5e'", K::Text, 0, 0, "1.5e"},
                {"REAL", "'1,5'", K::Text, 0, 0, "1,5"},
                {"REAL", "'0x10'", K::Text, 0, 0, "0x10"},
                {"REAL", "'nan'", K::Text, 0, 0, "nan"},
                {"REAL", "-42.25", K::Double, 0, -42.25, nullptr},
                {"REAL", "12.5", K::Double, 0, 12.5, nullptr},
                {"REAL", "2.5e-3", K::Double, 0, 0.0025, nullptr},
                {"REAL", "1e300", K::Double, 0, 1e300, nullptr},
                {"REAL", "9e999", K::Double, 0, kInfinity, nullptr},
                {"REAL", "-9e999", K::Double, 0, -kInfinity, nullptr},
                {"REAL", "7", K::Double, 0, 7, nullptr},
                {"REAL", "NULL", K::Null, 0, 0, nullptr},
                {"NUMERIC(10,2)", "'x'", K::Text, 0, 0, "x"},
                {"NUMERIC(10,2)", "1.25", K::Double, 0, 1.25, nullptr},
                {"BOOLEAN", "'x'", K::Text, 0, 0, "x"},
                {"BOOLEAN", "2", K::Boolean, 1, 0, nullptr},
                {"BOOLEAN", "0", K::Boolean, 0, 0, nullptr},
            };
        case Target::PostgresOdbc:
            return {
                {"BIGINT", "-9223372036854775808", K::Integer, INT64_MIN, 0, nullptr},
                {"INTEGER", "1.6", K::Integer, 2, 0, nullptr},  // the server rounds on storing
                {"NUMERIC", "-1.6", K::Double, 0, -1.6, nullptr},
                {"NUMERIC", "0.000015", K::Double, 0, 1.5e-5, nullptr},
                {"NUMERIC", "12345678901234567890123", K::Double, 0, 12345678901234567890123.0, nullptr},
                // Past the range of a double: kept as the server prints it, never infinity.
                {"NUMERIC", "1e400", K::Text, 0, 0, nullptr},
                {"DOUBLE PRECISION", "'Infinity'", K::Double, 0, kInfinity, nullptr},
                {"DOUBLE PRECISION", "'-Infinity'", K::Double, 0, -kInfinity, nullptr},
                {"DOUBLE PRECISION", "1e-300", K::Double, 0, 1e-300, nullptr},
                {"REAL", "1.5", K::Double, 0, 1.5, nullptr},
                {"SMALLINT", "-32768", K::Integer, -32768, 0, nullptr},
                {"INTEGER", "NULL", K::Null, 0, 0, nullptr},
            };
        case Target::MariaOdbc:
            return {
                // A signed 64-bit read of these wraps to -1 and INT64_MIN without a word.
                {"BIGINT UNSIGNED", "18446744073709551615", K::Double, 0, 18446744073709551615.0, nullptr},
                {"BIGINT UNSIGNED", "9223372036854775808", K::Double, 0, 9223372036854775808.0, nullptr},
                {"BIGINT UNSIGNED", "9223372036854775807", K::Integer, INT64_MAX, 0, nullptr},
                {"INT UNSIGNED", "4294967295", K::Integer, 4294967295, 0, nullptr},
                {"BIGINT", "-9223372036854775808", K::Integer, INT64_MIN, 0, nullptr},
                {"INTEGER", "1.6", K::Integer, 2, 0, nullptr},  // the server rounds on storing
                {"DECIMAL(40,2)", "-1.6", K::Double, 0, -1.6, nullptr},
                {"DECIMAL(65,0)", "99999999999999999999999999999999999999999999999999999999999999999", K::Double, 0,
                 1e65, nullptr},
                {"DOUBLE", "0.1e0 + 0.2e0", K::Double, 0, 0.1 + 0.2, nullptr},
                {"DOUBLE", "-42.25", K::Double, 0, -42.25, nullptr},
                {"INTEGER", "NULL", K::Null, 0, 0, nullptr},
            };
        default: return {};
    }
}

class OdbcStoredValues : public TargetSessionTest {
protected:
    OdbcStoredValues() : TargetSessionTest("odbc_stored") {}
};

TEST_P(OdbcStoredValues, ReadAsStored) {
    for (const StoredCase& c : CasesFor(GetParam())) {
        SCOPED_TRACE(std::string(c.type) + " holding " + c.literal);
        Exec(*session_, "DROP TABLE IF EXISTS " + table_);
        Exec(*session_, "CREATE TABLE " + table_ + " (v " + c.type + ")");
        Exec(*session_, "INSERT INTO " + table_ + " VALUES (" + c.literal + ")");
        for (bool forUpdate : {false, true}) {
            std::vector<std::vector<Value>> rows = Rows(*session_, "SELECT v FROM " + table_, forUpdate);
            ASSERT_EQ(1u, rows.size());
            const Value& read = rows[0].back();  // after the row identity, where one is added
            ASSERT_EQ(c.kind, read.kind);
            switch (c.kind) {
                case ValueKind::Integer:
                case ValueKind::Boolean: EXPECT_EQ(c.integer, read.integer); break;
                case ValueKind::Double: EXPECT_EQ(c.real, read.real); break;
                case ValueKind::Text:
                    if (c.text) {
                        EXPECT_EQ(Expected(c).bytes, read.bytes);
                    }
                    break;
                default: break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcStoredValues,
                         ::testing::Values(Target::SqliteOdbc, Target::PostgresOdbc, Target::MariaOdbc),
                         [](const ::testing::TestParamInfo<Target>& info) { return testdb::TargetName(info.param); });

}  // namespace
