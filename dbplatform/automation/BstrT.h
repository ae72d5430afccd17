// _bstr_t: a shared, reference-counted wide text. Copies share one buffer; the UTF-8
// form is made on demand and cached in that buffer.
//
// Threads: as for COM objects (dbplatform.h). One _bstr_t is used by one thread at a
// time, but copies of it may live on different threads: the shared buffer's count is
// atomic and its cached UTF-8 form is made under a lock, so copies on two threads may
// be read, converted and destroyed at once. Changing a copy never touches the others.
#pragma once

#include <string>
#include <string_view>

#include <dbplatform/automation/Bstr.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

class _bstr_t {
public:
    _bstr_t() noexcept = default;
    _bstr_t(const _bstr_t& other) noexcept;
    _bstr_t(_bstr_t&& other) noexcept;
    _bstr_t(const char* text);            // process code page (UTF-8); nullptr = empty
    _bstr_t(const OLECHAR* text);         // UTF-16
    _bstr_t(const wchar_t* text);         // UTF-32 literals such as L"x"
    _bstr_t(const std::string& text);
    _bstr_t(BSTR text, bool copy);        // copy=false takes ownership of `text`
    ~_bstr_t();

    _bstr_t& operator=(const _bstr_t& other) noexcept;
    _bstr_t& operator=(_bstr_t&& other) noexcept;
    _bstr_t& operator=(const char* text);
    _bstr_t& operator=(const OLECHAR* text);
    _bstr_t& operator=(const wchar_t* text);

    _bstr_t& operator+=(const _bstr_t& other);
    _bstr_t operator+(const _bstr_t& other) const;

    // The UTF-16 text (nullptr when empty), owned by this object's shared buffer.
    operator const OLECHAR*() const noexcept;
    operator OLECHAR*() const noexcept;
    // The text in the process code page, owned by the shared buffer: nullptr only when
    // there is no text at all (default-built or built from a null pointer), as on
    // Windows; an allocated empty text gives "".
    operator const char*() const;
    operator char*() const;

    bool operator!() const noexcept { return length() == 0; }
    bool operator==(const _bstr_t& other) const noexcept;
    bool operator!=(const _bstr_t& other) const noexcept { return !(*this == other); }
    bool operator<(const _bstr_t& other) const noexcept;

    unsigned int length() const noexcept;  // UTF-16 units
    BSTR copy(bool fromMemory = true) const;  // a new BSTR the caller frees
    void Assign(BSTR text);                   // copies `text`
    BSTR& GetBSTR();                          // the shared BSTR (made unique first)
    BSTR* GetAddress();                       // releases the text, returns an out slot
    void Attach(BSTR text);                   // takes ownership
    BSTR Detach();
    unsigned long RefCount() const noexcept;  // references to the shared buffer; 0 when empty

    std::string str() const;       // UTF-8 copy
    std::u16string wstr() const;   // UTF-16 copy

private:
    struct Data;
    Data* data_ = nullptr;
};
static_assert(sizeof(_bstr_t) == sizeof(void*), "_bstr_t holds one pointer to its shared buffer");

DBPLATFORM_PUBLIC_END
