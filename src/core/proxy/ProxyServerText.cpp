#include "core/proxy/ProxyServerText.h"

#include <optional>
#include <string_view>

#include "core/util/HostPort.h"

namespace zandel {

ProxyServerParts ParseProxyServer(const std::string& text) {
    ProxyServerParts parts;
    const std::optional<HostPortText> split =
        SplitHostPort(std::string_view(text).substr(0, text.find_first_of(" \t")));
    if (!split) {
        return parts;
    }
    parts.host = std::string(split->host);
    parts.port = ParsePortNumber(split->port).value_or(0);
    return parts;
}

} // namespace zandel
