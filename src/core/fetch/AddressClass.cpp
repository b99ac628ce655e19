#include "core/fetch/AddressClass.h"

#include <cstdint>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "core/util/Text.h"

namespace zandel {

namespace {

AddressClass ClassOfIpv4(std::uint32_t address) {
    const auto in = [address](std::uint32_t network, int bits) {
        return (address >> (32 - bits)) == (network >> (32 - bits));
    };
    if (in(0x7F000000, 8) || in(0x00000000, 8)) {
        return AddressClass::Loopback;
    }
    if (in(0xA9FE0000, 16)) {
        return AddressClass::LinkLocal;
    }
    if (in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) || in(0x64400000, 10)) {
        return AddressClass::Private;
    }
    return AddressClass::Public;
}

AddressClass ClassOfIpv6(const in6_addr& address) {
    const std::uint8_t* bytes = address.s6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&address)) {
        std::uint32_t v4 = 0;
        std::memcpy(&v4, bytes + 12, sizeof v4);
        return ClassOfIpv4(ntohl(v4));
    }
    if (IN6_IS_ADDR_LOOPBACK(&address) || IN6_IS_ADDR_UNSPECIFIED(&address)) {
        return AddressClass::Loopback;
    }
    if (IN6_IS_ADDR_LINKLOCAL(&address)) {
        return AddressClass::LinkLocal;
    }
    // Unique local (fc00::/7) and the site-local addresses that came before it.
    if ((bytes[0] & 0xFE) == 0xFC || IN6_IS_ADDR_SITELOCAL(&address)) {
        return AddressClass::Private;
    }
    return AddressClass::Public;
}

// The host of a URL as written: between "://" (and a login) and the port or path; an IPv6 address without its
// brackets.
std::string_view UrlHost(std::string_view url) {
    const auto scheme = url.find("://");
    std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        rest.remove_prefix(at + 1);
    }
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        return close == std::string_view::npos ? std::string_view() : rest.substr(1, close - 1);
    }
    return rest.substr(0, rest.find(':'));
}

bool IsLocalhostName(std::string_view host) {
    if (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    constexpr std::string_view kName = "localhost";
    return EqualsNoCase(host, kName) || (host.size() > kName.size() && host[host.size() - kName.size() - 1] == '.' &&
                                         EqualsNoCase(host.substr(host.size() - kName.size()), kName));
}

} // namespace

AddressClass ClassOfAddress(const sockaddr& address) {
    if (address.sa_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        return ClassOfIpv4(ntohl(v4.sin_addr.s_addr));
    }
    if (address.sa_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof v6);
        return ClassOfIpv6(v6.sin6_addr);
    }
    return AddressClass::Public;
}

std::optional<AddressClass> ClassOfUrlHost(std::string_view url, AddressClassifier classify) {
    const std::string host(UrlHost(url));
    if (IsLocalhostName(host)) {
        return AddressClass::Loopback;
    }
    // A zone ("fe80::1%25eth0") belongs to a link-local address; the address is what counts.
    const std::string address = host.substr(0, host.find('%'));
    sockaddr_in6 v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        return classify(reinterpret_cast<const sockaddr&>(v6));
    }
    // Also the short and numeric forms ("127.1", "2130706433", "0x7f.0.0.1"), which URL readers take as addresses.
    sockaddr_in v4{};
    if (::inet_aton(address.c_str(), &v4.sin_addr) != 0) {
        v4.sin_family = AF_INET;
        return classify(reinterpret_cast<const sockaddr&>(v4));
    }
    return std::nullopt;
}

} // namespace zandel
