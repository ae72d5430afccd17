#include <dbplatform/providers/odbc/OdbcConnectionText.h>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>

namespace dbplatform::provider::odbc {
namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Characters a driver may read as the end or the start of something else.
bool IsSpecial(char c) { return c == ';' || c == '{' || c == '}' || c == '=' || IsControl(c); }

// Nothing in `value` that any driver reads as anything but the value itself.
bool IsPlain(const std::string& value) {
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) return false;
    for (char c : value)
        if (IsSpecial(c)) return false;
    return true;
}

// One ODBC braced value: "{...}" in which every '}' but the last is doubled.
bool IsWellFormedBraced(const std::string& value) {
    if (value.size() < 2 || value.front() != '{' || value.back() != '}') return false;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] != '}') continue;
        if (i + 2 >= value.size() || value[i + 1] != '}') return false;
        ++i;
    }
    return true;
}

[[noreturn]] void Refuse(const std::string& key, const char* why) {
    throw _com_error(E_INVALIDARG, "The value of '" + key + "' cannot be passed to this ODBC driver: " + why);
}

// ODBC attribute names hold no character that the driver would read as a separator.
void RequireKey(const std::string& key) {
    for (char c : key)
        if (IsSpecial(c)) throw _com_error(E_INVALIDARG, "'" + key + "' cannot be an ODBC attribute name.");
}

}  // namespace

std::string OdbcAttributeValue(const std::string& key, const std::string& value, DriverFamily family,
                               ValueOrigin origin) {
    for (char c : value)
        if (c == '\0') Refuse(key, "it holds a NUL character.");
    if (family == DriverFamily::NoBraces) {
        // The driver ends every value at the next ';' and takes braces literally.
        if (value.find(';') != std::string::npos) Refuse(key, "the driver would end it at its ';'.");
        return value;
    }
    const bool fromString = origin == ValueOrigin::ConnectionString;
    if (family == DriverFamily::PartialBraces) {
        // No braces can carry a ';' to every attribute, nor a '}' inside them: such values
        // are refused; others go as written, a value starting with '{' only as one
        // complete braced value from the connection string.
        if (value.find(';') != std::string::npos) Refuse(key, "the driver would end it at its ';'.");
        if (value.empty() || value.front() != '{') return value;
        if (fromString && value.size() >= 2 && value.back() == '}' && value.find('}') == value.size() - 1)
            return value;
        Refuse(key, "the driver would read its braces as quotes.");
    }
    if (fromString && IsWellFormedBraced(value)) return value;
    if (IsPlain(value)) return value;
    std::string braced = "{";
    for (char c : value) {
        braced += c;
        if (c == '}') braced += '}';
    }
    braced += '}';
    return braced;
}

std::string OdbcConnectionText(const OpenRequest& request) { return OdbcConnectionText(request, DriverFamilyOf(request)); }

std::string OdbcConnectionText(const OpenRequest& request, DriverFamily family) {
    std::string text;
    auto append = [&](const std::string& key, const std::string& value, ValueOrigin origin) {
        RequireKey(key);
        if (!text.empty()) text += ';';
        text += key + "=" + OdbcAttributeValue(key, value, family, origin);
    };
    for (const auto& [key, value] : request.properties.Entries()) {
        if (EqualNoCase(key, "Provider") || EqualNoCase(key, "Persist Security Info") || EqualNoCase(key, "User ID") ||
            EqualNoCase(key, "Password"))
            continue;
        if (EqualNoCase(key, "UID") && !request.userId.empty()) continue;
        if (EqualNoCase(key, "PWD") && !request.password.empty()) continue;
        if (EqualNoCase(key, "Data Source")) {
            append("DSN", value, ValueOrigin::ConnectionString);
            continue;
        }
        append(key, value, ValueOrigin::ConnectionString);
    }
    if (!request.userId.empty()) append("UID", request.userId, ValueOrigin::Credential);
    if (!request.password.empty()) append("PWD", request.password, ValueOrigin::Credential);
    return text;
}

}  // namespace dbplatform::provider::odbc
