// IUnknown and IDispatch: reference counting and interface discovery by IID.
// Every interface class names its own identity as `static constexpr IID iid`, which
// the smart pointers and QueryInterface use in place of __uuidof.
//
// Threads: AddRef and Release may be called on any thread, also while another thread
// uses the object; every other method of an object is called by one thread at a time
// (dbplatform.h). Implementations count with RefCounted below.
#pragma once

#include <atomic>

#include <dbplatform/base/HResult.h>
#include <dbplatform/com/Guid.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

struct IUnknown {
    static constexpr IID iid{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT QueryInterface(REFIID interfaceId, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// Late-bound automation is not offered; IDispatch is the identity that ADO objects
// travel under in VARIANTs (VT_DISPATCH), as ActiveConnection does.
struct IDispatch : IUnknown {
    static constexpr IID iid{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
};

namespace dbplatform {
// A reference count for implementation classes: starts at 1 for the creator.
// Release deletes the object when the count reaches 0.
//
// Threads: an object's methods are called by one thread at a time, but references to it
// may be taken and dropped on any thread (a pointer handed to a worker and released
// there, a recordset released on another thread than its connection), so the count is
// atomic. The last Release synchronises with every earlier one (acquire-release), so the
// destructor sees everything other threads wrote before letting go.
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    std::atomic<ULONG> references_{1};
};
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
