#include <dbplatform/com/ComRuntime.h>

#include "ConnectionImpl.h"
#include "RecordsetImpl.h"

namespace dbplatform::ado {
namespace {

// Registers the ADO classes when the library loads, so that creating them by ProgID
// or CLSID works as soon as a host links us.
struct AdoClassRegistrar {
    AdoClassRegistrar() {
        dbplatform::RegisterComClass("ADODB.Connection", CLSID_Connection, [](IUnknown** object) {
            *object = static_cast<_Connection*>(new ConnectionImpl());
            return S_OK;
        });
        dbplatform::RegisterComClass("ADODB.Recordset", CLSID_Recordset, [](IUnknown** object) {
            *object = static_cast<_Recordset*>(new RecordsetImpl());
            return S_OK;
        });
    }
};

const AdoClassRegistrar registrar;

}  // namespace
}  // namespace dbplatform::ado
