#include "core/proxy/InternetSettings.h"

namespace zandel {

bool ApplyProxy(IInternetSettings& internet, int useProxy, const std::string& address) {
    InternetOptionList list;
    list.proxyServer = address;
    list.flags = useProxy != 0 ? kProxyTypeProxy : kProxyTypeDirect;
    // Without a dial-up connection there is nothing to name: only the local network's setting is made.
    if (const auto profile = internet.ReadDialUpProfileName()) {
        list.connection = profile;
        internet.SetOption(kOptionPerConnection, list);
        internet.SetOption(kOptionSettingsChanged, list);
    }
    list.connection.reset();
    internet.SetOption(kOptionPerConnection, list);
    internet.SetOption(kOptionSettingsChanged, list);
    return true;
}

} // namespace zandel
