// _bstr_t: one shared buffer per text, counted by references. Copies share the buffer;
// anything that changes the text makes a new buffer first, so a copy never sees its
// sibling change.
#include <dbplatform/automation/BstrT.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include <dbplatform/base/CodePage.h>

struct _bstr_t::Data {
    explicit Data(BSTR owned) : wide(owned) {}
    ~Data() { SysFreeString(wide); }

    BSTR wide;
    std::atomic<unsigned long> references{1};
    // The UTF-8 form, made on first request and remade when the BSTR behind it was
    // replaced through GetBSTR. Guarded, because const copies on several threads may
    // ask for it at once.
    std::mutex cacheMutex;
    std::unique_ptr<std::string> utf8;
    BSTR utf8Source = nullptr;
    UINT utf8Bytes = 0;
};

namespace {

// Allocation failure surfaces as std::bad_alloc: these constructors have no other
// way to report it, and a silently empty text would lose data.
BSTR Checked(BSTR text, bool expected) {
    if (expected && text == nullptr) throw std::bad_alloc();
    return text;
}

BSTR BstrFromUtf32(const wchar_t* text) {
    std::u16string wide;
    for (; *text != 0; ++text) {
        char32_t value = static_cast<char32_t>(*text);
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
        if (value >= 0x10000) {
            value -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(value));
        }
    }
    if (wide.size() > dbplatform::kMaxBstrLength) throw std::bad_alloc();
    return Checked(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())), true);
}

}  // namespace

_bstr_t::_bstr_t(const _bstr_t& other) noexcept : data_(other.data_) {
    if (data_ != nullptr) data_->references.fetch_add(1, std::memory_order_relaxed);
}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }

_bstr_t::_bstr_t(const char* text) {
    if (text != nullptr)
        data_ = new Data(Checked(dbplatform::AllocBstrFromUtf8(text, std::strlen(text)), true));
}

_bstr_t::_bstr_t(const OLECHAR* text) {
    if (text != nullptr) data_ = new Data(Checked(SysAllocString(text), true));
}

_bstr_t::_bstr_t(const wchar_t* text) {
    if (text != nullptr) data_ = new Data(BstrFromUtf32(text));
}

_bstr_t::_bstr_t(const std::string& text)
    : data_(new Data(Checked(dbplatform::AllocBstrFromUtf8(text.data(), text.size()), true))) {}

_bstr_t::_bstr_t(BSTR text, bool copy) {
    if (copy) {
        if (text != nullptr)
            data_ = new Data(Checked(SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text)), true));
    } else {
        data_ = new Data(text);
    }
}

_bstr_t::~_bstr_t() {
    if (data_ != nullptr && data_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete data_;
}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) noexcept {
    if (data_ != other.data_) {
        _bstr_t keep(other);
        std::swap(data_, keep.data_);
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
    if (this != &other) {
        _bstr_t keep(std::move(other));
        std::swap(data_, keep.data_);
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(const char* text) { return *this = _bstr_t(text); }
_bstr_t& _bstr_t::operator=(const OLECHAR* text) { return *this = _bstr_t(text); }
_bstr_t& _bstr_t::operator=(const wchar_t* text) { return *this = _bstr_t(text); }

// Builds the joined text in a new buffer: the old one may be shared.
_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
    unsigned int left = length();
    unsigned int right = other.length();
    if (right == 0 && data_ != nullptr) return *this;
    BSTR joined = Checked(SysAllocStringLen(nullptr, left + right), true);
    if (left != 0) std::memcpy(joined, data_->wide, left * sizeof(OLECHAR));
    if (right != 0) std::memcpy(joined + left, other.data_->wide, right * sizeof(OLECHAR));
    *this = _bstr_t(joined, false);
    return *this;
}

_bstr_t _bstr_t::operator+(const _bstr_t& other) const {
    _bstr_t result(*this);
    result += other;
    return result;
}

_bstr_t::operator const OLECHAR*() const noexcept { return data_ != nullptr ? data_->wide : nullptr; }
_bstr_t::operator OLECHAR*() const noexcept { return data_ != nullptr ? data_->wide : nullptr; }

// nullptr only when there is no text at all (a default or null-built _bstr_t);
// an allocated empty text gives "".
_bstr_t::operator const char*() const {
    if (data_ == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(data_->cacheMutex);
    UINT bytes = SysStringByteLen(data_->wide);
    if (!data_->utf8 || data_->utf8Source != data_->wide || data_->utf8Bytes != bytes) {
        data_->utf8 = std::make_unique<std::string>(
            dbplatform::Utf8FromWide(std::u16string_view(data_->wide, SysStringLen(data_->wide))));
        data_->utf8Source = data_->wide;
        data_->utf8Bytes = bytes;
    }
    return data_->utf8->c_str();
}

_bstr_t::operator char*() const { return const_cast<char*>(static_cast<const char*>(*this)); }

bool _bstr_t::operator==(const _bstr_t& other) const noexcept {
    unsigned int size = length();
    if (size != other.length()) return false;
    return size == 0 || std::memcmp(data_->wide, other.data_->wide, size * sizeof(OLECHAR)) == 0;
}

// Orders by UTF-16 code units; a shorter text that is a prefix comes first.
bool _bstr_t::operator<(const _bstr_t& other) const noexcept {
    unsigned int left = length();
    unsigned int right = other.length();
    for (unsigned int i = 0; i < left && i < right; ++i)
        if (data_->wide[i] != other.data_->wide[i]) return data_->wide[i] < other.data_->wide[i];
    return left < right;
}

unsigned int _bstr_t::length() const noexcept { return data_ != nullptr ? SysStringLen(data_->wide) : 0; }

BSTR _bstr_t::copy(bool fromMemory) const {
    if (data_ == nullptr || data_->wide == nullptr) return nullptr;
    if (!fromMemory) return data_->wide;
    return Checked(SysAllocStringByteLen(reinterpret_cast<LPCSTR>(data_->wide), SysStringByteLen(data_->wide)), true);
}

void _bstr_t::Assign(BSTR text) { *this = _bstr_t(text, true); }

// Gives the caller a slot it may replace; the buffer is made unique first so that
// the replacement does not reach other copies.
BSTR& _bstr_t::GetBSTR() {
    if (data_ == nullptr) {
        data_ = new Data(nullptr);
    } else if (data_->references.load(std::memory_order_acquire) != 1) {
        _bstr_t unique(copy(), false);
        *this = std::move(unique);
        if (data_ == nullptr) data_ = new Data(nullptr);
    }
    return data_->wide;
}

BSTR* _bstr_t::GetAddress() {
    *this = _bstr_t();
    data_ = new Data(nullptr);
    return &data_->wide;
}

void _bstr_t::Attach(BSTR text) { *this = _bstr_t(text, false); }

// Hands the BSTR to the caller. A shared buffer is not emptied under the other copies'
// feet: the caller gets its own copy instead.
BSTR _bstr_t::Detach() {
    if (data_ == nullptr) return nullptr;
    BSTR result;
    if (data_->references.load(std::memory_order_acquire) == 1) {
        result = data_->wide;
        data_->wide = nullptr;
    } else {
        result = copy();
    }
    *this = _bstr_t();
    return result;
}

unsigned long _bstr_t::RefCount() const noexcept {
    return data_ != nullptr ? data_->references.load(std::memory_order_relaxed) : 0;
}

std::string _bstr_t::str() const {
    if (data_ == nullptr) return std::string();
    return dbplatform::Utf8FromWide(std::u16string_view(data_->wide, length()));
}

std::u16string _bstr_t::wstr() const {
    if (data_ == nullptr || data_->wide == nullptr) return std::u16string();
    return std::u16string(data_->wide, length());
}
