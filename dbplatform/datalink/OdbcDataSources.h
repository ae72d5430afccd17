// The data sources that unixODBC knows, for the data-link dialog. Kept apart because the
// ODBC headers declare Windows type names of their own.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace dbplatform::datalink {

// (name, description) of every user and system data source, in unixODBC's order.
std::vector<std::pair<std::string, std::string>> OdbcDataSources();

}  // namespace dbplatform::datalink
