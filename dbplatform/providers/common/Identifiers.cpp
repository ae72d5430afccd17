#include <dbplatform/providers/common/Identifiers.h>

#include <algorithm>

namespace dbplatform::provider {

std::string QuoteIdentifier(std::string_view name, char quote) {
    if (quote == '\0') return std::string(name);
    std::string quoted(1, quote);
    for (char c : name) {
        quoted += c;
        if (c == quote) quoted += c;
    }
    quoted += quote;
    return quoted;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace dbplatform::provider
