#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/TestTls.h"

namespace zandel::test {

// Web sites on 127.0.0.1 whose pages are fixtures: each request is answered with the page its path names (404
// without one) and the connection closed. Two pages are not fixed: "/flood" sends a 200 head and then bytes without
// end, "/drip" one byte of its body every 100 ms, both until the client goes.
// Asked as an HTTP proxy is asked, it also plays the proxy in front of them: "GET http://host:port/path" is a page
// of the path, the echo judge's path gets the echo judge's answer, and a CONNECT to "host:port" is granted and
// answered over TLS, with that authority's identity, by the page named "tls://host:port".
// With an identity of its own, every connection is TLS first: an https:// site's server, answering "tls".
class FakeSite final {
public:
    explicit FakeSite(std::map<std::string, std::string> pages, std::map<std::string, TlsIdentity> tunnels = {},
                      TlsIdentity identity = {});

    std::uint16_t Port() const { return m_server.Port(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(Port()); }
    // Bytes "/flood" sent before its clients went.
    std::size_t FloodBytes() const { return m_floodBytes.load(); }
    // Every request head received, in order.
    std::vector<std::string> Heads() const;

    // "HTTP/1.1 <status>", the headers (each ending in CR LF) and the body, with a Content-Length.
    static std::string Page(const std::string& status, const std::string& headers, const std::string& body);

private:
    void Serve(ServerConnection& connection);
    void Answer(ServerConnection& connection, const std::string& path);

    std::map<std::string, std::string> m_pages;
    std::map<std::string, TlsIdentity> m_tunnels;
    TlsIdentity m_identity;
    std::atomic<std::size_t> m_floodBytes{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_heads;
    LoopbackServer m_server; // last: its threads stop before the rest goes
};

} // namespace zandel::test
