// Inside the platform: the prompt that the DataLinks class shows, and the default one on
// the controlling terminal.
#pragma once

#include <string>

#include <dbplatform/datalink/DataLinks.h>

namespace dbplatform::datalink {

// Runs the installed prompt (the terminal dialog unless a host installed its own).
bool RunDataLinkPrompt(std::string& connectionString);
// The dialog on /dev/tty; false at once when the process has no controlling terminal.
bool TerminalDataLinkPrompt(std::string& connectionString);

}  // namespace dbplatform::datalink
