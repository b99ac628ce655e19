#pragma once

#include <optional>
#include <string_view>

#include <sys/socket.h>

namespace zandel {

// Where an address leads, as far as a list fetched from the web may go: anywhere public, but never from there
// into this machine or the network it stands in.
enum class AddressClass { Public, Loopback, LinkLocal, Private };

// The class of an IPv4 or IPv6 address (an IPv4 address mapped into IPv6 as the IPv4 address). "This host"
// (0.0.0.0/8, ::) reaches this machine, so it is loopback; the shared range of carriers (100.64.0.0/10) and
// unique local IPv6 (fc00::/7) are private. Any other family is public: it is none of ours to judge.
AddressClass ClassOfAddress(const sockaddr& address);

// The class of a URL's host as written: an address (IPv6 in brackets) by `classify`, "localhost" and its
// subdomains as loopback, which resolvers answer without asking anyone; none for any other name.
using AddressClassifier = AddressClass (*)(const sockaddr&);
std::optional<AddressClass> ClassOfUrlHost(std::string_view url, AddressClassifier classify = ClassOfAddress);

} // namespace zandel
