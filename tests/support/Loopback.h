#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/util/UniqueFd.h"

namespace zandel::test {

// Every test server listens on 127.0.0.1 only, or on ::1 when a test asks for IPv6.
inline constexpr const char* kLoopbackHost = "127.0.0.1";
enum class LoopbackFamily { Ipv4, Ipv6 };

// A host name whose lookup fails inside the resolver library: the empty label keeps it from ever becoming
// a query on the network (a name such as "x.invalid" would still go out to the name server).
inline constexpr const char* kUnresolvableHost = "no..such.invalid";

// "127.0.0.1:port", or "[::1]:port".
std::string LoopbackAddress(std::uint16_t port, LoopbackFamily family = LoopbackFamily::Ipv4);

// A socket listening on 127.0.0.1:port (or [::1]:port), or on a free port when `port` is 0; `port` becomes the
// port taken. `typeFlags` adds socket type flags such as SOCK_NONBLOCK. Not open when the port cannot be had.
UniqueFd ListenLoopback(std::uint16_t& port, int backlog, int typeFlags = 0,
                        LoopbackFamily family = LoopbackFamily::Ipv4);
// A socket bound to the loopback port (a free one when `port` is 0) that never listens: every connection to it is
// refused and no one else gets the port. Not open when the port cannot be had.
UniqueFd BindLoopback(std::uint16_t& port, LoopbackFamily family = LoopbackFamily::Ipv4);

// A blocking TCP connection to 127.0.0.1:port; not open when the connection fails.
UniqueFd ConnectLoopback(std::uint16_t port);

// Sends every byte on a blocking socket; false when the peer has gone.
bool SendAll(int fd, std::string_view bytes);

// The plainest exchange a client can make: blocking connect, one request, read until the server closes,
// close. What it received, empty when the connection failed. A yardstick for the probe's own overhead.
std::string BareExchange(std::uint16_t port, std::string_view request);

} // namespace zandel::test
