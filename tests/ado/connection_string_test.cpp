// The connection-string grammar: what each text parses to, what it refuses, and that
// rebuilding a parsed string reads back the same.
#include <gtest/gtest.h>

#include <dbplatform/ado/ConnectionString.h>

namespace {

using dbplatform::ado::ConnectionString;
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct ParseCase {
    const char* text;
    Pairs expected;
};

const ParseCase kParseCases[] = {
    {"", {}},
    {"Provider=SQLite;Data Source=/tmp/a.db", {{"Provider", "SQLite"}, {"Data Source", "/tmp/a.db"}}},
    {"  Provider = SQLite ; ;Data Source= x y ;", {{"Provider", "SQLite"}, {"Data Source", "x y"}}},
    {"a=1;A=2;b=3", {{"a", "2"}, {"b", "3"}}},
    {"Password=\"se;cr\"\"et\";User ID=u", {{"Password", "se;cr\"et"}, {"User ID", "u"}}},
    {"Password='it''s';x=", {{"Password", "it's"}, {"x", ""}}},
    {"Extended Properties=\"DSN=x;UID=y\"", {{"Extended Properties", "DSN=x;UID=y"}}},
    {"key==name=v", {{"key=name", "v"}}},
    {"v=a'b\"c", {{"v", "a'b\"c"}}},
    {"k=\"=x\"", {{"k", "=x"}}},
};

TEST(ConnectionStringTest, ParsesTheGrammar) {
    for (const auto& c : kParseCases) {
        ConnectionString parsed;
        std::string error;
        ASSERT_EQ(ConnectionString::Parse(c.text, &parsed, &error), S_OK) << c.text << ": " << error;
        EXPECT_EQ(parsed.Entries(), c.expected) << c.text;
        // Rebuilt text reads back to the same entries.
        ConnectionString again;
        ASSERT_EQ(ConnectionString::Parse(parsed.ToString(), &again, &error), S_OK) << parsed.ToString();
        EXPECT_EQ(again.Entries(), c.expected) << parsed.ToString();
    }
}

TEST(ConnectionStringTest, RefusesMalformedText) {
    for (const char* text : {"Provider", "a=1;junk;b=2", "=value", "p=\"open", "p='x' y", "p=\"a\"\"b"}) {
        ConnectionString parsed;
        std::string error;
        EXPECT_EQ(ConnectionString::Parse(text, &parsed, &error), E_INVALIDARG) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(ConnectionStringTest, GetSetRemoveAreCaseInsensitive) {
    ConnectionString parsed;
    ASSERT_EQ(ConnectionString::Parse("Provider=SQLite;Password=pw;Data Source=f", &parsed, nullptr), S_OK);
    EXPECT_EQ(parsed.Get("data source").value_or("?"), "f");
    EXPECT_FALSE(parsed.Get("User ID").has_value());
    parsed.Set("PROVIDER", "PostgreSQL");
    parsed.Remove("password");
    EXPECT_EQ(parsed.ToString(), "Provider=PostgreSQL;Data Source=f");
    parsed.Set("Location", " spaced ; value ");
    ConnectionString again;
    ASSERT_EQ(ConnectionString::Parse(parsed.ToString(), &again, nullptr), S_OK);
    EXPECT_EQ(again.Get("location").value_or("?"), " spaced ; value ");
}

}  // namespace
