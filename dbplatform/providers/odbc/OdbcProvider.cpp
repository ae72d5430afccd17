// Registers the ODBC provider when the library loads: for MSDASQL, for connection strings
// without a Provider key, and for the Oracle provider names, whose users configure an
// Oracle ODBC driver under the data source name.
#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/odbc/OdbcSession.h>

namespace dbplatform::provider::odbc {
namespace {

const bool registered = [] {
    ProviderFactory factory = [](const OpenRequest& request) -> std::unique_ptr<Session> {
        return std::make_unique<OdbcSession>(request);
    };
    for (const char* name : {"", "MSDASQL", "MSDASQL.1", "OraOLEDB.Oracle", "OraOLEDB.Oracle.1"})
        RegisterProvider(name, factory);
    return true;
}();

}  // namespace
}  // namespace dbplatform::provider::odbc
