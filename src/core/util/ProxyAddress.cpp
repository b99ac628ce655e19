#include "core/util/ProxyAddress.h"

#include <array>

#include "core/util/HostPort.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

struct KindName {
    ProxyKind kind;
    const char* name;
};

constexpr std::array<KindName, 5> kKindNames = {{
    {ProxyKind::Http, "http"},
    {ProxyKind::Socks4, "socks4"},
    {ProxyKind::Socks4a, "socks4a"},
    {ProxyKind::Socks5, "socks5"},
    {ProxyKind::Socks5h, "socks5h"},
}};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            plain += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        plain += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return plain;
}

// Host and port of every form but the plain one: the port must be a number.
bool TakeHostPort(std::string_view text, ProxyAddress& address) {
    const std::optional<HostPortText> parts = SplitHostPort(text);
    if (!parts || parts->host.empty() || !ParsePortNumber(parts->port)) {
        return false;
    }
    address.host = std::string(parts->host);
    address.port = std::string(parts->port);
    return true;
}

void TakeLogin(std::string_view user, std::string_view password, ProxyAddress& address) {
    address.login = true;
    address.user = std::string(user);
    address.password = std::string(password);
}

std::optional<ProxyAddress> ParseScheme(std::string_view text, std::size_t mark, ProxyAddress address) {
    const std::optional<ProxyKind> kind = ProxyKindFromName(text.substr(0, mark));
    if (!kind) {
        return std::nullopt;
    }
    address.form = ProxyAddress::Form::Scheme;
    address.kind = *kind;
    std::string_view rest = text.substr(mark + 3);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    // An '@' inside a password is meant to be escaped; where it is not, the last one still ends the login.
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view login = rest.substr(0, at);
        const std::size_t colon = login.find(':');
        const std::optional<std::string> user = Unescape(login.substr(0, colon));
        const std::optional<std::string> password =
            Unescape(colon == std::string_view::npos ? std::string_view() : login.substr(colon + 1));
        if (!user || !password) {
            return std::nullopt;
        }
        TakeLogin(*user, *password, address);
        rest = rest.substr(at + 1);
    }
    if (!TakeHostPort(rest, address)) {
        return std::nullopt;
    }
    return address;
}

// "host:port:user:password", taken raw: a port number, then the user up to the next colon and the password after it,
// '@' and ':' and all. With `strict`, a user holding an '@' is no seller's: such a text is a login before the host.
bool TakeSellersForm(const HostPortText& parts, bool strict, ProxyAddress& address) {
    const std::size_t colon = parts.port.find(':');
    const std::size_t second = colon == std::string_view::npos ? colon : parts.port.find(':', colon + 1);
    if (second == std::string_view::npos || !ParsePortNumber(parts.port.substr(0, colon))) {
        return false;
    }
    const std::string_view user = parts.port.substr(colon + 1, second - colon - 1);
    if (strict && user.find('@') != std::string_view::npos) {
        return false;
    }
    address.form = ProxyAddress::Form::LoginAfter;
    address.host = std::string(parts.host);
    address.port = std::string(parts.port.substr(0, colon));
    TakeLogin(user, parts.port.substr(second + 1), address);
    return true;
}

bool TakeLoginBefore(std::string_view text, ProxyAddress& address) {
    const std::size_t at = text.rfind('@');
    const std::string_view login = text.substr(0, at);
    const std::size_t colon = login.find(':');
    if (at == std::string_view::npos || colon == std::string_view::npos) {
        return false;
    }
    address.form = ProxyAddress::Form::LoginBefore;
    TakeLogin(login.substr(0, colon), login.substr(colon + 1), address);
    return TakeHostPort(text.substr(at + 1), address);
}

} // namespace

const char* ProxySchemeName(ProxyKind kind) {
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "http";
}

std::optional<ProxyKind> ProxyKindFromName(std::string_view name) {
    for (const KindName& entry : kKindNames) {
        if (EqualsNoCase(name, entry.name)) {
            return entry.kind;
        }
    }
    return std::nullopt;
}

bool IsSocks(ProxyKind kind) {
    return kind != ProxyKind::Http;
}

std::optional<ProxyAddress> ParseProxyAddress(std::string_view text) {
    text = text.substr(0, FindAnyOf(text, " \t"));
    ProxyAddress address;
    address.written = std::string(text);
    if (const std::size_t mark = text.find("://"); mark != std::string_view::npos) {
        return ParseScheme(text, mark, std::move(address));
    }
    const std::optional<HostPortText> parts = SplitHostPort(text);
    const bool hostPort = parts && !parts->host.empty() && !parts->port.empty();
    if (text.find('@') != std::string_view::npos) {
        // A seller's password may hold an '@': a text that opens with a host and a port number before a user and
        // a password is theirs, and only one that is not reads as a login before the host.
        ProxyAddress login = address;
        if ((hostPort && TakeSellersForm(*parts, true, address)) || TakeLoginBefore(text, login)) {
            return address.login ? address : login;
        }
        if (hostPort && TakeSellersForm(*parts, false, address)) {
            return address;
        }
        return std::nullopt;
    }
    if (!hostPort) {
        return std::nullopt;
    }
    if (TakeSellersForm(*parts, false, address)) {
        return address;
    }
    // A port text of any other shape stays the plain form's own, as lists have always had it; an IPv6 address,
    // which lists of old never held, takes nothing but a port number.
    if (IsBracketedHost(parts->host) && !ParsePortNumber(parts->port)) {
        return std::nullopt;
    }
    address.host = std::string(parts->host);
    address.port = std::string(parts->port);
    return address;
}

std::string ListAddress(const ProxyAddress& address) {
    if (address.form != ProxyAddress::Form::Plain) {
        return address.written;
    }
    const std::string plain = address.host + ":" + address.port;
    return address.kind == ProxyKind::Http ? plain : std::string(ProxySchemeName(address.kind)) + "://" + plain;
}

std::string ShownAddress(const ProxyAddress& address) {
    if (address.form == ProxyAddress::Form::Plain && address.kind == ProxyKind::Http) {
        return address.written;
    }
    std::string shown = address.form == ProxyAddress::Form::Scheme || address.kind != ProxyKind::Http
                            ? std::string(ProxySchemeName(address.kind)) + "://"
                            : std::string();
    if (address.login) {
        shown += address.user + "@";
    }
    return shown + address.host + ":" + address.port;
}

const char* EntryKindName(std::string_view entry) {
    const std::optional<ProxyAddress> parsed = ParseProxyAddress(entry.substr(0, FindAnyOf(entry, " \t")));
    return ProxySchemeName(parsed ? parsed->kind : ProxyKind::Http);
}

bool EntryHasScheme(std::string_view entry) {
    // Cheap before the parse: a list of a thousand plain rows is scanned whenever an address changes.
    if (entry.find("://") == std::string_view::npos) {
        return false;
    }
    const std::optional<ProxyAddress> parsed = ParseProxyAddress(entry.substr(0, FindAnyOf(entry, " \t")));
    return parsed && parsed->form == ProxyAddress::Form::Scheme;
}

} // namespace zandel
