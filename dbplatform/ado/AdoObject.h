// The base of every object this library hands out: reference counted, and answering
// QueryInterface for IUnknown, IDispatch and its own interface, nothing else.
#pragma once

#include <dbplatform/ado/Ado.h>

namespace dbplatform::ado {

template <class Interface>
class AdoObject : public RefCounted<Interface> {
public:
    HRESULT QueryInterface(REFIID id, void** object) override {
        if (id == IUnknown::iid || id == IDispatch::iid || id == Interface::iid) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
};

}  // namespace dbplatform::ado
