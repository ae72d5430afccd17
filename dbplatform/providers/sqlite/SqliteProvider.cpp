// Registers the embedded SQLite provider as "Provider=SQLite" when the library loads.
#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/sqlite/SqliteSession.h>

namespace dbplatform::sqlite {
namespace {

struct Registrar {
    Registrar() { provider::RegisterProvider("SQLite", &OpenSqliteSession); }
};

const Registrar registrar;

}  // namespace
}  // namespace dbplatform::sqlite
