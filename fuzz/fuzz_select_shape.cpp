// The providers' reading of arbitrary statement text and server value text: nothing may
// crash or read past the text, and a select that is recognised as reading one table must
// still be recognised, with the same table, once the row identity column is added. The
// SQLite reading of a select must agree with the others' except on a schema prefix. A
// query whose texts become parameters keeps every other token: one '?' stands for each
// text taken out, and the result is never rewritten again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <dbplatform/providers/common/SingleTableSelect.h>
#include <dbplatform/providers/common/SqlTokens.h>
#include <dbplatform/providers/common/TextParameters.h>
#include <dbplatform/providers/common/ValueText.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    for (std::size_t i = 0; i < size; ++i) copy[i] = static_cast<char>(data[i]);
    std::string_view text(copy.get(), size);

    using namespace dbplatform::provider;
    auto shape = FindSingleTableSelect(text);
    if (shape) {
        std::string rewritten = WithIdentityColumn(text, *shape, "ctid");
        auto again = FindSingleTableSelect(rewritten);
        if (!again || again->table != shape->table || again->written != shape->written) std::abort();
    }
    // The SQLite reading differs only in refusing a schema prefix.
    if (auto bare = FindSingleTableSelect(text, {.schemaPrefix = false})) {
        if (!shape || bare->table != shape->table || !shape->schema.empty()) std::abort();
    } else if (shape && shape->schema.empty()) {
        std::abort();
    }
    const TextParameters parameterized = TextsAsParameters(text);
    if (!parameterized.values.empty()) {
        auto count = [](std::string_view sql, std::size_t* marks) {
            std::size_t tokens = 0;
            for (Token token = NextToken(sql, 0); token.kind != TokenKind::End; token = NextToken(sql, token.end)) {
                ++tokens;
                if (marks && IsByte(sql, token, '?')) ++*marks;
            }
            return tokens;
        };
        std::size_t marks = 0;
        if (count(text, nullptr) != count(parameterized.sql, &marks) || marks != parameterized.values.size()) std::abort();
        if (!TextsAsParameters(parameterized.sql).values.empty()) std::abort();
    } else if (!parameterized.sql.empty()) {
        std::abort();
    }
    DATE date = 0;
    DateFromServerText(text, &date);
    double real = 0;
    DoubleFromText(text, &real);
    std::int64_t integer = 0;
    IntegerFromText(text, &integer);
    std::string bytes;
    BytesFromHex(text, &bytes);
    // A stored number read strictly must agree with the plain integer reader.
    std::int64_t stored = 0;
    double storedReal = 0;
    if (ReadStoredNumber(text, &stored, &storedReal) == StoredNumber::Integer &&
        (!IntegerFromText(text, &integer) || integer != stored))
        std::abort();
    return 0;
}
