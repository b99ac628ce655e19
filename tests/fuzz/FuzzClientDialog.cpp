// The serve's reader of client greetings against a model of its own: whatever the bytes and however the network
// cuts them into pieces, the dialog says the same things and ends the same way; a target it names has an allowed
// port and a host of plain characters; a serve with a login never names a target to a client that did not give it.
#include <string>
#include <string_view>

#include "core/serve/ClientDialog.h"
#include "fuzz/FuzzSupport.h"

using zandel::ClientDialog;
using zandel::fuzz::Require;

namespace {

struct Outcome {
    std::string said; // every reply, then the refusal
    ClientDialog::Step::Kind end = ClientDialog::Step::Kind::More;
    std::string host;
    std::uint16_t port = 0;
    std::string left; // what is left for the target
};

// Feeds `bytes` in pieces of `piece` (all at once for 0) until the dialog ends or the bytes do.
Outcome Talk(const zandel::ServeConfig& config, std::string_view bytes, std::size_t piece) {
    ClientDialog dialog(config);
    Outcome outcome;
    std::string in;
    std::size_t at = 0;
    while (outcome.end == ClientDialog::Step::Kind::More && at < bytes.size()) {
        const std::size_t take = piece == 0 ? bytes.size() : piece;
        in.append(bytes.substr(at, take));
        at += std::min(take, bytes.size() - at);
        while (true) {
            const ClientDialog::Step step = dialog.Feed(in);
            outcome.said += step.bytes;
            if (step.kind != ClientDialog::Step::Kind::Reply) {
                outcome.end = step.kind;
                break;
            }
        }
    }
    if (outcome.end == ClientDialog::Step::Kind::Target) {
        outcome.host = dialog.Target().host;
        outcome.port = dialog.Target().port;
        outcome.left = in + std::string(bytes.substr(at));
    }
    return outcome;
}

// Whether a Base64 text in the bytes, from any of its places on, decodes to a login with the serve's password: the
// user name before it may carry wishes ("me,session-a").
bool HasEncodedPassword(std::string_view bytes) {
    constexpr std::string_view kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t start = 0; start < bytes.size(); ++start) {
        std::string decoded;
        unsigned bits = 0;
        int count = 0;
        for (std::size_t i = start; i < bytes.size() && kDigits.find(bytes[i]) != std::string_view::npos; ++i) {
            bits = ((bits << 6) | static_cast<unsigned>(kDigits.find(bytes[i]))) & 0xFFFFu;
            count += 6;
            if (count >= 8) {
                count -= 8;
                decoded.push_back(static_cast<char>((bits >> count) & 0xFFu));
            }
        }
        if (decoded.find(":secret") != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandel::fuzz::Input input(data, size);
    const std::uint8_t options = input.Byte();
    const std::size_t piece = input.Byte() % 8;
    const std::string bytes = input.Rest();
    zandel::ServeConfig config;
    if ((options & 1) != 0) {
        config.login = zandel::ServeLogin{"me", "secret"};
    }

    const Outcome whole = Talk(config, bytes, 0);
    const Outcome cut = Talk(config, bytes, piece);
    Require(whole.said == cut.said && whole.end == cut.end, "the pieces do not change what is said");
    Require(whole.host == cut.host && whole.port == cut.port && whole.left == cut.left,
            "the pieces do not change the target or its early bytes");
    if (whole.end == ClientDialog::Step::Kind::Target) {
        Require(whole.port == 80 || whole.port == 443, "a target's port is an allowed one");
        Require(!whole.host.empty(), "a target has a host");
        for (const char c : whole.host) {
            Require(c > 0x20 && c < 0x7f, "a host is plain characters");
        }
        if (config.login) {
            Require(bytes.find("secret") != std::string::npos || HasEncodedPassword(bytes),
                    "a login is given before any target");
        }
    }
    return 0;
}
