#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include <dbplatform/automation/Bstr.h>
#include <dbplatform/mfc/String.h>

namespace {

// One editing call on a starting text: the text afterwards and the call's return value.
struct EditCase {
    const char* what;
    const char* start;
    std::function<int(CString&)> edit;
    const char* result;
    int returned;
};

TEST(CStringTest, EditingOperationsFollowMfcResults) {
    const EditCase cases[] = {
        {"Insert char in the middle", "abc", [](CString& s) { return s.Insert(1, 'X'); }, "aXbc", 4},
        {"Insert char past the end appends", "abc", [](CString& s) { return s.Insert(99, 'X'); }, "abcX", 4},
        {"Insert char before the start prepends", "abc", [](CString& s) { return s.Insert(-5, 'X'); }, "Xabc", 4},
        {"Insert text", "held", [](CString& s) { return s.Insert(2, "ZZ"); }, "heZZld", 6},
        {"Insert null text", "held", [](CString& s) { return s.Insert(2, nullptr); }, "held", 4},
        {"Delete one", "abcdef", [](CString& s) { return s.Delete(2); }, "abdef", 5},
        {"Delete past the end stops there", "abcdef", [](CString& s) { return s.Delete(4, 10); }, "abcd", 4},
        {"Delete from a negative index", "abcdef", [](CString& s) { return s.Delete(-3, 2); }, "cdef", 4},
        {"Delete beyond the text", "abcdef", [](CString& s) { return s.Delete(6, 2); }, "abcdef", 6},
        {"Delete a negative count", "abcdef", [](CString& s) { return s.Delete(1, -2); }, "abcdef", 6},
        {"Remove counts removals", "a,b,,c", [](CString& s) { return s.Remove(','); }, "abc", 3},
        {"Remove nothing", "abc", [](CString& s) { return s.Remove('x'); }, "abc", 0},
        {"Replace char", "a-b-c", [](CString& s) { return s.Replace('-', '+'); }, "a+b+c", 2},
        {"Replace char with itself", "a-b-c", [](CString& s) { return s.Replace('-', '-'); }, "a-b-c", 0},
        {"Replace text longer", "a.b.c", [](CString& s) { return s.Replace(".", "::"); }, "a::b::c", 2},
        {"Replace text not overlapping", "aaaa", [](CString& s) { return s.Replace("aa", "b"); }, "bb", 2},
        {"Replace text by nothing", "x--y--", [](CString& s) { return s.Replace("--", nullptr); }, "xy", 2},
        {"Replace empty old text", "abc", [](CString& s) { return s.Replace("", "z"); }, "abc", 0},
        {"Replace with itself inside", "ab", [](CString& s) { return s.Replace("a", "aa"); }, "aab", 1},
        {"Find char", "hello", [](CString& s) { return s.Find('l'); }, "hello", 2},
        {"Find char from start", "hello", [](CString& s) { return s.Find('l', 3); }, "hello", 3},
        {"Find char from past the end", "hello", [](CString& s) { return s.Find('l', 9); }, "hello", -1},
        {"Find char from a negative start", "hello", [](CString& s) { return s.Find('h', -4); }, "hello", 0},
        {"Find text", "select top 5", [](CString& s) { return s.Find("top"); }, "select top 5", 7},
        {"Find text missing", "select", [](CString& s) { return s.Find("top"); }, "select", -1},
        {"Find empty text at the end", "abc", [](CString& s) { return s.Find("", 3); }, "abc", 3},
        {"Find text past the end", "abc", [](CString& s) { return s.Find("", 4); }, "abc", -1},
        {"ReverseFind", "a/b/c", [](CString& s) { return s.ReverseFind('/'); }, "a/b/c", 3},
        {"FindOneOf", "name=value;", [](CString& s) { return s.FindOneOf(";="); }, "name=value;", 4},
        {"FindOneOf empty set", "abc", [](CString& s) { return s.FindOneOf(""); }, "abc", -1},
        {"MakeUpper leaves UTF-8 alone", "größe ab", [](CString& s) { return s.MakeUpper().GetLength(); }, "GRößE AB", 10},
        {"MakeLower", "SeLeCT [X]", [](CString& s) { return s.MakeLower().GetLength(); }, "select [x]", 10},
        {"MakeReverse keeps characters whole", "aöb", [](CString& s) { return s.MakeReverse().GetLength(); }, "böa", 4},
        {"TrimLeft white space", " \t\r\n x y ", [](CString& s) { return s.TrimLeft().GetLength(); }, "x y ", 4},
        {"TrimRight white space", " x y \t\n", [](CString& s) { return s.TrimRight().GetLength(); }, " x y", 4},
        {"Trim all white space", " \t ", [](CString& s) { return s.Trim().GetLength(); }, "", 0},
        {"TrimLeft char", "000120", [](CString& s) { return s.TrimLeft('0').GetLength(); }, "120", 3},
        {"TrimRight set", "12.500;;", [](CString& s) { return s.TrimRight("0;").GetLength(); }, "12.5", 4},
        {"TrimLeft set", "[[x]]", [](CString& s) { return s.TrimLeft("[").GetLength(); }, "x]]", 3},
    };
    for (const EditCase& c : cases) {
        CString text(c.start);
        EXPECT_EQ(c.edit(text), c.returned) << c.what;
        EXPECT_STREQ(text, c.result) << c.what;
    }
}

struct ExtractCase {
    const char* what;
    std::function<CString(const CString&)> extract;
    const char* result;
};

TEST(CStringTest, ExtractionClampsToTheText) {
    const CString source("abcdef");
    const ExtractCase cases[] = {
        {"Left", [](const CString& s) { return s.Left(2); }, "ab"},
        {"Left too many", [](const CString& s) { return s.Left(10); }, "abcdef"},
        {"Left negative", [](const CString& s) { return s.Left(-1); }, ""},
        {"Right", [](const CString& s) { return s.Right(2); }, "ef"},
        {"Right too many", [](const CString& s) { return s.Right(10); }, "abcdef"},
        {"Right negative", [](const CString& s) { return s.Right(-1); }, ""},
        {"Mid to the end", [](const CString& s) { return s.Mid(4); }, "ef"},
        {"Mid with count", [](const CString& s) { return s.Mid(1, 3); }, "bcd"},
        {"Mid count past the end", [](const CString& s) { return s.Mid(4, 10); }, "ef"},
        {"Mid start past the end", [](const CString& s) { return s.Mid(7, 2); }, ""},
        {"Mid negative start", [](const CString& s) { return s.Mid(-2, 3); }, "abc"},
        {"Mid negative count", [](const CString& s) { return s.Mid(2, -1); }, ""},
    };
    for (const ExtractCase& c : cases) EXPECT_STREQ(c.extract(source), c.result) << c.what;
}

TEST(CStringTest, ValueSemanticsConcatenationAndComparison) {
    CString a("one");
    CString b = a;
    b += " two";
    EXPECT_STREQ(a, "one");
    EXPECT_EQ(b, "one two");
    EXPECT_EQ('[' + a + ']', "[one]");
    EXPECT_EQ(a + CString(" ") + "x" + '!', "one x!");
    EXPECT_TRUE(CString() == static_cast<const char*>(nullptr));
    EXPECT_TRUE(CString().IsEmpty());
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_EQ(CString("Select").CompareNoCase("SELECT"), 0);
    EXPECT_GT(CString("b").CompareNoCase("A"), 0);
    EXPECT_EQ(CString('-', 3), "---");
    EXPECT_EQ(CString('-', 0), "");
    EXPECT_EQ(CString("abcdef", 3), "abc");
    EXPECT_EQ(CString(static_cast<const char*>(nullptr), 5), "");
    EXPECT_EQ(CString("abc").GetAt(5), '\0');
    a += a;  // appending itself
    EXPECT_EQ(a, "oneone");
    a = a.GetString() + 3;  // assigning a part of itself
    EXPECT_EQ(a, "one");
}

TEST(CStringTest, FormatBuildsTextsOfAnyLength) {
    CString text;
    text.Format("%s=%d;%.2f", "n", 42, 2.5);
    EXPECT_EQ(text, "n=42;2.50");
    text.Format("[%s]", text.GetString());  // the old text as an argument
    EXPECT_EQ(text, "[n=42;2.50]");
    text.AppendFormat("%05d", 7);
    EXPECT_EQ(text, "[n=42;2.50]00007");
    std::string longText(5000, 'x');
    text.Format("<%s>", longText.c_str());
    EXPECT_EQ(text.GetLength(), 5002);
}

TEST(CStringTest, BufferAccessAndReleaseBuffer) {
    CString text("ab");
    char* buffer = text.GetBuffer(10);
    std::snprintf(buffer, 11, "%s", "written");
    text.ReleaseBuffer();
    EXPECT_EQ(text, "written");
    text.GetBuffer(0)[0] = 'W';
    text.ReleaseBuffer(3);
    EXPECT_EQ(text, "Wri");
    text.ReleaseBuffer(100);  // longer than the buffer: clamped
    EXPECT_EQ(text, "Wri");
    std::memcpy(text.GetBufferSetLength(2), "ok", 2);
    EXPECT_EQ(text, "ok");
}

TEST(CStringTest, BstrConversionsRoundTripUtf8) {
    const CString text("Grüße 连接 x");
    BSTR wide = text.AllocSysString();
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(SysStringLen(wide), 10u);
    EXPECT_EQ(CString(static_cast<const OLECHAR*>(wide)), text);
    CString assigned;
    assigned = static_cast<const OLECHAR*>(wide);
    EXPECT_EQ(assigned, text);

    BSTR target = SysAllocString(u"old");
    EXPECT_EQ(CString("new").SetSysString(&target), target);
    EXPECT_EQ(std::u16string(target), u"new");
    SysFreeString(target);
    SysFreeString(wide);
    EXPECT_EQ(CString(static_cast<const OLECHAR*>(nullptr)), "");
}

}  // namespace
