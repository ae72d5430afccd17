#include <dbplatform/providers/postgresql/PgConnectParams.h>

namespace dbplatform::provider::postgresql {

std::vector<std::pair<std::string, std::string>> LibpqParams(const OpenRequest& request) {
    const ado::ConnectionString& properties = request.properties;
    std::vector<std::pair<std::string, std::string>> params;
    std::string host = properties.Get("Data Source").value_or("");
    std::string port;
    // host:port, but a bracketed IPv6 address keeps its colons.
    std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']') == std::string::npos && host.find(':') == colon) {
        port = host.substr(colon + 1);
        host.erase(colon);
    } else if (!host.empty() && host.front() == '[') {
        std::size_t close = host.find(']');
        if (close != std::string::npos) {
            if (close + 1 < host.size() && host[close + 1] == ':') port = host.substr(close + 2);
            host = host.substr(1, close - 1);
        }
    }
    if (auto explicitPort = properties.Get("Port"); explicitPort && !explicitPort->empty()) port = *explicitPort;
    std::string database = properties.Get("Location").value_or("");
    if (database.empty()) database = properties.Get("Initial Catalog").value_or("");

    if (!host.empty()) params.emplace_back("host", host);
    if (!port.empty()) params.emplace_back("port", port);
    if (!database.empty()) params.emplace_back("dbname", database);
    if (!request.userId.empty()) params.emplace_back("user", request.userId);
    if (!request.password.empty()) params.emplace_back("password", request.password);
    if (request.timeoutSeconds > 0) params.emplace_back("connect_timeout", std::to_string(request.timeoutSeconds));
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("options", "-c DateStyle=ISO,YMD");
    return params;
}

}  // namespace dbplatform::provider::postgresql
