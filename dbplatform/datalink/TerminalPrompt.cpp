// The default data-link dialog, on the controlling terminal: choose a SQLite file, a
// PostgreSQL server or an ODBC data source, fill in its fields, test the connection, then
// accept or cancel. A process without a terminal (a service) cancels at once rather than
// waiting for an answer that can never come.
#include <dbplatform/ado/Ado.h>
#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/datalink/DataLinkPrompt.h>
#include <dbplatform/datalink/OdbcDataSources.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace dbplatform::datalink {

namespace {

// The terminal, opened for this dialog only.
class Terminal {
public:
    Terminal() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~Terminal() {
        if (fd_ >= 0) ::close(fd_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    void Write(const std::string& text) {
        std::size_t written = 0;
        while (written < text.size()) {
            ssize_t n = ::write(fd_, text.data() + written, text.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            written += static_cast<std::size_t>(n);
        }
    }

    // One line without its line break; nothing at end of input (the user closed the terminal).
    std::optional<std::string> ReadLine() {
        std::string line;
        for (;;) {
            char ch = 0;
            ssize_t n = ::read(fd_, &ch, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (line.empty()) return std::nullopt;
                return line;
            }
            if (ch == '\n') break;
            if (ch != '\r') line += ch;
        }
        return line;
    }

    // A line typed without echo, for passwords. Echo goes off before the prompt appears,
    // so that a fast typist's first characters are hidden too.
    std::optional<std::string> ReadSecret(const std::string& prompt) {
        termios saved{};
        bool restore = ::tcgetattr(fd_, &saved) == 0;
        if (restore) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            ::tcsetattr(fd_, TCSANOW, &quiet);
        }
        Write(prompt);
        std::optional<std::string> line = ReadLine();
        if (restore) ::tcsetattr(fd_, TCSANOW, &saved);
        return line;
    }

private:
    int fd_;
};

// Thrown when the user ends the input: the dialog counts as cancelled.
struct InputClosed {};

std::string Ask(Terminal& terminal, const std::string& label, const std::string& fallback = "") {
    terminal.Write(fallback.empty() ? label + ": " : label + " [" + fallback + "]: ");
    std::optional<std::string> line = terminal.ReadLine();
    if (!line) throw InputClosed{};
    return line->empty() ? fallback : *line;
}

std::string AskSecret(Terminal& terminal, const std::string& label) {
    std::optional<std::string> line = terminal.ReadSecret(label + ": ");
    if (!line) throw InputClosed{};
    return *line;
}

// A value goes into a connection string as is unless it could be read as something else:
// then it is enclosed in double quotes, with any double quote inside doubled.
std::string QuoteValue(const std::string& value) {
    bool plain = value.find_first_of(";\"'") == std::string::npos &&
                 (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) return value;
    std::string quoted = "\"";
    for (char ch : value) {
        if (ch == '"') quoted += '"';
        quoted += ch;
    }
    return quoted + "\"";
}

void Append(std::string& text, const char* key, const std::string& value) {
    if (!text.empty()) text += ";";
    text += key;
    text += "=";
    text += QuoteValue(value);
}

// A key of the current connection string, to offer as the default.
std::string Current(const std::optional<ado::ConnectionString>& current, const char* key) {
    if (!current) return "";
    return current->Get(key).value_or("");
}

std::string SqliteLink(Terminal& terminal, const std::optional<ado::ConnectionString>& current) {
    std::string path;
    while (path.empty()) path = Ask(terminal, "Database file", Current(current, "Data Source"));
    std::string create = Ask(terminal, "Create the file when it is missing? (y/n)", "n");
    std::string text;
    Append(text, "Provider", "SQLite");
    Append(text, "Data Source", path);
    if (create == "y" || create == "Y") Append(text, "Create", "True");
    return text;
}

std::string PostgresLink(Terminal& terminal, const std::optional<ado::ConnectionString>& current) {
    std::string host = Ask(terminal, "Server", "127.0.0.1");
    std::string port = Ask(terminal, "Port", "5432");
    std::string database = Ask(terminal, "Database", Current(current, "Location"));
    std::string user = Ask(terminal, "User", Current(current, "User ID"));
    std::string password = AskSecret(terminal, "Password");
    std::string text;
    Append(text, "Provider", "PostgreSQL");
    Append(text, "Data Source", host + ":" + port);
    if (!database.empty()) Append(text, "Location", database);
    if (!user.empty()) Append(text, "User ID", user);
    if (!password.empty()) Append(text, "Password", password);
    return text;
}

// Empty when there is no data source to choose.
std::string OdbcLink(Terminal& terminal) {
    auto sources = OdbcDataSources();
    if (sources.empty()) {
        terminal.Write("No ODBC data sources are configured.\n");
        return "";
    }
    terminal.Write("ODBC data sources:\n");
    for (std::size_t i = 0; i < sources.size(); ++i)
        terminal.Write("  " + std::to_string(i + 1) + ") " + sources[i].first + " (" + sources[i].second + ")\n");
    std::size_t chosen = 0;
    while (chosen < 1 || chosen > sources.size()) {
        std::string answer = Ask(terminal, "Data source [1-" + std::to_string(sources.size()) + "]");
        chosen = static_cast<std::size_t>(std::strtoul(answer.c_str(), nullptr, 10));
    }
    std::string user = Ask(terminal, "User (empty: the data source's own)");
    std::string password = user.empty() ? "" : AskSecret(terminal, "Password");
    std::string text;
    Append(text, "Provider", "MSDASQL");
    Append(text, "Data Source", sources[chosen - 1].first);
    if (!user.empty()) Append(text, "User ID", user);
    if (!password.empty()) Append(text, "Password", password);
    return text;
}

// Opens and closes a connection with the text, saying how it went.
void TestConnection(Terminal& terminal, const std::string& text) {
    _ConnectionPtr connection;
    HRESULT hr = connection.CreateInstance(CLSID_Connection);
    if (FAILED(hr)) {
        terminal.Write(std::string("Test connection failed: ") + _com_error(hr).ErrorMessage() + "\n");
        return;
    }
    try {
        HRESULT opened = connection->Open(_bstr_t(text), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        if (FAILED(opened)) _com_issue_error(opened);
        connection->Close();
        terminal.Write("Test connection succeeded.\n");
    } catch (const _com_error& error) {
        std::string reason = error.Description().str();
        if (reason.empty()) reason = error.ErrorMessage();
        terminal.Write("Test connection failed: " + reason + "\n");
    }
}

bool RunDialog(Terminal& terminal, std::string& connectionString) {
    std::optional<ado::ConnectionString> current;
    {
        ado::ConnectionString parsed;
        std::string error;
        if (!connectionString.empty() && SUCCEEDED(ado::ConnectionString::Parse(connectionString, &parsed, &error)))
            current = parsed;
    }
    terminal.Write("\nData Link Properties\n");
    for (;;) {
        terminal.Write(connectionString.empty() ? "New connection.\n" : "Connection string: " + connectionString + "\n");
        terminal.Write("  1) SQLite database file\n  2) PostgreSQL server\n  3) ODBC data source\n"
                       "  4) Type the connection string\n  c) Cancel\n");
        std::string choice = Ask(terminal, "Choose [1-4, c]");
        std::string text;
        if (choice == "1") text = SqliteLink(terminal, current);
        else if (choice == "2") text = PostgresLink(terminal, current);
        else if (choice == "3") text = OdbcLink(terminal);
        else if (choice == "4") text = Ask(terminal, "Connection string", connectionString);
        else if (choice == "c" || choice == "C") return false;
        else continue;
        if (text.empty()) continue;
        for (bool back = false; !back;) {
            terminal.Write("Connection string: " + text + "\n  t) Test the connection\n  a) Accept\n  b) Back\n"
                           "  c) Cancel\n");
            std::string action = Ask(terminal, "Choose [t, a, b, c]");
            if (action == "t" || action == "T") {
                TestConnection(terminal, text);
            } else if (action == "a" || action == "A") {
                connectionString = text;
                return true;
            } else if (action == "b" || action == "B") {
                back = true;
            } else if (action == "c" || action == "C") {
                return false;
            }
        }
    }
}

}  // namespace

bool TerminalDataLinkPrompt(std::string& connectionString) {
    Terminal terminal;
    if (!terminal.IsOpen()) return false;
    try {
        return RunDialog(terminal, connectionString);
    } catch (const InputClosed&) {
        return false;
    }
}

}  // namespace dbplatform::datalink
