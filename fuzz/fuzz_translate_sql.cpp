// The SQL translator on arbitrary text for every database kind: it must neither crash
// nor read past the text, and its result must not depend on anything but the input.
#include <quillet/SqlDialect.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    int kind = data[0] % 6;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    CString sql(text);
    CString first = quillet::TranslateForKind(sql, kind);
    CString second = quillet::TranslateForKind(sql, kind);
    if (first != second) std::abort();
    quillet::DatabaseKindOf(text);
    quillet::QuoteIdentifiersForKind(sql, kind);
    return 0;
}
