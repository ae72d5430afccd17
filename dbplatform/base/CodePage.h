// Conversions between the process code page (UTF-8) and UTF-16, with the Win32
// calling conventions, plus string-returning forms for our own code.
#pragma once

#include <string>
#include <string_view>

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

// Returns the number of UTF-16 units written (or needed, when wideSize is 0), 0 on failure.
// byteCount -1 means NUL-terminated (the terminator is converted and counted).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int byteCount, WCHAR* wide,
                        int wideSize);
// Returns the number of bytes written (or needed, when byteSize is 0), 0 on failure.
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideCount, LPSTR text,
                        int byteSize, LPCSTR defaultChar, BOOL* usedDefaultChar);

namespace dbplatform {
// Invalid UTF-8 bytes become U+FFFD; unpaired surrogates become U+FFFD.
std::u16string WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::u16string_view wide);
}  // namespace dbplatform

// wsprintfA: printf-style formatting into a buffer of at most 1024 bytes.
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

DBPLATFORM_PUBLIC_END
