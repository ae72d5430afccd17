// unixODBC's headers first: they declare ULONG, WCHAR and BOOL their own way, so our
// headers must refuse with a message that says what to do instead of a pile of clashes.
#include <sql.h>
#include <sqlext.h>

#include <dbplatform/dbplatform.h>

int main() { return 0; }
