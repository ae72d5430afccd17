// How an ODBC driver reads attribute values in a connection string. Drivers differ:
// psqlODBC follows ODBC (a value in {...} with '}' doubled inside); the MariaDB driver
// ends a braced value at its first '}' and skips an attribute it does not know up to the
// next ';', braces or not; the SQLite driver knows no braces at all and ends every value
// at the next ';'.
#pragma once

#include <string>
#include <string_view>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::odbc {

enum class DriverFamily {
    Standard,        // {...} with '}}' for a '}' inside
    PartialBraces,   // {...} ending at the first '}', and not for every attribute
    NoBraces,        // every value ends at the next ';'
};

// The family of a driver library or driver name, by its file or product name.
DriverFamily DriverFamilyOfName(std::string_view libraryOrName);

// The family of the driver the request will reach: the DRIVER key, else the driver
// registered for its data source (DSN or "Data Source"), resolved to its library through
// the driver manager. Standard when the driver cannot be found.
DriverFamily DriverFamilyOf(const OpenRequest& request);

}  // namespace dbplatform::provider::odbc
