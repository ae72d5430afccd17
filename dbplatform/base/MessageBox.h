// Message boxes. On this platform they go through one replaceable handler per
// process; the default writes "caption: text" to standard error and answers IDOK,
// because a service must never hang on a dialog nobody can see.
#pragma once

#include <functional>

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

namespace dbplatform {
using MessageBoxHandler = std::function<int(const char* text, const char* caption, unsigned int type)>;
// Installs `handler` (an empty function restores the default) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
}  // namespace dbplatform

// A null caption shows as "Error", as on Windows.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// Shown with the host program's name as caption.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);

DBPLATFORM_PUBLIC_END
