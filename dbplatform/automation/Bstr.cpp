// BSTR allocation. Layout: a 4-byte byte count, the UTF-16 data, a 2-byte NUL. The
// BSTR points at the data, so it reads as an ordinary NUL-terminated wide text while
// still knowing its exact length (embedded NULs included).
#include <dbplatform/automation/Bstr.h>

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <dbplatform/base/Utf8Decode.h>

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

// The number of bytes before the first one above 0x7F. With SSE2, sixteen bytes at a
// time and the last sixteen of a longer text read once more, overlapping what was
// already found ASCII, instead of byte by byte; otherwise eight bytes at a time.
std::size_t AsciiPrefixLength(std::string_view text) {
    const char* in = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
#ifdef __SSE2__
    const auto highBits = [in](std::size_t at) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at))));
    };
    for (; i + 16 <= size; i += 16)
        if (unsigned mask = highBits(i)) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    if (size >= 16) {
        unsigned mask = highBits(size - 16);
        return mask ? size - 16 + static_cast<std::size_t>(__builtin_ctz(mask)) : size;
    }
#endif
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < size && static_cast<unsigned char>(in[i]) < 0x80) ++i;
    return i;
}

// Widens ASCII bytes to UTF-16 units at `out`. With SSE2, interleaving with zero bytes
// sixteen (then eight) at a time, and the last sixteen of a longer text widened once
// more over units already written.
void WidenAscii(std::string_view ascii, OLECHAR* out) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(ascii.data());
    const std::size_t size = ascii.size();
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const auto widen16 = [&](std::size_t at) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 8), _mm_unpackhi_epi8(bytes, zero));
    };
    for (; i + 16 <= size; i += 16) widen16(i);
    if (size >= 16) {
        if (i < size) widen16(size - 16);
        return;
    }
    if (i + 8 <= size) {
        __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, zero));
        i += 8;
    }
#endif
    for (; i < size; ++i) out[i] = static_cast<OLECHAR>(in[i]);
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

// One allocation of the exact size, whatever the text: its ASCII start is measured and
// widened many bytes at a time, only the rest (if any) goes through the decoder, twice
// (counted, then written), and the units are those WideFromUtf8 gives for the same bytes.
BSTR dbplatform::AllocBstrFromUtf8(const char* utf8, std::size_t length) {
    if (utf8 == nullptr) return nullptr;
    // Every UTF-16 unit comes from at most three bytes: a text that long is refused before
    // anything is counted or allocated for it.
    if (length / 3 > kMaxBstrLength) return nullptr;
    const std::string_view text(utf8, length);
    const std::size_t ascii = AsciiPrefixLength(text);
    std::size_t units = ascii;
    for (std::size_t position = ascii; position < length;)
        units += utf8::Utf16Units(utf8::Decode(text, &position));
    if (units > kMaxBstrLength) return nullptr;
    BSTR result = AllocateBytes(units * sizeof(OLECHAR));
    if (result == nullptr) return nullptr;
    WidenAscii(text.substr(0, ascii), result);
    OLECHAR* out = result + ascii;
    for (std::size_t position = ascii; position < length;) out = utf8::WriteUtf16(utf8::Decode(text, &position), out);
    assert(out == result + units);
    return result;
}
