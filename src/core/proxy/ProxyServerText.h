#pragma once

#include <string>

#include "core/util/ProxyAddress.h"

namespace zandel {

// The proxy server text handed to the browser's settings split for a desktop that keeps host and port apart.
struct ProxyServerParts {
    std::string host;
    int port = 0; // 0 when the text names no usable port
    ProxyKind kind = ProxyKind::Http;
    bool login = false;
    std::string user;
    std::string password;
};

// "host:port" with an optional comment after a blank or tab, as the list and the proxy bar hold it. The host
// ends at the first colon, blank or tab, or is an IPv6 address in brackets, which it keeps: the form the
// desktops' proxy settings and the browsers reading them take. The port is the decimal number after the
// colon; anything that is not a port from 1 to 65535 gives 0. Brackets around no IPv6 address give nothing.
// An entry of one of the other forms of the list (a scheme, a login) gives its host, port, kind and login.
ProxyServerParts ParseProxyServer(const std::string& text);

} // namespace zandel
