// The diagnostics channel: the process-wide handler, the DBPLATFORM_LOG destination and
// the record of one failure built from the scopes of the raising thread.
#include <dbplatform/base/Diagnostics.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

namespace dbplatform {
namespace {

// Where records go without a handler: standard error or an append-only file, one line
// per record, written under the lock so that lines of two threads never mix.
struct LogDestination {
    std::FILE* file = nullptr;
    std::mutex lock;
};

// Read once: the variable is the host's start-up configuration, and reading the
// environment on every error would race with a host that changes it. Never closed, so
// that an error raised during the process's exit still has somewhere to go.
LogDestination* OpenLogDestination() {
    const char* where = std::getenv("DBPLATFORM_LOG");
    if (where == nullptr || *where == '\0') return nullptr;
    auto* destination = new LogDestination();
    if (std::strcmp(where, "stderr") == 0) {
        destination->file = stderr;
        return destination;
    }
    destination->file = std::fopen(where, "a");
    if (destination->file == nullptr) {
        std::fprintf(stderr, "dbplatform: DBPLATFORM_LOG: cannot open \"%s\": %s; diagnostics are off\n", where,
                     std::strerror(errno));
        delete destination;
        return nullptr;
    }
    return destination;
}

LogDestination* EnvironmentDestination() {
    static LogDestination* destination = OpenLogDestination();
    return destination;
}

std::atomic<bool> handlerInstalled{false};
std::mutex handlerMutex;
std::shared_ptr<const DiagnosticHandler> currentHandler;

thread_local const DiagnosticScope* innermostScope = nullptr;
thread_local bool reporting = false;

// Every occurrence of `secret` in `text` blanked.
void Blank(std::string* text, std::string_view secret) {
    if (secret.empty()) return;
    for (std::size_t at = text->find(secret); at != std::string::npos; at = text->find(secret, at + 3))
        text->replace(at, secret.size(), "***");
}

DiagnosticRecord BuildRecord(HRESULT hr, const char* message, std::string_view description) {
    DiagnosticRecord record;
    record.hr = hr;
    record.message = message ? message : "";
    record.description = MaskPasswords(description);
    std::vector<std::string_view> secrets;
    bool named = false, sqlFound = false;
    for (const DiagnosticScope* scope = innermostScope; scope; scope = scope->outer) {
        if (!named && scope->source && *scope->source) {
            record.source = scope->source;
            record.operation = scope->operation ? scope->operation : "";
            named = true;
        }
        if (!sqlFound && !scope->sql.empty()) {
            record.sql = MaskPasswords(scope->sql);
            sqlFound = true;
        }
        if (!scope->secret.empty()) secrets.push_back(scope->secret);
    }
    for (std::string_view secret : secrets) {
        Blank(&record.description, secret);
        Blank(&record.sql, secret);
    }
    return record;
}

// `text` as the inside of a double-quoted field on one line.
std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

// One line: UTC time, process, code, the shown text, then the cause.
void WriteLine(LogDestination* destination, const DiagnosticRecord& record) {
    char stamp[32] = "";
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (gmtime_r(&now, &utc)) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    char head[96];
    std::snprintf(head, sizeof head, "%s dbplatform[%ld]: 0x%08X ", stamp, static_cast<long>(::getpid()),
                  static_cast<unsigned>(record.hr));
    std::string line = head;
    line += "\"" + Escaped(record.message) + "\"";
    if (!record.source.empty()) line += " source=" + Escaped(record.source);
    if (!record.operation.empty()) line += " operation=" + Escaped(record.operation);
    line += " description=\"" + Escaped(record.description) + "\"";
    if (!record.sql.empty()) line += " sql=\"" + Escaped(record.sql) + "\"";
    line += '\n';
    std::lock_guard<std::mutex> lock(destination->lock);
    std::fputs(line.c_str(), destination->file);
    std::fflush(destination->file);
}

}  // namespace

DiagnosticScope::DiagnosticScope(const char* source_, const char* operation_, std::string_view sql_,
                                 std::string_view secret_) noexcept
    : source(source_), operation(operation_), sql(sql_), secret(secret_), outer(innermostScope) {
    innermostScope = this;
}

DiagnosticScope::~DiagnosticScope() { innermostScope = outer; }

DiagnosticHandler SetDiagnosticHandler(DiagnosticHandler handler) {
    std::shared_ptr<const DiagnosticHandler> next;
    if (handler) next = std::make_shared<const DiagnosticHandler>(std::move(handler));
    std::lock_guard<std::mutex> lock(handlerMutex);
    std::shared_ptr<const DiagnosticHandler> previous = std::move(currentHandler);
    currentHandler = std::move(next);
    handlerInstalled.store(currentHandler != nullptr, std::memory_order_release);
    return previous ? *previous : DiagnosticHandler();
}

bool DiagnosticsEnabled() noexcept {
    return handlerInstalled.load(std::memory_order_acquire) || EnvironmentDestination() != nullptr;
}

// The handler is called outside the lock, so that it may swap handlers or raise errors
// of its own (which are not reported again) without deadlocking.
void ReportFailure(HRESULT hr, const char* message, std::string_view description) noexcept {
    if (!FAILED(hr) || reporting || !DiagnosticsEnabled()) return;
    reporting = true;
    try {
        DiagnosticRecord record = BuildRecord(hr, message, description);
        std::shared_ptr<const DiagnosticHandler> handler;
        {
            std::lock_guard<std::mutex> lock(handlerMutex);
            handler = currentHandler;
        }
        if (handler) (*handler)(record);
        else if (LogDestination* destination = EnvironmentDestination()) WriteLine(destination, record);
    } catch (...) {
        // A diagnostics failure must never replace the error being raised.
    }
    reporting = false;
}

}  // namespace dbplatform
