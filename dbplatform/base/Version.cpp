// The run-time side of Version.h: the numbers this library was built with.
#include <dbplatform/base/Version.h>

namespace dbplatform {

// Compiled from the header of the same build, so it tells which library was loaded even
// when the host was compiled against another version's header.
const char* LibraryVersionText() noexcept { return DBPLATFORM_VERSION_STRING; }

int LibraryVersionNumber() noexcept { return DBPLATFORM_VERSION_NUMBER; }

}  // namespace dbplatform
