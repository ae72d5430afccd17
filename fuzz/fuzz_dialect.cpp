// The generic-dialect rewriter on arbitrary text: it must neither crash nor read past
// the text it is given, and whatever it returns must survive a second rewrite.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <dbplatform/providers/sqlite/GenericDialect.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A heap copy of exactly `size` bytes, without a terminating NUL, so that any read
    // past the end is caught by the address sanitizer.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    for (std::size_t i = 0; i < size; ++i) copy[i] = static_cast<char>(data[i]);
    std::string once = dbplatform::sqlite::RewriteGenericDialect(std::string_view(copy.get(), size));
    dbplatform::sqlite::RewriteGenericDialect(once);
    return 0;
}
