// How morvane-demo reports the cause of a failure, beside the operation's own message.
#include "morvane-demo.h"

#include <cstdio>

namespace demo {

void PrintFailureCause(const _com_error* caught) {
    if (caught != nullptr) {
        _bstr_t description = caught->Description();
        const char* text = static_cast<const char*>(description);
        if (text != nullptr && *text != '\0') std::fprintf(stderr, "morvane-demo: cause: %s\n", text);
    }
    // The store's own failures: their cause is to come from the platform's diagnostics
    // channel, read here once the platform offers one.
    std::fflush(stderr);
}

}  // namespace demo
