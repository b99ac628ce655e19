#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/util/ProxyAddress.h"

namespace zandel {

// How the serve picks an upstream among those fit for a connection.
enum class ServeStrategy : unsigned char { Fastest, RoundRobin, Random, Weighted };
// "fastest", "round-robin", "random", "weighted".
const char* ServeStrategyName(ServeStrategy strategy);
std::optional<ServeStrategy> ServeStrategyFromName(std::string_view name);

// The one login every client must give when the serve has one: HTTP's Proxy-Authorization (Basic) or SOCKS5's
// RFC 1929 user and password. SOCKS4 carries no password and is refused then.
struct ServeLogin {
    std::string user;
    std::string password;
};

// What a client may ask for in its proxy login's user name, words joined by commas: "session-NAME" keeps the
// upstream NAME was given for the sticky minutes, whatever the client's address and site and apart from every other
// name; "type-http", "type-socks4" (4 and 4a) or "type-socks5" (5 and 5h) takes upstreams of that kind only.
struct ServeWishes {
    std::string session;
    std::optional<ProxyKind> kind;
};
inline constexpr std::size_t kServeMaxSessionName = 64;

// The wishes in a client's user name. With a login (`loginUser` not empty) the name is the login's user alone, or
// it with a comma and the words after it ("me,session-a,type-socks5"); nothing for any other name. Without one the
// name is the words alone; a name that holds no word of either kind is no wish (empty wishes, as a client with a
// login of its own for some other proxy sends it), and one with a word of either kind that is not whole or known is
// nothing.
std::optional<ServeWishes> ParseServeWishes(std::string_view user, std::string_view loginUser);
// Whether an upstream of `kind` is of the kind a client asked for.
bool KindGranted(const ServeWishes& wishes, ProxyKind kind);

inline constexpr const char* kServeDefaultHost = "127.0.0.1";
inline constexpr std::uint16_t kServeDefaultPort = 8181;
inline constexpr int kServeDefaultTries = 3;
inline constexpr int kServeMaxTries = 20;
inline constexpr int kServeDefaultStickyMinutes = 10;
inline constexpr int kServeMaxStickyMinutes = 1440;
inline constexpr int kServeMaxClients = 1024;
// A request head, or a SOCKS greeting, longer than this is refused: nobody's browser sends one.
inline constexpr std::size_t kServeMaxHead = std::size_t{64} * 1024;

struct ServeConfig {
    std::string host = kServeDefaultHost; // a literal address, never a name
    std::uint16_t port = kServeDefaultPort;
    int tries = kServeDefaultTries;
    ServeStrategy strategy = ServeStrategy::Weighted;
    int stickyMinutes = kServeDefaultStickyMinutes; // 0: every connection chooses afresh
    std::vector<std::uint16_t> ports{80, 443};      // the only ports a client may ask for
    std::optional<ServeLogin> login;
    int timeOutSeconds = 30; // the run's time-out: the longest an upstream is given to connect or to answer
    int maxClients = kServeMaxClients;
    int greetingSeconds = 15;    // the whole greeting or request head, however slowly it drips
    int idleSeconds = 300;       // a relay with no byte either way
    int proxyDownSeconds = 60;   // an upstream that failed as a whole
    int targetDownSeconds = 600; // an upstream that failed for one target host
};

// Whether the text is a loopback address (127.0.0.0/8, ::1), which the serve may listen on without a login.
bool IsLoopbackHost(std::string_view host);

struct ServeAddress {
    std::string host; // without brackets
    std::uint16_t port = 0;
};
// "[HOST:]PORT" as --serve takes it: the host a literal IPv4 address, an IPv6 address in brackets, or
// "localhost"; the loopback address when left out. Nothing for anything else (a name is never looked up).
std::optional<ServeAddress> ParseServeAddress(std::string_view text);

// "80,443,8080": ports from 1 to 65535, at least one. Nothing for anything else.
std::optional<std::vector<std::uint16_t>> ParseServePorts(std::string_view text);

// "user:password" on the file's first line; both non-empty, each at most 255 bytes (what SOCKS5 carries).
std::optional<ServeLogin> ParseServeLogin(std::string_view text);

} // namespace zandel
