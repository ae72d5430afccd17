// The connection-string parser on arbitrary bytes: it must never crash or read past the
// input, and whatever it accepts must survive a rebuild and a second parse unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <dbplatform/ado/ConnectionString.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that the sanitizer sees any read past the end.
    std::string input(reinterpret_cast<const char*>(data), size);
    dbplatform::ado::ConnectionString parsed;
    std::string error;
    if (dbplatform::ado::ConnectionString::Parse(std::string_view(input.data(), input.size()), &parsed, &error) != S_OK)
        return 0;
    for (const auto& [key, value] : parsed.Entries()) {
        if (!parsed.Get(key)) std::abort();
        (void)value;
    }
    std::string rebuilt = parsed.ToString();
    dbplatform::ado::ConnectionString again;
    if (dbplatform::ado::ConnectionString::Parse(rebuilt, &again, &error) != S_OK) std::abort();
    if (again.Entries().size() != parsed.Entries().size()) std::abort();
    for (std::size_t i = 0; i < again.Entries().size(); ++i)
        if (again.Entries()[i].second != parsed.Entries()[i].second) std::abort();
    return 0;
}
