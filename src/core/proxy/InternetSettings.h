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
    // The desktop's SOCKS proxy is set to the same address (the local proxy speaks HTTP and SOCKS on one port).
    bool socksToo = false;
};

// What the desktops' settings did with the login of a proxy they were handed: GNOME keeps an HTTP proxy's, where
// every program of the user may read it; KDE keeps none, and no desktop a SOCKS proxy's.
struct ProxyLoginFate {
    bool keptByGnome = false;
    bool leftOut = false; // a desktop took the proxy without its login
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
    // What became of the login of the proxy handed over last; nothing for a desktop that was not written.
    virtual ProxyLoginFate LoginFate() const { return {}; }
};

// Hands the proxy setting over: the dial-up connection first when there is one, then the local network,
// each followed by the announcement. When the proxy is switched off the address is still handed over, so
// the browser keeps it for the next time. False when any of it could not be changed.
bool ApplyProxy(IInternetSettings& internet, int useProxy, const std::string& address, bool socksToo = false);

// The message for a proxy with a login just applied: where the login was kept and who may read it there, and which
// desktop took the proxy without it; empty when no desktop's settings had a login to keep.
std::string LoginNotice(const ProxyLoginFate& fate);

// What the user is told, once per attempt, when the desktop's proxy could not be changed.
inline constexpr const char* kProxyNotChanged =
    "ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼ設定を変更できませんでした\nﾌﾞﾗｳｻﾞのﾌﾟﾛｷｼは以前のままです";

} // namespace zandel
