// The diagnostics channel: the full cause of every failure, for the host's log.
//
// The message texts the libraries show are fixed and often say little ("Unspecified
// error", "IDispatch error #3092"). Every error raised as a _com_error is also handed,
// with its code, the provider's own description, the object and operation that raised it
// and the SQL involved, to one process-wide diagnostics handler. A host installs its own
// with SetDiagnosticHandler; without one, the environment variable DBPLATFORM_LOG (read
// once, at the first error) names where records go: "stderr", or a file that each record
// is appended to as one line. Unset or empty, the channel is off and costs one atomic load
// per error. Passwords never reach a record: connection-string passwords are masked, and
// the password given to Connection.Open is blanked wherever a text repeats it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <dbplatform/base/HResult.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

namespace dbplatform {

struct DiagnosticRecord {
    HRESULT hr = S_OK;
    std::string message;      // the text the libraries show for `hr` (_com_error::ErrorMessage)
    std::string description;  // the provider's own description; may be empty
    std::string source;       // the object whose operation failed ("ADODB.Connection"), or empty
    std::string operation;    // that operation ("Open", "Execute", "Update"), or empty
    std::string sql;          // the command text, or for Open the connection string; may be empty
};

// Runs on the thread that raised the error, possibly on several threads at once. It must
// not throw (what it throws is swallowed). Errors raised while it runs are not reported
// again, so a handler may itself use the platform.
using DiagnosticHandler = std::function<void(const DiagnosticRecord& record)>;

// Installs `handler` for the whole process (an empty function restores the default, the
// DBPLATFORM_LOG destination) and returns the previous one. A call of the previous handler
// that is already running may still finish after this returns.
DiagnosticHandler SetDiagnosticHandler(DiagnosticHandler handler);

// `text` with the value of every Password=, Pwd= (any letter case, any key ending in
// "password", such as "Jet OLEDB:Database Password") replaced by "***"; quoted ("..." or
// '...', the quote doubled inside) and braced ({...}, "}}" inside) values are masked whole.
std::string MaskPasswords(std::string_view text);

// Names the work running on the current thread while the object lives, so that an error
// raised inside it is reported with that object, operation and SQL. Scopes nest; the
// innermost one that names a thing wins. The texts must outlive the scope. `secret` (a
// password in use) is blanked from every text of a record raised inside the scope.
class DiagnosticScope {
public:
    DiagnosticScope(const char* source, const char* operation, std::string_view sql,
                    std::string_view secret = {}) noexcept;
    ~DiagnosticScope();
    DiagnosticScope(const DiagnosticScope&) = delete;
    DiagnosticScope& operator=(const DiagnosticScope&) = delete;

    const char* source;
    const char* operation;
    std::string_view sql;
    std::string_view secret;
    const DiagnosticScope* outer;
};

// True when a handler or a DBPLATFORM_LOG destination would receive a record.
bool DiagnosticsEnabled() noexcept;

// Hands one failure to the channel (called by _com_error). Does nothing for success codes
// or while the channel is off; never throws.
void ReportFailure(HRESULT hr, const char* message, std::string_view description) noexcept;

}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
