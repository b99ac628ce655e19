#include "platform/GnomeInternetSettings.h"

#include <array>
#include <memory>
#include <utility>

#include <gio/gio.h>

#include "core/proxy/ProxyServerText.h"

namespace zandel {

namespace {

constexpr std::array<const char*, 3> kChildren = {".http", ".https", ".ftp"};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using SettingsPtr = std::unique_ptr<GSettings, ObjectUnref>;

// A bare g_settings_new on a schema that is not installed ends the process; looking it up first does not.
SettingsPtr OpenSettings(const std::string& schemaId) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return nullptr;
    }
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId.c_str(), TRUE);
    if (schema == nullptr) {
        return nullptr;
    }
    SettingsPtr settings(g_settings_new_full(schema, nullptr, nullptr));
    g_settings_schema_unref(schema);
    return settings;
}

bool HasKey(GSettings* settings, const char* key) {
    GSettingsSchema* schema = nullptr;
    g_object_get(settings, "settings-schema", &schema, nullptr);
    const bool has = schema != nullptr && g_settings_schema_has_key(schema, key);
    if (schema != nullptr) {
        g_settings_schema_unref(schema);
    }
    return has;
}

} // namespace

GnomeInternetSettings::GnomeInternetSettings(std::string schemaId) : m_schemaId(std::move(schemaId)) {}

bool GnomeInternetSettings::SchemaAvailable() const {
    if (!OpenSettings(m_schemaId)) {
        return false;
    }
    for (const char* child : kChildren) {
        if (!OpenSettings(m_schemaId + child)) {
            return false;
        }
    }
    return true;
}

bool GnomeInternetSettings::SetOption(int option, const InternetOptionList& list) {
    if (option == kOptionSettingsChanged) {
        g_settings_sync();
        return true;
    }
    // A named connection would be a dial-up one, which this desktop does not have.
    if (option == kOptionPerConnection && !list.connection) {
        WriteProxy(list);
    }
    return true;
}

void GnomeInternetSettings::WriteProxy(const InternetOptionList& list) {
    m_fate = {};
    SettingsPtr proxy = OpenSettings(m_schemaId);
    std::array<SettingsPtr, kChildren.size()> children;
    for (std::size_t i = 0; i < kChildren.size(); ++i) {
        children[i] = OpenSettings(m_schemaId + kChildren[i]);
    }
    if (!proxy || !HasKey(proxy.get(), "mode")) {
        return;
    }
    const ProxyServerParts parts = ParseProxyServer(list.proxyServer);
    const bool socks = IsSocks(parts.kind);
    SettingsPtr socksChild = OpenSettings(m_schemaId + ".socks");
    if (socksChild && (!HasKey(socksChild.get(), "host") || !HasKey(socksChild.get(), "port"))) {
        socksChild.reset();
    }
    GSettings* http = children[0].get();

    // Delayed, so that the browsers never see the new mode with the old address or the other way round.
    g_settings_delay(proxy.get());
    for (const SettingsPtr& child : children) {
        if (!child || !HasKey(child.get(), "host") || !HasKey(child.get(), "port")) {
            continue;
        }
        g_settings_delay(child.get());
        // A SOCKS proxy carries every protocol: the HTTP keys stay empty, or GNOME would send HTTP to it.
        g_settings_set_string(child.get(), "host", socks ? "" : parts.host.c_str());
        g_settings_set_int(child.get(), "port", socks ? 0 : parts.port);
    }
    if (socksChild) {
        g_settings_delay(socksChild.get());
        // An HTTP proxy clears a SOCKS proxy set before it, which would otherwise still carry what HTTP does not;
        // one that speaks SOCKS as well is both.
        const bool socksKey = socks || list.socksToo;
        gchar* before = g_settings_get_string(socksChild.get(), "host");
        if (socksKey || (before != nullptr && *before != '\0')) {
            g_settings_set_string(socksChild.get(), "host", socksKey ? parts.host.c_str() : "");
            g_settings_set_int(socksChild.get(), "port", socksKey ? parts.port : 0);
        }
        g_free(before);
    }
    // The HTTP proxy's login, which every program of the user may read here: set only while the proxy is used,
    // cleared where an earlier one was set.
    const bool use = list.flags == kProxyTypeProxy;
    if (http != nullptr && HasKey(http, "use-authentication") && HasKey(http, "authentication-user") &&
        HasKey(http, "authentication-password")) {
        const bool login = parts.login && !socks && use;
        m_fate.keptByGnome = login;
        if (login || g_settings_get_boolean(http, "use-authentication")) {
            g_settings_set_boolean(http, "use-authentication", login);
            g_settings_set_string(http, "authentication-user", login ? parts.user.c_str() : "");
            g_settings_set_string(http, "authentication-password", login ? parts.password.c_str() : "");
        }
    }
    m_fate.leftOut = parts.login && use && !m_fate.keptByGnome;
    g_settings_set_string(proxy.get(), "mode", use ? "manual" : "none");
    for (const SettingsPtr& child : children) {
        if (child) {
            g_settings_apply(child.get());
        }
    }
    if (socksChild) {
        g_settings_apply(socksChild.get());
    }
    g_settings_apply(proxy.get());
}

} // namespace zandel
