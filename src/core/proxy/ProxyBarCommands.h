#pragma once

#include <functional>
#include <string>

namespace zandel {

struct AppSettings;
class IProxyBar;
class IRowStore;

// The proxy bar's state as the next start takes it up (ProxyOn, ProxyAddr).
void RecordProxyBar(AppSettings& settings, int use, const std::string& address);
// Puts `address` into the bar and hands it to the desktop with the bar's use flag, as "ﾌﾟﾛｷｼをﾁｪﾝｼﾞする" does with
// the selected row. False when the desktop refused it.
bool ChangeProxyTo(IProxyBar& bar, const std::string& address);
// The same with a favourite chosen elsewhere than in the favourites' menu (failover's switch): the menu marks it,
// as when the user picks it there.
bool ChangeToFavourite(IProxyBar& bar, const std::string& address, AppSettings& settings);

// What the proxy list does to the browser's proxy: a click offers the first selected address to the proxy
// bar, 32779 makes it the browser's proxy, 32780 switches the proxy on or off with the marked row's address,
// 200 switches it off keeping the bar's address, and a favourite chosen from a menu goes into the bar. No bar (the
// window is going) leaves everything as it is.
class ProxyBarCommands final {
public:
    ProxyBarCommands(IRowStore& rows, AppSettings& settings, std::function<IProxyBar*()> proxyBar);

    void OfferSelectedAddress(); // a left click in the list
    void ChangeProxy();          // 32779 "ﾌﾟﾛｷｼをﾁｪﾝｼﾞする(&G)"
    void ToggleProxy();          // 32780 "ﾌﾟﾛｷｼのON/OFF(&N)"
    void ProxyOff();             // 200 "ﾌﾟﾛｷｼ無効(&P)"
    void ChooseFavourite(int slot);

private:
    // The address of the first selected row from the top, or nothing when no row is selected.
    bool FirstSelectedAddress(std::string& address) const;

    IRowStore& m_rows;
    AppSettings& m_settings;
    std::function<IProxyBar*()> m_proxyBar;
};

} // namespace zandel
