// The list entry grammar against a model: an entry built from parts (kind, login, host, port), written in the scheme
// form with every byte of the login escaped, must read back to exactly those parts; any text at all reads back from
// what the list keeps of it, and a plain "host:port" stays byte for byte what it was.
#include <cstdio>
#include <optional>
#include <string>

#include "core/util/ProxyAddress.h"
#include "fuzz/FuzzSupport.h"

using zandel::ProxyAddress;
using zandel::ProxyKind;
using zandel::fuzz::Require;

namespace {

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (const unsigned char c : text) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        escaped += hex;
    }
    return escaped;
}

// A host of the model: a name of letters, digits, dots and hyphens, or an IPv4 or IPv6 address.
std::string ModelHost(const std::string& raw, std::uint8_t pick) {
    switch (pick % 3) {
    case 0:
        return "[2001:db8::" + std::to_string(raw.size() % 65536 % 9999 + 1) + "]";
    case 1:
        return std::to_string(raw.size() % 256) + ".0.0." + std::to_string(pick);
    default:
        break;
    }
    std::string name;
    for (const char c : raw) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (allowed && name.size() < 200) {
            name += c;
        }
    }
    return name.empty() ? "h" : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandel::fuzz::Input input(data, size);
    const std::uint8_t options = input.Byte();
    const std::uint8_t pick = input.Byte();
    const std::string user = input.Text();
    const std::string password = input.Text();
    const std::string raw = input.Rest();

    // The model's entry, written out and read back.
    const ProxyKind kind = static_cast<ProxyKind>(options % 5);
    const bool login = (options & 0x08) != 0;
    const std::string host = ModelHost(raw, pick);
    const std::string port = std::to_string(1 + (options * 257 + pick) % 65535);
    std::string text = std::string(zandel::ProxySchemeName(kind)) + "://";
    if (login) {
        text += Escaped(user) + ":" + Escaped(password) + "@";
    }
    text += host + ":" + port;
    const std::optional<ProxyAddress> built = zandel::ParseProxyAddress(text + " a comment");
    Require(built.has_value(), "a well-formed scheme entry is read");
    Require(built->form == ProxyAddress::Form::Scheme && built->kind == kind, "its scheme is kept");
    Require(built->host == host && built->port == port, "host and port as written");
    Require(built->login == login && (!login || (built->user == user && built->password == password)),
            "the login unescaped byte for byte");
    Require(zandel::ListAddress(*built) == text, "the list keeps the entry as written, without its comment");
    Require(zandel::ShownAddress(*built) ==
                std::string(zandel::ProxySchemeName(kind)) + "://" + (login ? user + "@" : "") + host + ":" + port,
            "the shown entry is scheme, user, host and port: never the password");

    // Any text: what the list keeps of an entry reads back as the same entry.
    if (const std::optional<ProxyAddress> any = zandel::ParseProxyAddress(raw)) {
        const std::string kept = zandel::ListAddress(*any);
        const std::optional<ProxyAddress> again = zandel::ParseProxyAddress(kept);
        Require(again.has_value(), "what the list keeps is read again");
        Require(again->host == any->host && again->port == any->port && again->kind == any->kind &&
                    again->login == any->login && again->user == any->user && again->password == any->password,
                "and it is the same entry");
        Require(any->form == ProxyAddress::Form::Plain ||
                    (!any->port.empty() && any->port.size() <= 5 &&
                     any->port.find_first_not_of("0123456789") == std::string::npos),
                "every form but the plain one has a port number");
        if (any->form == ProxyAddress::Form::Plain) {
            Require(kept == raw.substr(0, raw.find_first_of(" \t")), "a plain entry stays byte for byte");
        }
    }
    return 0;
}
