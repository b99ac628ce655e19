#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zandel {

// The protocols a proxy of the list speaks. A plain "host:port" is HTTP.
enum class ProxyKind : unsigned char { Http, Socks4, Socks4a, Socks5, Socks5h };

// "http", "socks4", "socks4a", "socks5", "socks5h".
const char* ProxySchemeName(ProxyKind kind);
// Letter case ignored.
std::optional<ProxyKind> ProxyKindFromName(std::string_view name);
bool IsSocks(ProxyKind kind);

// The longest entry a list line may hold; a longer one is refused whole, never cut into rows. Room for SOCKS5's
// two 255-byte login fields and more, so that a login past them meets its own reason.
inline constexpr std::size_t kMaxEntryBytes = 1024;

// One entry of the list as the user wrote it. The forms:
//   host:port [comment]                     plain HTTP, exactly as lists have always held it
//   scheme://[user[:password]@]host:port    user and password percent-escaped
//   user:password@host:port                 HTTP with a login
//   host:port:user:password                 HTTP with a login, as proxy sellers hand them out, taken raw: the
//                                           password runs to the end and may hold '@' and ':'
// An IPv6 host stands in brackets in every form, and the host keeps them. Everything after the first blank or
// tab is a comment.
struct ProxyAddress {
    enum class Form { Plain, Scheme, LoginBefore, LoginAfter };
    Form form = Form::Plain;
    ProxyKind kind = ProxyKind::Http;
    std::string host;
    std::string port; // a number from 1 to 65535 in every form but the plain one, which takes it as written
    bool login = false;
    std::string user; // unescaped
    std::string password;
    std::string written; // the entry without its comment
};

// Nothing for an entry none of the forms reads: no host or port, a bracket around anything but an IPv6 address,
// an unknown scheme, a broken escape, a port that is no number where a login or scheme is given.
std::optional<ProxyAddress> ParseProxyAddress(std::string_view text);

// The entry as the list keeps it after a check: a plain one as "host:port" (its comment dropped), one of the
// other forms as written, and a plain one whose kind was found by detection with that kind's scheme.
std::string ListAddress(const ProxyAddress& address);
// The entry for the eyes of anyone watching (title, messages): scheme and user kept, never the password.
std::string ShownAddress(const ProxyAddress& address);
// The kind a list entry names: its scheme's name, "http" for any other form or an entry no form reads. A comment
// after the first blank or tab is passed over.
const char* EntryKindName(std::string_view entry);
// Whether a list entry is written with a scheme ("socks5://...").
bool EntryHasScheme(std::string_view entry);

} // namespace zandel
