#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zandel {

// The browser's proxy setting as the Windows Internet-settings call takes it: one per-connection option
// list with the proxy server text and the proxy flags, for a named dial-up connection or for the local
// network (no name), followed by the announcement that settings changed.
inline constexpr int kOptionPerConnection = 75;
inline constexpr int kOptionSettingsChanged = 39;
inline constexpr int kPerConnFlags = 1;
inline constexpr int kPerConnProxyServer = 2;
inline constexpr int kProxyTypeDirect = 1;
inline constexpr int kProxyTypeProxy = 2;

struct InternetOptionList {
    std::optional<std::string> connection; // the dial-up connection's name, or none for the local network
    std::string proxyServer;               // "host:port" as the user gave it
    int flags = kProxyTypeDirect;          // kProxyTypeProxy when the proxy is to be used
};

// Where the option lists go: the desktop's proxy settings, or a recording for tests.
class IInternetSettings {
public:
    virtual ~IInternetSettings() = default;
    // option is kOptionPerConnection or kOptionSettingsChanged. False when the desktop keeps proxy settings but
    // they could not be changed (locked by the desktop's administrator, a failed write); a desktop without such
    // settings is no failure.
    virtual bool SetOption(int option, const InternetOptionList& list) = 0;
    // The default dial-up connection's name; none where there is no such thing.
    virtual std::optional<std::string> ReadDialUpProfileName() = 0;
    // Whether every desktop written to keeps an HTTP proxy's login (GNOME does, KDE does not).
    virtual bool CarriesHttpLogin() const { return false; }
};

// Hands the proxy setting over: the dial-up connection first when there is one, then the local network,
// each followed by the announcement. When the proxy is switched off the address is still handed over, so
// the browser keeps it for the next time. False when any of it could not be changed.
bool ApplyProxy(IInternetSettings& internet, int useProxy, const std::string& address);

// The message for a proxy applied without the login its entry gives, because the desktop has no place for it
// (a SOCKS login anywhere, an HTTP login where `httpLogin` is false); empty when nothing was left out.
std::string LoginLeftOutNotice(const std::string& address, bool httpLogin);

// What the user is told, once per attempt, when the desktop's proxy could not be changed.
inline constexpr const char* kProxyNotChanged =
    "ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼ設定を変更できませんでした\nﾌﾞﾗｳｻﾞのﾌﾟﾛｷｼは以前のままです";

} // namespace zandel
