// Texts and binary values of every length read back whole through the providers that fetch
// a value in pieces (the ODBC drivers) or from the server's text (PostgreSQL): lengths on
// either side of a piece, empty values and NULLs, a multi-byte character cut by a piece's
// end, and a short value read after a long one in the same row.
#include "odbc_test_support.h"

namespace {

using namespace providertest;
using testdb::Target;

// A text of `length` bytes whose every position differs from its neighbours', so a
// piece read twice or skipped shows.
std::string Pattern(std::size_t length) {
    std::string text(length, ' ');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

// A binary value of `length` bytes covering every byte value, zero included.
std::string BinaryPattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 31 + i / 256) & 0xff);
    return bytes;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

// The column types and the binary literal of each product.
struct Dialect {
    const char* textType;
    const char* binaryType;
    std::string (*binaryLiteral)(const std::string& hex);
};

Dialect DialectOf(Target target) {
    switch (target) {
        case Target::PostgresNative:
        case Target::PostgresOdbc:
            return {"TEXT", "BYTEA", [](const std::string& hex) { return "decode('" + hex + "', 'hex')"; }};
        case Target::MariaOdbc:
            return {"LONGTEXT", "LONGBLOB",
                    [](const std::string& hex) { return hex.empty() ? std::string("''") : "X'" + hex + "'"; }};
        default: return {"TEXT", "BLOB", [](const std::string& hex) { return "X'" + hex + "'"; }};
    }
}

class FetchedLengths : public TargetSessionTest {
protected:
    FetchedLengths() : TargetSessionTest("fetched_lengths") {}
    void SetUp() override {
        TargetSessionTest::SetUp();
        if (!session_) return;  // skipped or failed: no server
        const Dialect dialect = DialectOf(GetParam());
        Exec(*session_, "DROP TABLE IF EXISTS " + table_);
        Exec(*session_, "CREATE TABLE " + table_ + " (id INTEGER, t " + dialect.textType + ", b " + dialect.binaryType +
                            ", after_them VARCHAR(10))");
    }
};

TEST_P(FetchedLengths, EveryLengthReadsWhole) {
    const std::size_t lengths[] = {0, 1, 19, 127, 128, 129, 255, 256, 257, 4095, 8191, 8192, 8193, 70000};
    const Dialect dialect = DialectOf(GetParam());
    struct Row {
        std::string text;
        std::string binary;
    };
    std::vector<Row> expected;
    for (std::size_t length : lengths) expected.push_back({Pattern(length), BinaryPattern(length)});
    // A two-byte character across the ends of the first pieces.
    std::string accents = "a";
    for (int i = 0; i < 200; ++i) accents += "\xc3\xa9";
    expected.push_back({accents, BinaryPattern(3)});
    for (std::size_t id = 0; id < expected.size(); ++id)
        Exec(*session_, "INSERT INTO " + table_ + " VALUES (" + std::to_string(id) + ", '" + expected[id].text + "', " +
                            dialect.binaryLiteral(Hex(expected[id].binary)) + ", 'end')");
    Exec(*session_, "INSERT INTO " + table_ + " VALUES (" + std::to_string(expected.size()) + ", NULL, NULL, 'end')");

    for (bool forUpdate : {false, true}) {
        SCOPED_TRACE(forUpdate ? "for update" : "read only");
        std::vector<std::vector<Value>> rows =
            Rows(*session_, "SELECT t, b, after_them FROM " + table_ + " ORDER BY id", forUpdate);
        ASSERT_EQ(expected.size() + 1, rows.size());
        for (std::size_t id = 0; id < rows.size(); ++id) {
            const std::vector<Value>& row = rows[id];
            ASSERT_GE(row.size(), 3u);
            const Value& text = row[row.size() - 3];
            const Value& binary = row[row.size() - 2];
            EXPECT_EQ(ValueKind::Text, row.back().kind);
            EXPECT_EQ("end", row.back().bytes) << "after row " << id;
            if (id == expected.size()) {
                EXPECT_EQ(ValueKind::Null, text.kind);
                EXPECT_EQ(ValueKind::Null, binary.kind);
                continue;
            }
            SCOPED_TRACE("length " + std::to_string(expected[id].text.size()));
            EXPECT_EQ(ValueKind::Text, text.kind);
            EXPECT_TRUE(expected[id].text == text.bytes) << "read " << text.bytes.size() << " bytes";
            EXPECT_EQ(ValueKind::Bytes, binary.kind);
            EXPECT_TRUE(expected[id].binary == binary.bytes) << "read " << binary.bytes.size() << " bytes";
        }
    }
}

// Number and date columns are read through their printed form in a shorter first piece:
// a printed form longer than that still reads whole, as a number, as the text stored in
// the column, or as the failure that names the whole text.
class FetchedPrintedForms : public FetchedLengths {};

TEST_P(FetchedPrintedForms, LongPrintedNumbersAndDatesReadWhole) {
    const std::string digits60 = "123456789012345678901234567890123456789012345678901234567890";
    const std::string text45 = Pattern(45);
    struct Case {
        const char* type;
        std::string literal;
        ValueKind kind;
        double real;
        std::string text;  // the text a Text cell holds, or that a failure names
    };
    std::vector<Case> cases;
    switch (GetParam()) {
        case Target::SqliteOdbc:
            cases = {{"INTEGER", "'" + text45 + "'", ValueKind::Text, 0, text45},
                     {"REAL", "'" + text45 + "'", ValueKind::Text, 0, text45},
                     {"DATETIME", "'" + text45 + "'", ValueKind::Date, 0, text45},
                     {"DATETIME", "'2005-12-19 12:00:00" + std::string(30, ' ') + "'", ValueKind::Date, 38705.5, ""}};
            break;
        case Target::PostgresOdbc:
            cases = {{"NUMERIC", digits60, ValueKind::Double, 1.2345678901234568e59, ""},
                     {"NUMERIC", "-0." + digits60, ValueKind::Double, -0.12345678901234568, ""},
                     {"NUMERIC", "1e400", ValueKind::Text, 0, "1" + std::string(400, '0')}};
            break;
        case Target::MariaOdbc:
            cases = {{"DECIMAL(65,0)", digits60, ValueKind::Double, 1.2345678901234568e59, ""},
                     {"DECIMAL(65,30)", "-12345678901234567890123456789012345.123456789012345678901234567890",
                      ValueKind::Double, -12345678901234567890123456789012345.123456789012345678901234567890, ""}};
            break;
        default: break;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " holding " + c.literal);
        Exec(*session_, "DROP TABLE IF EXISTS " + table_);
        Exec(*session_, "CREATE TABLE " + table_ + " (v " + c.type + ", after_them VARCHAR(10))");
        Exec(*session_, "INSERT INTO " + table_ + " VALUES (" + c.literal + ", 'end')");
        CommandResult result = session_->Execute("SELECT v, after_them FROM " + table_, ExecuteOptions{});
        ASSERT_TRUE(result.rows && result.rows->Fetch());
        EXPECT_EQ("end", std::string(result.rows->Cell(1).bytes));
        if (c.kind == ValueKind::Date && !c.text.empty()) {
            std::string description;
            EXPECT_NE(S_OK, FailureOf([&] { result.rows->Cell(0); }, &description));
            EXPECT_NE(std::string::npos, description.find("'" + c.text + "'")) << description;
            continue;
        }
        CellView cell = result.rows->Cell(0);
        ASSERT_EQ(c.kind, cell.kind);
        if (c.kind == ValueKind::Text) EXPECT_EQ(c.text, std::string(cell.bytes));
        else EXPECT_EQ(c.real, cell.real);
    }
}

INSTANTIATE_TEST_SUITE_P(Providers, FetchedLengths,
                         ::testing::Values(Target::SqliteOdbc, Target::PostgresOdbc, Target::MariaOdbc,
                                           Target::PostgresNative),
                         [](const ::testing::TestParamInfo<Target>& info) { return testdb::TargetName(info.param); });

INSTANTIATE_TEST_SUITE_P(OdbcDrivers, FetchedPrintedForms,
                         ::testing::Values(Target::SqliteOdbc, Target::PostgresOdbc, Target::MariaOdbc),
                         [](const ::testing::TestParamInfo<Target>& info) { return testdb::TargetName(info.param); });

}  // namespace
