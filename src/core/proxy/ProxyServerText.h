#pragma once

#include <string>

namespace zandel {

// The proxy server text handed to the browser's settings split for a desktop that keeps host and port apart.
struct ProxyServerParts {
    std::string host;
    int port = 0; // 0 when the text names no usable port
};

// "host:port" with an optional comment after a blank or tab, as the list and the proxy bar hold it. The host
// ends at the first colon, blank or tab; the port is the decimal number after the colon, and anything that
// is not a port from 1 to 65535 gives 0.
ProxyServerParts ParseProxyServer(const std::string& text);

} // namespace zandel
