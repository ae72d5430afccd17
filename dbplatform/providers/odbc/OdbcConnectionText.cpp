#include <dbplatform/providers/odbc/OdbcConnectionText.h>

#include <strings.h>

namespace dbplatform::provider::odbc {
namespace {

bool KeyIs(const std::string& key, const char* name) { return strcasecmp(key.c_str(), name) == 0; }

}  // namespace

std::string OdbcAttributeValue(const std::string& value) {
    // A value already in braces (a driver name such as {PostgreSQL Unicode}) is kept.
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}') return value;
    bool needsBraces = value.find_first_of(";{}") != std::string::npos ||
                       (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!needsBraces) return value;
    std::string braced = "{";
    for (char c : value) {
        braced += c;
        if (c == '}') braced += '}';
    }
    braced += '}';
    return braced;
}

std::string OdbcConnectionText(const OpenRequest& request) {
    std::string text;
    auto append = [&](const std::string& key, const std::string& value) {
        if (!text.empty()) text += ';';
        text += key + "=" + OdbcAttributeValue(value);
    };
    for (const auto& [key, value] : request.properties.Entries()) {
        if (KeyIs(key, "Provider") || KeyIs(key, "Persist Security Info") || KeyIs(key, "User ID") ||
            KeyIs(key, "Password"))
            continue;
        if (KeyIs(key, "UID") && !request.userId.empty()) continue;
        if (KeyIs(key, "PWD") && !request.password.empty()) continue;
        if (KeyIs(key, "Data Source")) {
            append("DSN", value);
            continue;
        }
        append(key, value);
    }
    if (!request.userId.empty()) append("UID", request.userId);
    if (!request.password.empty()) append("PWD", request.password);
    return text;
}

}  // namespace dbplatform::provider::odbc
