#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "core/serve/ServeConfig.h"
#include "core/settings/PageFields.h"

namespace zandel {

struct AppSettings;

// The field of "ﾛｰｶﾙﾌﾟﾛｷｼ" a problem lies in, for the page to put the focus there.
enum class ServeField : unsigned char { None, Listen, Ports, User, Password };

struct ServePageCheck {
    ServeField field = ServeField::None;
    std::string message; // empty: the fields may be stored
};

// Whether the page's fields make a serve: an address and ports as --serve and --serve-ports take them, a login
// whole or not at all, and a login wherever other machines reach the port.
ServePageCheck CheckServePage(const ServePageFields& fields);

// The local proxy the window serves, as the settings describe it.
struct ServeSetup {
    ServeConfig config;
    bool favourites = false; // the live favourites rather than the list's live rows
    bool allowLeaky = false;
};

// The setup, or what is wrong with the settings (a file edited by hand) in the page's words.
std::variant<ServeSetup, std::string> ServeSetupOf(const AppSettings& settings);

// The local address as a client writes it: "127.0.0.1:8181", "[::1]:8181".
std::string ServeAddressText(const std::string& host, std::uint16_t port);

// What the desktop's proxy is set to for the local proxy: the address a program of this machine reaches it on
// (loopback for a port open on every address), with the login where it has one.
std::string DesktopEntryOf(const ServeConfig& config, std::uint16_t port);

} // namespace zandel
