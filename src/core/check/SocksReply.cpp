#include "core/check/SocksReply.h"

namespace zandel {

namespace {

SocksAnswer Whole(std::size_t need, std::uint8_t code) {
    return {SocksAnswer::State::Whole, need, code};
}
SocksAnswer More(std::size_t need) {
    return {SocksAnswer::State::More, need, 0};
}
SocksAnswer Bad() {
    return {SocksAnswer::State::Bad, 0, 0};
}

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

} // namespace

SocksAnswer ReadSocks5Choice(std::string_view bytes) {
    if (bytes.empty()) {
        return More(2);
    }
    if (Byte(bytes, 0) != kSocks5) {
        return Bad();
    }
    return bytes.size() < 2 ? More(2) : Whole(2, Byte(bytes, 1));
}

SocksAnswer ReadSocksLoginAnswer(std::string_view bytes) {
    if (bytes.empty()) {
        return More(2);
    }
    // The sub-negotiation's version is 1; some proxies answer with SOCKS's 5 and mean the same.
    if (Byte(bytes, 0) != 1 && Byte(bytes, 0) != kSocks5) {
        return Bad();
    }
    return bytes.size() < 2 ? More(2) : Whole(2, Byte(bytes, 1));
}

SocksAnswer ReadSocks5Reply(std::string_view bytes) {
    if (bytes.empty()) {
        return More(2);
    }
    if (Byte(bytes, 0) != kSocks5) {
        return Bad();
    }
    if (bytes.size() < 2) {
        return More(2);
    }
    if (Byte(bytes, 1) != 0) {
        // A refusal is whole at its code: what follows may never come.
        return Whole(2, Byte(bytes, 1));
    }
    if (bytes.size() < 5) {
        return More(5);
    }
    std::size_t need = 0;
    switch (Byte(bytes, 3)) {
    case 1:
        need = 4 + 4 + 2;
        break;
    case 3:
        need = 4 + 1 + Byte(bytes, 4) + 2;
        break;
    case 4:
        need = 4 + 16 + 2;
        break;
    default:
        return Bad();
    }
    return bytes.size() < need ? More(need) : Whole(need, 0);
}

SocksAnswer ReadSocks4Reply(std::string_view bytes) {
    if (bytes.empty()) {
        return More(8);
    }
    if (Byte(bytes, 0) != 0 && Byte(bytes, 0) != 4) {
        return Bad();
    }
    if (bytes.size() < 2) {
        return More(8);
    }
    const std::uint8_t code = Byte(bytes, 1);
    if (code < kGranted4 || code > 93) {
        return Bad();
    }
    return bytes.size() < 8 ? More(8) : Whole(8, code);
}

} // namespace zandel
