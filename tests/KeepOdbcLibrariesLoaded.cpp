// Linked into every test program. The ODBC drivers load libodbcinst to read their data
// sources, and unixODBC unloads a driver (and with it libodbcinst) after its last
// connection. The leak checker can only name, and so suppress, what that library keeps
// while its code is still mapped; pinning it makes the driver-side allocations nameable.
#include <dlfcn.h>

namespace {
const bool kPinned = [] {
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
    return true;
}();
}  // namespace
