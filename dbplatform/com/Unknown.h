// IUnknown and IDispatch: reference counting and interface discovery by IID.
// Every interface class names its own identity as `static constexpr IID iid`, which
// the smart pointers and QueryInterface use in place of __uuidof.
#pragma once

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
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ULONG references_ = 1;
};
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
