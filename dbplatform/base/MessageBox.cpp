// Message boxes through one replaceable, process-wide handler.
#include <dbplatform/base/MessageBox.h>

#include <errno.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex handlerMutex;
dbplatform::MessageBoxHandler currentHandler;  // empty = the default handler

// The default: one line on standard error and an immediate IDOK, so that a program
// without a screen never waits for a click nobody can give.
int DefaultHandler(const char* text, const char* caption, unsigned int /*type*/) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return IDOK;
}

// Calls the handler outside the lock, so that a handler may itself show a message or
// swap handlers without deadlocking.
int Show(const char* text, const char* caption, UINT type) {
    dbplatform::MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = currentHandler;
    }
    if (text == nullptr) text = "";
    if (!handler) return DefaultHandler(text, caption, type);
    return handler(text, caption, type);
}

// The host program's name: the executable's file name, as the application title
// defaults to on Windows.
std::string ProgramName() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        std::string full(path, static_cast<std::size_t>(length));
        std::size_t slash = full.rfind('/');
        std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
        if (!name.empty()) return name;
    }
    return program_invocation_short_name;
}

}  // namespace

dbplatform::MessageBoxHandler dbplatform::SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    MessageBoxHandler previous = std::move(currentHandler);
    currentHandler = std::move(handler);
    return previous;
}

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    return Show(text, caption != nullptr ? caption : "Error", type);
}

int AfxMessageBox(LPCSTR text, UINT type, UINT /*helpId*/) {
    static const std::string caption = ProgramName();
    return Show(text, caption.c_str(), type);
}
