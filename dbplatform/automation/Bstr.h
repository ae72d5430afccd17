// BSTR: a length-prefixed, NUL-terminated UTF-16 text. The pointer points at the first
// character; the 4 bytes before it hold the length in bytes. A null BSTR is the empty text.
#pragma once

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

using BSTR = OLECHAR*;

BSTR SysAllocString(const OLECHAR* text);                 // nullptr for a null text
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null: uninitialised
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
INT SysReAllocString(BSTR* target, const OLECHAR* text);
void SysFreeString(BSTR text);  // nullptr is ignored
UINT SysStringLen(BSTR text);   // in UTF-16 units; 0 for nullptr
UINT SysStringByteLen(BSTR text);

namespace dbplatform {
// The longest text a BSTR holds, in UTF-16 units: its byte count must fit the 32-bit
// prefix with room to spare. Longer requests are refused (nullptr), never cut.
constexpr std::size_t kMaxBstrLength = 0x7FFFFFF0u / sizeof(OLECHAR);
// Allocates a BSTR holding `utf8` converted to UTF-16; nullptr when it would be longer
// than kMaxBstrLength.
BSTR AllocBstrFromUtf8(const char* utf8, std::size_t length);
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
