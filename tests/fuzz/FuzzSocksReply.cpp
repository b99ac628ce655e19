// The SOCKS answer readers against a model: for any bytes, an answer is whole exactly where the protocol says it
// ends, never asks for fewer bytes than it has, and a refusal or a foreign version is told at its first bytes.
#include <string>
#include <string_view>

#include "core/check/SocksReply.h"
#include "fuzz/FuzzSupport.h"

using zandel::SocksAnswer;
using zandel::fuzz::Require;

namespace {

// The model's length of a SOCKS5 reply, or 0 while it is not known (or for a bad one).
std::size_t ModelReplyLength(std::string_view bytes) {
    if (bytes.size() < 5) {
        return 0;
    }
    switch (static_cast<unsigned char>(bytes[3])) {
    case 1:
        return 10;
    case 4:
        return 22;
    case 3:
        return 7 + static_cast<unsigned char>(bytes[4]);
    default:
        return 0;
    }
}

void CheckCommon(const SocksAnswer& answer, std::string_view bytes) {
    if (answer.state == SocksAnswer::State::More) {
        Require(answer.need > bytes.size(), "more is asked only while it is missing");
    }
    if (answer.state == SocksAnswer::State::Whole) {
        Require(answer.need <= bytes.size(), "a whole answer is at hand");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };

    const SocksAnswer reply = zandel::ReadSocks5Reply(bytes);
    CheckCommon(reply, bytes);
    if (!bytes.empty() && byte(0) != 5) {
        Require(reply.state == SocksAnswer::State::Bad, "a SOCKS5 reply of another version is bad at once");
    } else if (bytes.size() >= 2 && byte(1) != 0) {
        Require(reply.state == SocksAnswer::State::Whole && reply.code == byte(1) && reply.need == 2,
                "a refusal is whole at its code");
    } else if (bytes.size() >= 5) {
        const std::size_t length = ModelReplyLength(bytes);
        Require(length == 0
                    ? reply.state == SocksAnswer::State::Bad
                    : (reply.need == length && (reply.state == SocksAnswer::State::Whole) == (bytes.size() >= length)),
                "a granted reply ends after its bound address and port");
    } else {
        Require(reply.state == SocksAnswer::State::More, "a short reply waits for more");
    }

    const SocksAnswer four = zandel::ReadSocks4Reply(bytes);
    CheckCommon(four, bytes);
    const bool fourVersion = bytes.empty() || byte(0) == 0 || byte(0) == 4;
    const bool fourCode = bytes.size() < 2 || (byte(1) >= 90 && byte(1) <= 93);
    Require((four.state == SocksAnswer::State::Bad) == !(fourVersion && fourCode),
            "a SOCKS4 reply is bad exactly for another version or an unknown code");
    Require(four.state != SocksAnswer::State::Whole || (bytes.size() >= 8 && four.need == 8 && four.code == byte(1)),
            "a SOCKS4 reply is whole at eight bytes");

    for (const SocksAnswer& two : {zandel::ReadSocks5Choice(bytes), zandel::ReadSocksLoginAnswer(bytes)}) {
        CheckCommon(two, bytes);
        Require(two.state != SocksAnswer::State::Whole || (two.need == 2 && two.code == byte(1)),
                "a two-byte answer is whole at two bytes");
    }
    return 0;
}
