#include "core/proxy/ProxyServerText.h"

namespace zandel {

ProxyServerParts ParseProxyServer(const std::string& text) {
    ProxyServerParts parts;
    const std::string address = text.substr(0, text.find_first_of(" \t"));
    const std::size_t colon = address.find(':');
    parts.host = address.substr(0, colon);
    if (colon == std::string::npos) {
        return parts;
    }
    const std::string port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
        return parts;
    }
    const int value = std::stoi(port);
    parts.port = value >= 1 && value <= 65535 ? value : 0;
    return parts;
}

} // namespace zandel
