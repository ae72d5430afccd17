// The password of a data source, for morvane-demo --dsn.
#pragma once

#include <string>

namespace demo {

// The password for the data source `dsn`: $MORVANE_PASSWORD when set; else "" when the
// data source names one of its own (the driver then uses it) or when there is no
// terminal to ask on; else what the user types at a prompt, not echoed.
std::string PasswordFor(const std::string& dsn, const std::string& user);

}  // namespace demo
