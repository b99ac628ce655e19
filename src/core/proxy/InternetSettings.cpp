#include "core/proxy/InternetSettings.h"

namespace zandel {

bool ApplyProxy(IInternetSettings& internet, int useProxy, const std::string& address, bool socksToo) {
    InternetOptionList list;
    list.proxyServer = address;
    list.socksToo = socksToo;
    list.flags = useProxy != 0 ? kProxyTypeProxy : kProxyTypeDirect;
    bool changed = true;
    // Without a dial-up connection there is nothing to name: only the local network's setting is made.
    if (const auto profile = internet.ReadDialUpProfileName()) {
        list.connection = profile;
        changed = internet.SetOption(kOptionPerConnection, list) && changed;
        changed = internet.SetOption(kOptionSettingsChanged, list) && changed;
    }
    list.connection.reset();
    changed = internet.SetOption(kOptionPerConnection, list) && changed;
    changed = internet.SetOption(kOptionSettingsChanged, list) && changed;
    return changed;
}

std::string LoginNotice(const ProxyLoginFate& fate) {
    constexpr const char* kLeftOut = "ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼ設定にはﾛｸﾞｲﾝを設定できないため、ﾛｸﾞｲﾝなしで設定しました";
    if (!fate.keptByGnome) {
        return fate.leftOut ? kLeftOut : "";
    }
    std::string notice = "ﾛｸﾞｲﾝ(ﾕｰｻﾞｰ名とﾊﾟｽﾜｰﾄﾞ)はGNOMEのﾌﾟﾛｷｼ設定(org.gnome.system.proxy.http)に保存しました\n"
                         "ここはあなたのどのﾌﾟﾛｸﾞﾗﾑからも読めます。ﾌﾟﾛｷｼをOFFにすると消します";
    if (fate.leftOut) {
        notice += "\nKDEのﾌﾟﾛｷｼ設定にはﾛｸﾞｲﾝを設定できないため、ﾛｸﾞｲﾝなしで設定しました";
    }
    return notice;
}

} // namespace zandel
