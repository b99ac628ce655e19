#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zandel {

// SOCKS5's version byte, and SOCKS4's code of a granted CONNECT.
inline constexpr std::uint8_t kSocks5 = 5;
inline constexpr std::uint8_t kGranted4 = 90;

// How much of a SOCKS answer is at hand: more to read (`need` bytes in all), a whole answer (`need` bytes long,
// with its code), or bytes that no SOCKS proxy sends.
struct SocksAnswer {
    enum class State { More, Whole, Bad };
    State state = State::More;
    std::size_t need = 0;
    std::uint8_t code = 0;
};
// SOCKS5's method choice (version 5, the method); the login's answer (version 1, 0 for success).
SocksAnswer ReadSocks5Choice(std::string_view bytes);
SocksAnswer ReadSocksLoginAnswer(std::string_view bytes);
// SOCKS5's answer to CONNECT: whole once its bound address is, or at its second byte for a refusal.
SocksAnswer ReadSocks5Reply(std::string_view bytes);
// SOCKS4's eight bytes: version 0 (4 from some proxies), 90 granted, 91 to 93 refused.
SocksAnswer ReadSocks4Reply(std::string_view bytes);

} // namespace zandel
