#pragma once

#include <optional>
#include <string>

#include "core/proxy/InternetSettings.h"

namespace zandel {

// The browser's proxy on a GNOME-like desktop: the system proxy that Chromium and Firefox ("use system proxy
// settings") follow. The per-connection option writes host and port of the http, https and ftp proxies and
// then the mode, 'manual' when the proxy is used and 'none' otherwise (the address is kept for the next
// time), all applied together; an HTTP proxy's login goes to the http proxy's authentication keys while the
// proxy is used; the settings-changed option flushes them to the store. A desktop without the
// schema, or a store that refuses the write, leaves everything as it was and says nothing.
class GnomeInternetSettings final : public IInternetSettings {
public:
    static constexpr const char* kProxySchema = "org.gnome.system.proxy";

    // `schemaId` names the proxy schema; its children are schemaId + ".http", ".https" and ".ftp".
    explicit GnomeInternetSettings(std::string schemaId = kProxySchema);

    bool SetOption(int option, const InternetOptionList& list) override;
    // Linux has no default dial-up connection.
    std::optional<std::string> ReadDialUpProfileName() override { return std::nullopt; }
    ProxyLoginFate LoginFate() const override { return m_fate; }

    // Whether the schema and its three children are installed.
    bool SchemaAvailable() const;

private:
    void WriteProxy(const InternetOptionList& list);

    std::string m_schemaId;
    ProxyLoginFate m_fate;
};

} // namespace zandel
