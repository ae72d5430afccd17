// unixODBC's headers, made to live beside the platform's Windows types: they declare their
// own ULONG and WCHAR with other widths (renamed away here) and BOOL as a macro.
#pragma once

#include <dbplatform/base/WinTypes.h>

#define ULONG unixodbc_ULONG
#define WCHAR unixodbc_WCHAR
#include <sql.h>
#include <sqlext.h>
#undef ULONG
#undef WCHAR
#undef BOOL
