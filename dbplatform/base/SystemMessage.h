// The system message table: the English texts Windows gives for the HRESULTs this
// platform raises, with the trailing line break removed.
#pragma once

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

namespace dbplatform {
// The system message for `code`, or nullptr when the table has none (ADO's 0x800A....
// errors and the OLE DB 0x80040E.. codes have none, as on Windows).
const char* SystemMessage(HRESULT code);
}  // namespace dbplatform

// Writes the system message of `messageId` (FORMAT_MESSAGE_FROM_SYSTEM) into `buffer`
// and returns its length, or 0 when there is none. With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// `buffer` is really a char** that receives a block to free with LocalFree.
// Unlike Windows the text carries no trailing line break.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, void* arguments);
void* LocalFree(void* memory);

DBPLATFORM_PUBLIC_END
