#include "core/proxy/ProxyServerText.h"

#include <optional>
#include <string_view>

#include "core/util/HostPort.h"

namespace zandel {

ProxyServerParts ParseProxyServer(const std::string& text) {
    ProxyServerParts parts;
    if (const std::optional<ProxyAddress> entry = ParseProxyAddress(text);
        entry && entry->form != ProxyAddress::Form::Plain) {
        parts.host = entry->host;
        parts.port = ParsePortNumber(entry->port).value_or(0);
        parts.kind = entry->kind;
        parts.login = entry->login;
        parts.user = entry->user;
        parts.password = entry->password;
        return parts;
    }
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
