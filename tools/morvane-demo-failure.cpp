// How morvane-demo reports the cause of a failure, beside the operation's own message.
// The store shows only fixed texts ("IDispatch error #3092"); the driver's own words
// (a full disk, a lock, a missing table) arrive on the platform's diagnostics channel,
// where a handler of this program keeps the newest few until a failure is reported.
#include "morvane-demo.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include <dbplatform/dbplatform.h>

namespace demo {

namespace {

constexpr std::size_t kKeptCauses = 3;  // a failure rarely has a longer chain worth reading
constexpr std::size_t kShownSqlLength = 160;

std::mutex g_causesMutex;
std::deque<dbplatform::DiagnosticRecord> g_causes;  // oldest first

// One line for a record: the provider's description (else the shown message), then
// where it happened; the SQL is cut, since a plant's statements run to 250 columns.
std::string CauseText(const dbplatform::DiagnosticRecord& record) {
    std::string text = record.description.empty() ? record.message : record.description;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!record.source.empty() || !record.operation.empty())
        text += " (" + record.source + (record.operation.empty() ? "" : "." + record.operation) + ")";
    if (!record.sql.empty()) {
        std::string sql = record.sql.size() > kShownSqlLength ? record.sql.substr(0, kShownSqlLength) + "..."
                                                              : record.sql;
        text += " in: " + sql;
    }
    return text;
}

}  // namespace

void RecordFailureCauses() {
    dbplatform::SetDiagnosticHandler([](const dbplatform::DiagnosticRecord& record) {
        std::lock_guard<std::mutex> hold(g_causesMutex);
        g_causes.push_back(record);
        while (g_causes.size() > kKeptCauses) g_causes.pop_front();
    });
}

void ForgetFailureCauses() {
    std::lock_guard<std::mutex> hold(g_causesMutex);
    g_causes.clear();
}

void PrintFailureCause(const _com_error* caught) {
    std::deque<dbplatform::DiagnosticRecord> causes;
    {
        std::lock_guard<std::mutex> hold(g_causesMutex);
        causes.swap(g_causes);
    }
    std::string caughtText;
    if (caught != nullptr) {
        _bstr_t description = caught->Description();
        const char* text = static_cast<const char*>(description);
        if (text != nullptr) caughtText = text;
    }
    bool caughtShown = caughtText.empty();
    for (const dbplatform::DiagnosticRecord& record : causes) {
        std::fprintf(stderr, "morvane-demo: cause: %s\n", CauseText(record).c_str());
        if (record.description == caughtText) caughtShown = true;
    }
    if (!caughtShown) std::fprintf(stderr, "morvane-demo: cause: %s\n", caughtText.c_str());
    std::fflush(stderr);
}

}  // namespace demo
