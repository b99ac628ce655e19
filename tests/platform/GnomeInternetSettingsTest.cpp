#include "platform/GnomeInternetSettings.h"

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "core/app/IniFile.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

// GSettings picks its store at the first call: the keyfile store in a folder of our own is set before any
// test runs, so that nothing reaches the user's real settings.
class KeyfileStore final : public ::testing::Environment {
public:
    void SetUp() override {
        m_dir = std::make_unique<test::TempDir>();
        ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
        ::setenv("XDG_CONFIG_HOME", m_dir->Path().c_str(), 1);
        s_path = m_dir->File("glib-2.0/settings/keyfile");
    }
    void TearDown() override { m_dir.reset(); }
    static std::string s_path;

private:
    std::unique_ptr<test::TempDir> m_dir;
};
std::string KeyfileStore::s_path;

[[maybe_unused]] ::testing::Environment* const kStore = ::testing::AddGlobalTestEnvironment(new KeyfileStore);

class GnomeInternetSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GnomeInternetSettings().SchemaAvailable()) {
            GTEST_SKIP() << "the desktop proxy schema is not installed (gsettings-desktop-schemas)";
        }
    }
    // The keyfile read as an INI file: the quotes of a text value go as the reading rule drops them.
    static IniFile Store() { return IniFile::Load(KeyfileStore::s_path); }
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

TEST(GnomeInternetSettingsMissingTest, MissingSchemaChangesNothingAndDoesNotEndTheProcess) {
    GnomeInternetSettings settings("org.zandel.test.no.such.schema");
    EXPECT_FALSE(settings.SchemaAvailable());
    const std::string before = IniFile::Load(KeyfileStore::s_path).Text();
    ApplyProxy(settings, 1, "127.0.0.1:8080");
    EXPECT_EQ(IniFile::Load(KeyfileStore::s_path).Text(), before);
    EXPECT_FALSE(settings.ReadDialUpProfileName().has_value());
}

} // namespace
} // namespace zandel
