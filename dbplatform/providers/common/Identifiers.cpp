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

}  // namespace dbplatform::provider
