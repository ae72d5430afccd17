// A host that includes our headers and then unixODBC's: both sets of declarations are
// usable, and the Windows types keep the platform's widths.
#include <dbplatform/dbplatform.h>
#include <morvane/Morvane.h>
#include <quillet/Quillet.h>

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <type_traits>

static_assert(std::is_same_v<WCHAR, char16_t>);
static_assert(sizeof(ULONG) == 4 && sizeof(LONG) == 4 && sizeof(DWORD) == 4);
static_assert(std::is_same_v<BOOL, int>);
// What the drivers exchange keeps unixODBC's sizes on LP64.
static_assert(sizeof(SQLWCHAR) == 2 && sizeof(SQLLEN) == 8 && sizeof(SQLULEN) == 8 && sizeof(SQLINTEGER) == 4);
static_assert(sizeof(SQLUINTEGER) == 4 && sizeof(SQLSMALLINT) == 2 && sizeof(SQLHANDLE) == sizeof(void*));

int main() {
    SQLHENV environment = SQL_NULL_HENV;
    SQLRETURN allocated = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
    _bstr_t text(L"ODBC beside the platform");
    SQLWCHAR name[4] = {u'D', u'S', u'N', 0};
    WORD mode = 0;
    BOOL configured = SQLGetConfigMode(&mode);
    if (SQL_SUCCEEDED(allocated)) SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return text.length() > 0 && name[0] == u'D' && configured ? 0 : 1;
}
