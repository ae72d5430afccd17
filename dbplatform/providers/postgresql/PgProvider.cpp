// Registers the PostgreSQL provider under Provider=PostgreSQL when the library loads.
#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/postgresql/PgSession.h>

namespace dbplatform::provider::postgresql {
namespace {

const bool registered = [] {
    RegisterProvider("PostgreSQL", [](const OpenRequest& request) -> std::unique_ptr<Session> {
        return std::make_unique<PgSession>(request);
    });
    return true;
}();

}  // namespace
}  // namespace dbplatform::provider::postgresql
