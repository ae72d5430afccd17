// Translates an ADO connection string for Provider=PostgreSQL into libpq's keywords.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::postgresql {

// "Data Source" = host[:port], "Location" or "Initial Catalog" = database, "Port" (wins
// over a port in Data Source), the request's user and password, ConnectionTimeout as
// connect_timeout. Other keys are ignored. The session always speaks UTF-8 and ISO dates.
std::vector<std::pair<std::string, std::string>> LibpqParams(const OpenRequest& request);

}  // namespace dbplatform::provider::postgresql
