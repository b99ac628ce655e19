#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"

namespace zandel::test {

// A SOCKS5 proxy (no login) on loopback that takes any name, as a proxy with its own resolver would: a name
// reaches the origin server on loopback `originPort`, an IPv4 address of 127.0.0.0/8 itself; anything else is
// refused. Relays both ways until either side closes. Keeps every name it was asked for.
class SocksRelay final {
public:
    explicit SocksRelay(std::uint16_t originPort);

    std::uint16_t Port() const { return m_server.Port(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(Port()); }
    std::vector<std::string> Names() const;

private:
    void Serve(ServerConnection& connection);

    std::uint16_t m_originPort;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_names;
    LoopbackServer m_server; // last: its threads stop before the rest goes
};

} // namespace zandel::test
