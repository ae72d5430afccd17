// The DataLinks class: IDataSourceLocator over the data-link prompt, handing out ADO
// Connection objects that carry the accepted connection string.
#include <dbplatform/ado/Ado.h>
#include <dbplatform/com/ComRuntime.h>
#include <dbplatform/datalink/DataLinkPrompt.h>

#include <string>

namespace dbplatform::datalink {

namespace {

class DataLinks final : public RefCounted<IDataSourceLocator> {
public:
    HRESULT QueryInterface(REFIID interfaceId, void** object) override {
        if (!object) return E_POINTER;
        if (interfaceId == IUnknown::iid || interfaceId == IDispatch::iid || interfaceId == IDataSourceLocator::iid) {
            *object = static_cast<IDataSourceLocator*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    // The owner window has no meaning for a terminal dialog; it is kept for callers that read it back.
    HRESULT get_hWnd(long* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return S_OK;
    }
    HRESULT put_hWnd(long window) override {
        window_ = window;
        return S_OK;
    }

    HRESULT PromptNew(IDispatch** connection) override {
        if (!connection) return E_POINTER;
        *connection = nullptr;
        std::string text;
        if (!RunDataLinkPrompt(text)) return S_FALSE;
        _ConnectionPtr created;
        HRESULT hr = created.CreateInstance(CLSID_Connection);
        if (FAILED(hr)) return hr;
        try {
            created->PutConnectionString(_bstr_t(text));
        } catch (const _com_error& error) {
            return error.Error();
        }
        *connection = static_cast<IDispatch*>(created.Detach());
        return S_OK;
    }

    // Edits the connection's own string; a cancelled prompt leaves it untouched.
    HRESULT PromptEdit(IDispatch** connection, VARIANT_BOOL* accepted) override {
        if (!connection || !*connection || !accepted) return E_POINTER;
        *accepted = VARIANT_FALSE;
        _ConnectionPtr edited;
        HRESULT hr = (*connection)->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&edited));
        if (FAILED(hr)) return hr;
        try {
            std::string text = edited->GetConnectionString().str();
            if (!RunDataLinkPrompt(text)) return S_OK;
            edited->PutConnectionString(_bstr_t(text));
        } catch (const _com_error& error) {
            return error.Error();
        }
        *accepted = VARIANT_TRUE;
        return S_OK;
    }

private:
    long window_ = 0;
};

struct Registrar {
    Registrar() {
        RegisterComClass("DataLinks", CLSID_DataLinks, [](IUnknown** object) -> HRESULT {
            if (!object) return E_POINTER;
            *object = static_cast<IDataSourceLocator*>(new DataLinks());
            return S_OK;
        });
    }
};
const Registrar registrar;

}  // namespace
}  // namespace dbplatform::datalink
