#pragma once

#include <optional>
#include <string_view>

namespace zandel {

// A proxy address as written, "host:port": a name or an IPv4 address runs to the first colon, an IPv6
// address stands in brackets, which the host keeps ("[2001:db8::1]:8080"), so that host, colon and port
// joined again give the same address back.
struct HostPortText {
    std::string_view host;
    std::string_view port; // what follows the colon; empty when there is none
};

// Splits an address (without its comment). Nothing when brackets do not enclose exactly an IPv6 address at
// the start that a colon or the end follows, and for a bracket anywhere in any other address.
std::optional<HostPortText> SplitHostPort(std::string_view address);

// A host in brackets, as SplitHostPort gives an IPv6 address.
bool IsBracketedHost(std::string_view host);

// A decimal port from 1 to 65535 in at most five digits.
std::optional<int> ParsePortNumber(std::string_view text);

} // namespace zandel
