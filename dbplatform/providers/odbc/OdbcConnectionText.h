// Translates an ADO connection string for the ODBC provider into the text that
// SQLDriverConnect takes.
#pragma once

#include <string>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/odbc/OdbcDriverFamily.h>

namespace dbplatform::provider::odbc {

// "Data Source" becomes DSN; the request's user and password become UID and PWD (replacing
// any in the string); "Provider", "Persist Security Info", "User ID" and "Password" are
// dropped; every other key goes to the driver as written. Each value is written so that
// the driver reads it back as exactly one value (OdbcAttributeValue); a key or value that
// cannot be written so raises _com_error(E_INVALIDARG) naming the key, never the value.
std::string OdbcConnectionText(const OpenRequest& request);
std::string OdbcConnectionText(const OpenRequest& request, DriverFamily family);

// Whether a value comes from the connection string (where a host may already have
// written it as one ODBC braced value) or is a user name or password, which is always
// taken literally.
enum class ValueOrigin { ConnectionString, Credential };

// `value` as one attribute value for a driver of `family`: plain values as they are, a
// well-formed braced value from the connection string as it is, anything else braced
// with '}' doubled; for drivers without (full) braces, values as written. Throws
// _com_error(E_INVALIDARG) when the family cannot carry the value as one value (a ';'
// for a driver that ends values there whatever the braces, a value starting with '{'
// that such a driver would read as a braced value).
std::string OdbcAttributeValue(const std::string& key, const std::string& value, DriverFamily family,
                               ValueOrigin origin);

}  // namespace dbplatform::provider::odbc
