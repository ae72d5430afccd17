// Windows base types as the two libraries' interfaces use them, on LP64 Linux.
//
// HRESULT, SCODE and LONG are 32 bits wide so that FAILED(0x80004005) holds and
// VT_I4 values keep their width; `long` in the libraries' own signatures stays the
// platform's 64-bit long and carries a 32-bit value sign-extended.
//
// The same names as unixODBC's <sqltypes.h> declares them for programs without
// windows.h would clash (its ULONG is 64 bits, its WCHAR unsigned short). This header
// therefore defines ALREADY_HAVE_WINDOWS_TYPE and every name <sql.h>, <sqlext.h> and
// <odbcinst.h> then take from "windows.h", so that a host may include them after ours.
// Their sizes are those unixODBC uses on LP64, so the drivers' interface is unchanged.
#pragma once

#include <dbplatform/base/Version.h>

#if defined(__SQLTYPES_H) && !defined(ALREADY_HAVE_WINDOWS_TYPE)
#error "unixODBC's <sql.h>/<sqltypes.h> was included before the dbplatform headers and declared ULONG, WCHAR and BOOL its own way: include <dbplatform/dbplatform.h> (or any dbplatform, Morvane or Quillet header) before <sql.h> and <sqlext.h>"
#endif
#ifndef ALREADY_HAVE_WINDOWS_TYPE
#define ALREADY_HAVE_WINDOWS_TYPE 1
#endif

#include <cstddef>
#include <cstdint>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using CHAR = char;
using WCHAR = char16_t;    // UTF-16 code unit: wchar_t is 32 bits on Linux
using OLECHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPTSTR = char*;
using LPCTSTR = const char*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPVOID = void*;
using HWND = void*;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;  // automation date: days since 1899-12-30 00:00

// Further names unixODBC's headers expect from windows.h once ALREADY_HAVE_WINDOWS_TYPE
// is defined, with unixODBC's own LP64 sizes.
using TCHAR = char;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPDWORD = DWORD*;
using HINSTANCE = void*;
using UCHAR = unsigned char;
using SCHAR = signed char;
using SQLSCHAR = signed char;
using SDWORD = std::int32_t;
using UDWORD = std::uint32_t;
using SWORD = std::int16_t;
using UWORD = std::uint16_t;
using SLONG = std::int32_t;
using SSHORT = std::int16_t;
using SDOUBLE = double;
using LDOUBLE = double;
using SFLOAT = float;
using PTR = void*;
using RETCODE = std::int16_t;
using SQLHWND = void*;
#ifndef FAR
#define FAR
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef SQL_API
#define SQL_API
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define CP_ACP 0u
#define CP_UTF8 65001u

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define IDOK 1
#define IDCANCEL 2

// Calendar time with milliseconds, as Win32 passes it around.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

DBPLATFORM_PUBLIC_END
