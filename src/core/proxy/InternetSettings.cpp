#include "core/proxy/InternetSettings.h"

#include "core/proxy/ProxyServerText.h"

namespace zandel {

bool ApplyProxy(IInternetSettings& internet, int useProxy, const std::string& address) {
    InternetOptionList list;
    list.proxyServer = address;
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

std::string LoginLeftOutNotice(const std::string& address, bool httpLogin) {
    const ProxyServerParts parts = ParseProxyServer(address);
    if (!parts.login || (!IsSocks(parts.kind) && httpLogin)) {
        return {};
    }
    return "ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼ設定にはﾛｸﾞｲﾝを設定できないため、ﾛｸﾞｲﾝなしで設定しました";
}

} // namespace zandel
