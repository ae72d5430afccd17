// unixODBC's headers beside the platform's Windows types: WinTypes.h, included first, gives
// them the Windows names they expect (ALREADY_HAVE_WINDOWS_TYPE), so they declare none of
// their own and SQLWCHAR is the platform's 16-bit WCHAR.
#pragma once

#include <dbplatform/base/WinTypes.h>

#include <sql.h>
#include <sqlext.h>
