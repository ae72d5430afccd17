// A text taken where the recordset keeps it must reach the host's CString exactly as the
// same bytes would through a BSTR: cut at a NUL, malformed UTF-8 replaced, the rest as is.
#include "../../quillet/TextInPlace.h"

#include <dbplatform/automation/Bstr.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The ordinary road: the bytes as the BSTR the field would give, then into a CString.
std::string ThroughBstr(const std::string& bytes) {
    BSTR wide = dbplatform::AllocBstrFromUtf8(bytes.data(), bytes.size());
    CString text(static_cast<const OLECHAR*>(wide));
    SysFreeString(wide);
    return text.str();
}

TEST(TextInPlace, GivesWhatABstrGives) {
    const std::string cases[] = {
        "",
        "a",
        "charge 17 of the walk",
        "exactly8",
        "sixteen bytes ok",
        std::string("nul\0after", 9),
        std::string("\0first", 6),
        std::string("eight by\0tes", 12),            // a NUL in the second word
        "caf\xC3\xA9 \xE9\xAB\x98\xE7\x82\x89 \xF0\x9F\x94\xA5",  // two-, three- and four-byte forms
        "\xC3",                                      // cut sequence at the end
        "ab\xC3(",                                   // lead byte without its continuation
        "\x80 lone continuation",
        "\xC0\xAF overlong slash",
        "\xE0\x80\xAF overlong three",
        "\xED\xA0\x80 surrogate",
        "\xF4\x90\x80\x80 past U+10FFFF",
        "\xF5\x80\x80\x80 no such lead",
        "\xEF\xBF\xBD replacement itself",
        std::string("\xC3\0\xA9", 3),                // a NUL inside a sequence
        std::string(1000, 'x') + "\xFF",             // malformed only at the end of a long text
    };
    for (const std::string& bytes : cases) {
        CString target("previous content that is longer than most");
        quillet::AssignTextInPlace(target, bytes);
        EXPECT_EQ(target.str(), ThroughBstr(bytes)) << "case of " << bytes.size() << " bytes";
        EXPECT_EQ(std::strlen(target.GetString()), static_cast<std::size_t>(target.GetLength()));
    }
}

}  // namespace
