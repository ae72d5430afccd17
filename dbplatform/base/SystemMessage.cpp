// The system message table and the FormatMessageA/LocalFree pair over it.
#include <dbplatform/base/SystemMessage.h>

#include <cstdlib>
#include <cstring>

#include <dbplatform/base/HResult.h>

namespace {

struct MessageEntry {
    HRESULT code;
    const char* text;
};

// The English texts Windows gives, without the trailing line break. The generic COM
// codes have no final period while the Win32-derived and DISP_E_ ones have one; that
// difference is Windows' own and is kept. E_OUTOFMEMORY has had two wordings over
// Windows versions; this table uses the current one ("memory resources").
constexpr MessageEntry kMessages[] = {
    {S_OK, "The operation completed successfully."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_ARRAYISLOCKED, "Memory is locked."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {CO_E_CLASSSTRING, "Invalid class string"},
};

}  // namespace

// Linear search: the table is small and lookups happen only on the error path.
const char* dbplatform::SystemMessage(HRESULT code) {
    for (const MessageEntry& entry : kMessages)
        if (entry.code == code) return entry.text;
    return nullptr;
}

// Only FORMAT_MESSAGE_FROM_SYSTEM is meaningful here; the texts carry no inserts, so
// the arguments are never read. A buffer too small for the text and its terminator
// gets nothing (returns 0), as Windows fails rather than truncate.
DWORD FormatMessageA(DWORD flags, const void* /*source*/, DWORD messageId, DWORD /*languageId*/,
                     LPSTR buffer, DWORD size, void* /*arguments*/) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) return 0;
    const char* text = dbplatform::SystemMessage(static_cast<HRESULT>(messageId));
    if (text == nullptr) return 0;
    std::size_t length = std::strlen(text);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* block = static_cast<char*>(std::malloc(length + 1));
        if (block == nullptr) return 0;
        std::memcpy(block, text, length + 1);
        *reinterpret_cast<char**>(buffer) = block;
        return static_cast<DWORD>(length);
    }
    if (size <= length) return 0;
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}

// Frees a block FormatMessageA allocated; returns nullptr on success, as Windows does.
void* LocalFree(void* memory) {
    std::free(memory);
    return nullptr;
}
