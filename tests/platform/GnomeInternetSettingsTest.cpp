#include "platform/GnomeInternetSettings.h"

#include <gtest/gtest.h>

#include "core/settings/IniFile.h"
#include "DesktopSandbox.h"

namespace zandel {
namespace {

class GnomeInternetSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GnomeInternetSettings().SchemaAvailable()) {
            GTEST_SKIP() << "the desktop proxy schema is not installed (gsettings-desktop-schemas)";
        }
    }
    // The keyfile read as an INI file: the quotes of a text value go as the reading rule drops them.
    static IniFile Store() { return IniFile::Load(test::DesktopSandbox::KeyfilePath()); }
};

TEST_F(GnomeInternetSettingsTest, ProxyOnWritesEveryProtocolAndManualMode) {
    GnomeInternetSettings settings;
    ApplyProxy(settings, 1, "127.0.0.1:8080");
    const IniFile store = Store();
    EXPECT_EQ(store.GetString("system/proxy", "mode", ""), "manual");
    for (const char* child : {"system/proxy/http", "system/proxy/https", "system/proxy/ftp"}) {
        EXPECT_EQ(store.GetString(child, "host", ""), "127.0.0.1") << child;
        EXPECT_EQ(store.GetString(child, "port", ""), "8080") << child;
    }
}

TEST_F(GnomeInternetSettingsTest, ProxyOffKeepsTheAddressForNextTime) {
    GnomeInternetSettings settings;
    ApplyProxy(settings, 1, "127.0.0.1:8080");
    ApplyProxy(settings, 0, "127.0.0.2:3128 a comment");
    const IniFile store = Store();
    EXPECT_EQ(store.GetString("system/proxy", "mode", ""), "none");
    EXPECT_EQ(store.GetString("system/proxy/https", "host", ""), "127.0.0.2");
    EXPECT_EQ(store.GetString("system/proxy/https", "port", ""), "3128");
}

// GNOME's readers (GLib's resolver, the browsers) join host, colon and port into a URL or "PROXY host:port": an
// IPv6 host reads right only in its brackets.
TEST_F(GnomeInternetSettingsTest, AnIpv6HostKeepsItsBrackets) {
    GnomeInternetSettings settings;
    ApplyProxy(settings, 1, "[2001:db8::1]:8080");
    const IniFile store = Store();
    EXPECT_EQ(store.GetString("system/proxy/http", "host", ""), "[2001:db8::1]");
    EXPECT_EQ(store.GetString("system/proxy/http", "port", ""), "8080");
}

TEST_F(GnomeInternetSettingsTest, AnAddressWithoutPortSetsPortZero) {
    GnomeInternetSettings settings;
    ApplyProxy(settings, 1, "");
    const IniFile store = Store();
    EXPECT_EQ(store.GetString("system/proxy", "mode", ""), "manual");
    EXPECT_EQ(store.GetString("system/proxy/http", "host", "x"), "");
    EXPECT_EQ(store.GetString("system/proxy/http", "port", ""), "0");
}

// A SOCKS entry goes to the SOCKS keys alone; an HTTP one after it takes them back, and a login goes with HTTP.
TEST_F(GnomeInternetSettingsTest, SocksAndLoginEntriesGoToTheirOwnKeys) {
    GnomeInternetSettings settings;
    ApplyProxy(settings, 1, "socks5://u:p@127.0.0.3:1080");
    IniFile store = Store();
    EXPECT_EQ(store.GetString("system/proxy", "mode", ""), "manual");
    EXPECT_EQ(store.GetString("system/proxy/socks", "host", ""), "127.0.0.3");
    EXPECT_EQ(store.GetString("system/proxy/socks", "port", ""), "1080");
    EXPECT_EQ(store.GetString("system/proxy/http", "host", "x"), "");
    EXPECT_EQ(store.GetString("system/proxy/http", "use-authentication", "false"), "false");

    ApplyProxy(settings, 1, "127.0.0.4:3128:user:pa:ss");
    store = Store();
    EXPECT_EQ(store.GetString("system/proxy/socks", "host", "x"), "");
    EXPECT_EQ(store.GetString("system/proxy/http", "host", ""), "127.0.0.4");
    EXPECT_EQ(store.GetString("system/proxy/http", "port", ""), "3128");
    EXPECT_EQ(store.GetString("system/proxy/http", "use-authentication", ""), "true");
    EXPECT_EQ(store.GetString("system/proxy/http", "authentication-user", ""), "user");
    EXPECT_EQ(store.GetString("system/proxy/http", "authentication-password", ""), "pa:ss");

    ApplyProxy(settings, 1, "127.0.0.5:8080");
    store = Store();
    EXPECT_EQ(store.GetString("system/proxy/http", "use-authentication", ""), "false");
    EXPECT_EQ(store.GetString("system/proxy/http", "authentication-password", "x"), "");
}

TEST(GnomeInternetSettingsMissingTest, MissingSchemaChangesNothingAndDoesNotEndTheProcess) {
    GnomeInternetSettings settings("org.zandel.test.no.such.schema");
    EXPECT_FALSE(settings.SchemaAvailable());
    const std::string before = IniFile::Load(test::DesktopSandbox::KeyfilePath()).Text();
    ApplyProxy(settings, 1, "127.0.0.1:8080");
    EXPECT_EQ(IniFile::Load(test::DesktopSandbox::KeyfilePath()).Text(), before);
    EXPECT_FALSE(settings.ReadDialUpProfileName().has_value());
}

} // namespace
} // namespace zandel
