// BSTR allocation. Layout: a 4-byte byte count, the UTF-16 data, a 2-byte NUL. The
// BSTR points at the data, so it reads as an ordinary NUL-terminated wide text while
// still knowing its exact length (embedded NULs included).
#include <dbplatform/automation/Bstr.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dbplatform/base/CodePage.h>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
// Keeps the total allocation and the 32-bit prefix from overflowing.
constexpr std::size_t kMaxBytes = dbplatform::kMaxBstrLength * sizeof(OLECHAR);

char* BlockOf(BSTR text) { return reinterpret_cast<char*>(text) - kPrefix; }

std::uint32_t ByteCountOf(BSTR text) {
    std::uint32_t count;
    std::memcpy(&count, BlockOf(text), kPrefix);
    return count;
}

// Allocates room for `bytes` data bytes plus a full 2-byte terminator (three NUL
// bytes when `bytes` is odd) and writes the prefix. Data is left for the caller.
BSTR AllocateBytes(std::size_t bytes) {
    if (bytes > kMaxBytes) return nullptr;
    char* block = static_cast<char*>(std::malloc(kPrefix + bytes + 3));
    if (block == nullptr) return nullptr;
    std::uint32_t count = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &count, kPrefix);
    std::memset(block + kPrefix + bytes, 0, 3);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

// A BSTR holding a copy of `bytes` bytes of `data`, or zeroes when `data` is null.
BSTR AllocateCopy(const void* data, std::size_t bytes) {
    BSTR result = AllocateBytes(bytes);
    if (result == nullptr) return nullptr;
    if (data != nullptr)
        std::memcpy(result, data, bytes);
    else
        std::memset(result, 0, bytes);
    return result;
}

std::size_t WideLength(const OLECHAR* text) {
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

}  // namespace

// A text longer than a BSTR can hold gives nullptr rather than a shortened copy.
BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = WideLength(text);
    if (length > dbplatform::kMaxBstrLength) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

// A null `text` leaves the data uninitialised (callers fill it), as on Windows; we
// zero it anyway so that an unfilled BSTR never exposes old heap contents.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    return AllocateCopy(text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) { return AllocateCopy(bytes, length); }

// The new text is allocated before the old one is freed, so `text` may point into
// `*target` itself.
INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (target == nullptr) return FALSE;
    BSTR replacement = SysAllocString(text);
    if (text != nullptr && replacement == nullptr) return FALSE;
    SysFreeString(*target);
    *target = replacement;
    return TRUE;
}

void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(BlockOf(text));
}

UINT SysStringLen(BSTR text) { return text == nullptr ? 0 : ByteCountOf(text) / sizeof(OLECHAR); }

UINT SysStringByteLen(BSTR text) { return text == nullptr ? 0 : ByteCountOf(text); }

BSTR dbplatform::AllocBstrFromUtf8(const char* utf8, std::size_t length) {
    if (utf8 == nullptr) return nullptr;
    // Every UTF-16 unit comes from at most three bytes: a text that long is refused before
    // the conversion allocates for it.
    if (length / 3 > kMaxBstrLength) return nullptr;
    std::u16string wide = WideFromUtf8(std::string_view(utf8, length));
    if (wide.size() > kMaxBstrLength) return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}
