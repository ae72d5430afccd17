// Translates an ADO connection string for the ODBC provider into the text that
// SQLDriverConnect takes.
#pragma once

#include <string>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::odbc {

// "Data Source" becomes DSN; the request's user and password become UID and PWD (replacing
// any in the string); "Provider", "Persist Security Info", "User ID" and "Password" are
// dropped; every other key goes to the driver as written. Values holding ';', braces or
// blanks at either end are enclosed in {...}.
std::string OdbcConnectionText(const OpenRequest& request);

// `value` as an ODBC attribute value, braced when it needs to be.
std::string OdbcAttributeValue(const std::string& value);

}  // namespace dbplatform::provider::odbc
