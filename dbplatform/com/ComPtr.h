// _com_ptr_t: a counted reference to one interface. Copies add a reference; calls
// through an empty pointer raise _com_error(E_POINTER).
#pragma once

#include <memory>
#include <utility>

#include <dbplatform/com/ComError.h>
#include <dbplatform/com/ComRuntime.h>
#include <dbplatform/com/Unknown.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

template <class Interface>
class _com_ptr_t {
public:
    using InterfaceType = Interface;

    _com_ptr_t() noexcept = default;
    _com_ptr_t(std::nullptr_t) noexcept {}
    // Takes a new reference on `p` (addRef=true) or adopts the caller's (addRef=false).
    _com_ptr_t(Interface* p, bool addRef = true) noexcept : p_(p) {
        if (p_ && addRef) p_->AddRef();
    }
    _com_ptr_t(const _com_ptr_t& other) noexcept : _com_ptr_t(other.p_, true) {}
    _com_ptr_t(_com_ptr_t&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    // From another interface: QueryInterface; empty when not supported.
    template <class Other>
    _com_ptr_t(const _com_ptr_t<Other>& other) {
        if (other) other.GetInterfacePtr()->QueryInterface(Interface::iid, reinterpret_cast<void**>(&p_));
    }
    ~_com_ptr_t() { Release(); }

    // Assignment takes the new reference before releasing the old one, so that
    // assigning a pointer to itself keeps the object alive.
    _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
        Interface* old = p_;
        p_ = other.p_;
        if (p_) p_->AddRef();
        if (old) old->Release();
        return *this;
    }
    _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
        // std::addressof: operator& below is overloaded and would release `other`.
        if (this != std::addressof(other)) {
            Interface* old = std::exchange(p_, std::exchange(other.p_, nullptr));
            if (old) old->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(Interface* p) noexcept { return *this = _com_ptr_t(p); }
    _com_ptr_t& operator=(std::nullptr_t) noexcept {
        Release();
        return *this;
    }

    // Creates the class with ProgID or CLSID `name` and queries it for Interface.
    HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
        Release();
        return CoCreateInstance(clsid, outer, context, Interface::iid, reinterpret_cast<void**>(&p_));
    }
    HRESULT CreateInstance(LPCSTR progId, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
        Release();
        CLSID clsid;
        HRESULT hr = dbplatform::ClassIdFromProgId(progId, &clsid);
        if (FAILED(hr)) return hr;
        return CoCreateInstance(clsid, outer, context, Interface::iid, reinterpret_cast<void**>(&p_));
    }

    void Release() noexcept {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    void Attach(Interface* p) noexcept {
        Release();
        p_ = p;
    }
    Interface* Detach() noexcept { return std::exchange(p_, nullptr); }
    Interface* GetInterfacePtr() const noexcept { return p_; }
    Interface** operator&() noexcept {
        Release();
        return &p_;
    }
    Interface* operator->() const {
        if (!p_) _com_issue_error(E_POINTER);
        return p_;
    }
    Interface& operator*() const {
        if (!p_) _com_issue_error(E_POINTER);
        return *p_;
    }
    operator Interface*() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator!() const noexcept { return p_ == nullptr; }
    bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
    bool operator==(const _com_ptr_t& other) const noexcept { return p_ == other.p_; }
    bool operator==(Interface* p) const noexcept { return p_ == p; }

private:
    Interface* p_ = nullptr;
};

using IUnknownPtr = _com_ptr_t<IUnknown>;
using IDispatchPtr = _com_ptr_t<IDispatch>;

DBPLATFORM_PUBLIC_END
