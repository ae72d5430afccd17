// Per-thread COM initialisation count.
#include <dbplatform/com/ComRuntime.h>

namespace {
// Each thread counts its own CoInitialize calls, as apartments are per thread on Windows.
thread_local int initializeCount = 0;
}  // namespace

// The first call on a thread answers S_OK and later ones S_FALSE, so that callers that
// pair every successful call with CoUninitialize (S_FALSE counts as success) balance out.
HRESULT CoInitializeEx(void* /*reserved*/, DWORD /*flags*/) {
    return initializeCount++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

// One more CoUninitialize than CoInitialize is harmless: the count never goes negative,
// so a later CoInitialize on the thread again answers S_OK.
void CoUninitialize() {
    if (initializeCount > 0) --initializeCount;
}

namespace dbplatform {
int ComInitializeCount() { return initializeCount; }
}  // namespace dbplatform
