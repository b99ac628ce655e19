#include "core/settings/AppSettings.h"

#include <climits>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/settings/IniFile.h"
#include "core/settings/SettingsTable.h"
#include "core/util/Text.h"
#include "support/FileSizeLimit.h"
#include "support/OrdinaryUser.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

// Every stored field and list, for comparing whole records.
auto StoredFields(const AppSettings& s) {
    return std::tie(s.TimeOut, s.HttpVer, s.BwPath, s.BwUrlOn, s.BwUrl, s.TaskTray, s.TaskTrayOpen, s.FavoOn, s.FavoSel,
                    s.OpenCheck, s.ProxyOn, s.ProxyAddr, s.ForegroundWindow, s.ProxyFile, s.UserAgentOn, s.UserAgent,
                    s.WebPage, s.AccessUrl, s.Addr1, s.Addr2, s.Addr3, s.ParallelChecks, s.HttpsCheckOn, s.HttpsTarget,
                    s.JudgeStrict, s.JudgeKey, s.JudgeBaseline, s.JudgeFallback, s.DetectProxyType, s.ListUrlViaProxy,
                    s.AutoRecheck, s.AutoRecheckMinutes, s.Failover, s.RefetchList, s.HistoryKeepDays, s.HistoryColumns,
                    s.ServeListen, s.ServePoolRows, s.ServeStrategyName, s.ServeTries, s.ServeSticky, s.ServeMaxClients,
                    s.ServePorts, s.ServeAllowLeaky, s.ServeUser, s.ServePassword, s.GeoCountryFile, s.GeoAsnFile,
                    s.GeoCountryUrl, s.GeoAsnUrl, s.GeoRefreshDays, s.GeoDatacenterFile, s.GeoLastDownload,
                    s.GeoColumns, s.TwiceOn, s.TwicePause, s.SiteColumns, s.Sites, s.Favourites, s.ChainProxies,
                    s.ChainUrls, s.WebPageList);
}

std::string ReadDataFile(const std::string& name) {
    std::ifstream in(std::string(ZANDEL_TEST_DATA_DIR) + "/settings/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Numbered(const std::string& stem, int count) {
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) {
        entries.push_back(stem + std::to_string(i));
    }
    return entries;
}

std::string Lines(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        text += entry + "\r\n";
    }
    return text;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsStoreTest() { m_settings.StartDir = m_dir.Path(); }

    void Fill(SettingsList list, const std::vector<std::string>& entries) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            SetListEntry(m_settings, list, entries[i], static_cast<int>(i));
        }
    }
    // The shut-down order: the window hands over its rectangle, then chain lists, favourites and the record.
    void SaveAll(const WindowRect& rect = {}) {
        m_settings.Window = rect;
        ASSERT_TRUE(WriteChainLists(m_settings));
        ASSERT_TRUE(WriteFavourites(m_settings));
        ASSERT_TRUE(SaveSettings(m_settings));
    }
    // The start-up order into a fresh record.
    AppSettings LoadAll() const {
        AppSettings loaded;
        loaded.StartDir = m_dir.Path();
        EXPECT_TRUE(LoadSettings(loaded));
        ReadFavourites(loaded);
        ReadChainLists(loaded);
        return loaded;
    }

    test::TempDir m_dir;
    AppSettings m_settings;
};

TEST_F(SettingsStoreTest, NoFilesKeepTheDefaults) {
    const AppSettings loaded = LoadAll();
    EXPECT_TRUE(StoredFields(loaded) == StoredFields(AppSettings{}));
    EXPECT_EQ(loaded.TimeOut, 30);
    EXPECT_EQ(loaded.WebPage, "http://judge.example.net/cgi-bin/envchk.cgi");
    EXPECT_TRUE(ReadWindowRect(m_settings).IsEmpty());
    EXPECT_EQ(m_dir.Listing(), "") << "reading must not create files";
}

TEST_F(SettingsStoreTest, EveryFieldAndListSurvivesASaveAndReload) {
    AppSettings& s = m_settings;
    s.TimeOut = 55;
    s.HttpVer = "1.1";
    s.BwPath = "/opt/browser/bin/run browser";
    s.BwUrlOn = false;
    s.BwUrl = "http://127.0.0.1/start";
    s.TaskTray = true;
    s.TaskTrayOpen = true;
    s.FavoOn = false;
    s.FavoSel = true;
    s.OpenCheck = true;
    s.ProxyOn = true;
    s.ProxyAddr = "127.0.0.1:3128";
    s.ForegroundWindow = true;
    s.ProxyFile = "/home/user/\x83\x76\x83\x8d\x83\x4c\x83\x56.txt"; // Shift-JIS bytes stay bytes
    s.UserAgentOn = true;
    s.UserAgent = std::string(259, 'a');
    s.WebPage = "http://127.0.0.1/cgi-bin/envchk.cgi";
    s.AccessUrl = "http://dest.invalid/";
    s.Addr1 = "127.0.0.2:8080";
    s.Addr2 = "127.0.0.3:8080";
    s.Addr3 = "127.0.0.4:8080";
    s.ParallelChecks = 1000;
    s.HttpsCheckOn = true;
    s.HttpsTarget = "127.0.0.1:8443";
    Fill(SettingsList::Favourites, Numbered("127.0.1.1:", 50));
    Fill(SettingsList::ChainProxies, {"127.0.0.5:80", std::string(259, 'p')});
    Fill(SettingsList::ChainUrls, {"http://a.invalid/", "http://b.invalid/?q=a=b"});
    Fill(SettingsList::WebPageList, Numbered("http://127.0.0.1/page", 50));
    s.Sites = {"https://127.0.0.1:19100/shop?q=1=Welcome", "http://[::1]/=ようこそ", "http://127.0.0.1/"};
    s.SiteColumns = true;

    SaveAll({10, 20, 810, 620});

    EXPECT_TRUE(StoredFields(LoadAll()) == StoredFields(m_settings));
    const WindowRect rect = ReadWindowRect(m_settings);
    EXPECT_EQ(rect.Left, 10);
    EXPECT_EQ(rect.Top, 20);
    EXPECT_EQ(rect.Right, 810);
    EXPECT_EQ(rect.Bottom, 620);
}

TEST_F(SettingsStoreTest, SavedFileHasTheExactLayout) {
    Fill(SettingsList::WebPageList, {"http://127.0.0.1/a.html", "http://127.0.0.1/cgi-bin/envchk.cgi"});
    SaveAll({-8, 0, 1032, 768});

    const std::string text = m_dir.Read("PrxSet.ini");
    EXPECT_EQ(CrLfToLf(text), ReadDataFile("PrxSet.ini"));
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
    EXPECT_EQ(CrLfToLf(text).find('\r'), std::string::npos) << "every line ends in CR LF";
}

// Keys newer than the Windows program are written only away from their defaults, so that a file of a user who
// never changes them stays as it was, and dropped again when the value goes back, even from an older file.
TEST_F(SettingsStoreTest, NewerKeysWrittenOnlyAwayFromTheirDefaults) {
    struct Case {
        void (*change)(AppSettings&);
        const char* section;
        const char* key;
        const char* value;
    };
    // clang-format off
    const Case cases[] = {
        {[](AppSettings& s) { s.ParallelChecks = 250; }, "ProxyParallel", "Count", "250"},
        {[](AppSettings& s) { s.HttpsCheckOn = true; }, "HttpsCheck", "On", "1"},
        {[](AppSettings& s) { s.HttpsTarget = "127.0.0.1:8443"; }, "HttpsCheck", "Target", "127.0.0.1:8443"},
        {[](AppSettings& s) { s.JudgeStrict = true; }, "Judge", "Strict", "1"},
        {[](AppSettings& s) { s.JudgeKey = "s3cret-key!"; }, "Judge", "Key", "s3cret-key!"},
        {[](AppSettings& s) { s.JudgeBaseline = false; }, "Judge", "Baseline", "0"},
        {[](AppSettings& s) { s.JudgeFallback = "http://127.0.0.1:9/envchk.cgi"; }, "Judge", "Fallback", "http://127.0.0.1:9/envchk.cgi"},
        {[](AppSettings& s) { s.DetectProxyType = true; }, "ProxyType", "Detect", "1"},
        {[](AppSettings& s) { s.ListUrlViaProxy = true; }, "ListUrl", "ViaProxy", "1"},
        {[](AppSettings& s) { s.AutoRecheck = true; }, "AutoRecheck", "On", "1"},
        {[](AppSettings& s) { s.AutoRecheckMinutes = 1440; }, "AutoRecheck", "Minutes", "1440"},
        {[](AppSettings& s) { s.Failover = true; }, "AutoRecheck", "Failover", "1"},
        {[](AppSettings& s) { s.RefetchList = true; }, "AutoRecheck", "RefetchList", "1"},
        {[](AppSettings& s) { s.HistoryKeepDays = 3650; }, "History", "KeepDays", "3650"},
        {[](AppSettings& s) { s.HistoryColumns = true; }, "History", "Columns", "1"},
    };
    // clang-format on
    const auto stored = [this](const Case& c) { return IniFile::Load(m_dir.File("PrxSet.ini")).Get(c.section, c.key); };
    for (const Case& c : cases) {
        AppSettings changed;
        changed.StartDir = m_dir.Path();
        c.change(changed);
        ASSERT_TRUE(SaveSettings(changed));
        EXPECT_EQ(stored(c), c.value) << c.key;
        EXPECT_TRUE(StoredFields(LoadAll()) == StoredFields(changed)) << c.key;

        AppSettings back;
        back.StartDir = m_dir.Path();
        ASSERT_TRUE(SaveSettings(back)); // no window rectangle: the old file is rewritten
        EXPECT_EQ(stored(c), std::nullopt) << c.key;
        EXPECT_TRUE(StoredFields(LoadAll()) == StoredFields(AppSettings{})) << c.key;
    }
    for (const char* count : {"0", "1001", "-5", "many"}) {
        m_dir.Write("PrxSet.ini", std::string("[ProxyParallel]\r\nCount=") + count + "\r\n");
        EXPECT_EQ(LoadAll().ParallelChecks, 1) << count;
    }
    // Ten thousand at once only for a list allowed more than a thousand rows, whichever key comes first.
    const std::tuple<const char*, const char*, int> raised[] = {
        {"1000", "5000", 1}, {"100000", "5000", 5000}, {"100000", "10001", 1}, {"garbage", "1001", 1}};
    for (const auto& [rows, count, loaded] : raised) {
        m_dir.Write("PrxSet.ini",
                    std::string("[ProxyParallel]\r\nCount=") + count + "\r\n[List]\r\nMaxRows=" + rows + "\r\n");
        EXPECT_EQ(LoadAll().ParallelChecks, loaded) << rows << " " << count;
    }
    // A hand-edited interval or keep time out of range is its default, never a round every minute.
    const std::pair<const char*, const char*> outOfRange[] = {
        {"4", "0"}, {"1441", "3651"}, {"-1", "-1"}, {"soon", "x"}};
    for (const auto& [minutes, days] : outOfRange) {
        m_dir.Write("PrxSet.ini",
                    std::string("[AutoRecheck]\r\nMinutes=") + minutes + "\r\n[History]\r\nKeepDays=" + days + "\r\n");
        const AppSettings loaded = LoadAll();
        EXPECT_EQ(loaded.AutoRecheckMinutes, kRecheckMinutesDefault) << minutes;
        EXPECT_EQ(loaded.HistoryKeepDays, kHistoryKeepDaysDefault) << days;
    }
}

// One line per setting of "PrxSet.ini", in the file's order: its text in a file saved at its default (none: not
// written then), a changed text, and for a number a stored text outside its bounds with the text it is saved as
// after reading (none: read as its default and so not written).
struct RowCase {
    const char* section;
    const char* key;
    const char* byDefault;
    const char* changed;
    const char* outOfBounds = nullptr;
    const char* readsAs = nullptr;
};

// clang-format off
const RowCase kRowCases[] = {
    {"ProxyTimeOut", "TimeOut", "30", "60", "601", "601"}, // the run holds a time-out to its own range
    {"ProxyHttpVer", "HttpVer", "1.0", "1.1"},
    {"ProxyBwPath", "BwPath", "/usr/bin/xdg-open", "/opt/browser/run"},
    {"bProxyBwUrl", "On", "1", "0"},
    {"ProxyBwUrl", "BwUrl", "", "http://127.0.0.1/start"},
    {"ProxyTaskTray", "On", "0", "1"},
    {"ProxyTaskTray", "OpenOn", "0", "1"},
    {"FavoOn", "On", "1", "0"},
    {"FavoSel", "On", "0", "1"},
    {"OpenCheck", "On", "0", "1"},
    {"ProxyOn", "On", "0", "1"},
    {"ProxyAddr", "Addr", "", "127.0.0.1:3128"},
    {"ProxyForegroundWindow", "ForegroundWindow", "0", "1"},
    {"ProxyFile", "File", "", "/home/user/list.txt"},
    {"User-AgentOn", "On", "0", "1"},
    {"User-Agent", "String", "Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)", "UA/1.0"},
    {"WebPage-Url", "WebPage", "http://judge.example.net/cgi-bin/envchk.cgi", "http://127.0.0.1/envchk.cgi"},
    {"Access-Url", "AccessUrl", "", "http://dest.invalid/"},
    {"Access-Url", "Addr1", "", "127.0.0.2:8080"},
    {"Access-Url", "Addr2", "", "127.0.0.3:8080"},
    {"Access-Url", "Addr3", "", "127.0.0.4:8080"},
    {"ProxyParallel", "Count", nullptr, "1000", "1001", nullptr},
    {"HttpsCheck", "On", nullptr, "1"},
    {"HttpsCheck", "Target", nullptr, "127.0.0.1:8443"},
    {"Judge", "Strict", nullptr, "1"},
    {"Judge", "Key", nullptr, "s3cret-key!"},
    {"Judge", "Baseline", nullptr, "0"},
    {"Judge", "Fallback", nullptr, "http://127.0.0.1:9/envchk.cgi"},
    {"ProxyType", "Detect", nullptr, "1"},
    {"ListUrl", "ViaProxy", nullptr, "1"},
    {"AutoRecheck", "On", nullptr, "1"},
    {"AutoRecheck", "Minutes", nullptr, "5", "4", nullptr},
    {"AutoRecheck", "Failover", nullptr, "1"},
    {"AutoRecheck", "RefetchList", nullptr, "1"},
    {"History", "KeepDays", nullptr, "3650", "0", nullptr},
    {"History", "Columns", nullptr, "1"},
    {"List", "FollowRun", nullptr, "1"},
    {"List", "AddressWidth", nullptr, "333", "4001", nullptr},
    {"List", "MaxRows", nullptr, "1000000", "999", nullptr},
    {"Serve", "Listen", nullptr, "[::1]:19401"},
    {"Serve", "Pool", nullptr, "favourites"},
    {"Serve", "Strategy", nullptr, "round-robin"},
    {"Serve", "Tries", nullptr, "20", "21", nullptr},
    {"Serve", "Sticky", nullptr, "0", "-1", nullptr},
    {"Serve", "MaxClients", nullptr, "10000", "0", nullptr},
    {"Serve", "Ports", nullptr, "80,443,8080"},
    {"Serve", "AllowLeaky", nullptr, "1"},
    {"Serve", "User", nullptr, "me"},
    {"Serve", "Password", nullptr, "pa:ss word"}, // kept as the judge's key is: the file is the user's alone
    {"Geo", "CountryFile", nullptr, "/home/user/dbip-country-lite.mmdb"},
    {"Geo", "AsnFile", nullptr, "/home/user/dbip-asn-lite.mmdb"},
    {"Geo", "CountryUrl", nullptr, "https://127.0.0.1:19201/country.mmdb"},
    {"Geo", "AsnUrl", nullptr, "https://127.0.0.1:19201/asn.mmdb"},
    {"Geo", "RefreshDays", nullptr, "365", "366", nullptr},
    {"Geo", "DatacenterFile", nullptr, "/home/user/hosting.txt"},
    {"Geo", "LastDownload", nullptr, "2026-12-10T11:00:00Z"},
    {"Geo", "Columns", nullptr, "1"},
    {"Twice", "On", nullptr, "1"},
    {"Twice", "Pause", nullptr, "0", "61", nullptr},
    {"Sites", "Columns", nullptr, "1"},
};
// clang-format on

std::optional<std::string> Text(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

// Each setting read from a file into its own field and written back from it, the others written at their defaults,
// and a number out of its bounds read as its row says.
TEST_F(SettingsStoreTest, EveryRowOfTheTableReadsAndWritesItsOwnKey) {
    ASSERT_EQ(std::size(kRowCases), kSettingsTable.size()) << "a setting without a line here, or a line too many";
    const auto savedAfterReading = [this](const RowCase& c, const char* value) {
        m_dir.Write("PrxSet.ini", std::string("[") + c.section + "]\r\n" + c.key + "=" + value + "\r\n");
        AppSettings read;
        read.StartDir = m_dir.Path();
        EXPECT_TRUE(LoadSettings(read));
        EXPECT_TRUE(SaveSettings(read));
        return IniFile::Load(m_dir.File("PrxSet.ini"));
    };
    for (std::size_t i = 0; i < kSettingsTable.size(); ++i) {
        const RowCase& c = kRowCases[i];
        EXPECT_EQ(std::string(kSettingsTable[i].section) + "/" + kSettingsTable[i].key,
                  std::string(c.section) + "/" + c.key)
            << "the table's order is the file's";
        const IniFile changed = savedAfterReading(c, c.changed);
        for (const RowCase& other : kRowCases) {
            EXPECT_EQ(changed.Get(other.section, other.key), Text(&other == &c ? c.changed : other.byDefault))
                << c.section << "/" << c.key << " changed, " << other.section << "/" << other.key << " read";
        }
        if (c.outOfBounds != nullptr) {
            EXPECT_EQ(savedAfterReading(c, c.outOfBounds).Get(c.section, c.key), Text(c.readsAs)) << c.key;
        }
    }
}

TEST_F(SettingsStoreTest, SavingOverAnOlderFileLeavesNoStaleListKeys) {
    // As if the window-rectangle save had not run: the old file is still there.
    m_dir.Write("PrxSet.ini", "[WebPage-Url]\r\nWebPageNo0=old0\r\nWebPageNo1=old1\r\nWebPageNo2=old2\r\n"
                              "WebPageNo02=odd\r\n[ProxyTimeOut]\r\nTimeOut=10\r\n");
    Fill(SettingsList::WebPageList, {"new0"});
    ASSERT_TRUE(SaveSettings(m_settings));

    const IniFile ini = IniFile::Load(m_dir.File("PrxSet.ini"));
    EXPECT_EQ(ini.Get("WebPage-Url", "WebPageNo0"), "new0");
    EXPECT_EQ(ini.Get("WebPage-Url", "WebPageNo1"), std::nullopt);
    EXPECT_EQ(ini.Get("WebPage-Url", "WebPageNo2"), std::nullopt);
    EXPECT_EQ(ini.Get("WebPage-Url", "WebPageNo02"), "odd") << "not a list key: a reader never forms it";
    EXPECT_EQ(ini.Get("ProxyTimeOut", "TimeOut"), "30");
    EXPECT_EQ(LoadAll().WebPageList[1], "");
}

// [Sites] as the user's own list keys: written only while there are sites, a shorter list leaving no key of a longer
// one, a gap or an empty key ending them; what is no site stays a text here, for the run to leave out with its message.
TEST_F(SettingsStoreTest, SitesAreWrittenOnlyWhileThereAreAny) {
    // clang-format off
    const struct { const char* name; const char* file; std::vector<std::string> read; } cases[] = {
        {"none", "", {}},
        {"two", "[Sites]\r\nSite0=http://127.0.0.1/=Welcome\r\nSite1=https://[::1]:19100/\r\n", {"http://127.0.0.1/=Welcome", "https://[::1]:19100/"}},
        {"gapEnds", "[Sites]\r\nSite0=http://127.0.0.1/a\r\nSite2=http://127.0.0.1/c\r\n", {"http://127.0.0.1/a"}},
        {"emptyEnds", "[Sites]\r\nSite0=\r\nSite1=http://127.0.0.1/b\r\n", {}},
        {"notFromOne", "[Sites]\r\nSite1=http://127.0.0.1/b\r\n", {}},
        {"garbageKept", "[Sites]\r\nSite0=ftp://u:p@127.0.0.1/\r\nSite1=\x89PNG\r\n", {"ftp://u:p@127.0.0.1/", "\x89PNG"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        m_dir.Write("PrxSet.ini", c.file);
        AppSettings read;
        read.StartDir = m_dir.Path();
        ASSERT_TRUE(LoadSettings(read));
        EXPECT_EQ(read.Sites, c.read) << c.name;
        ASSERT_TRUE(SaveSettings(read));
        const std::string saved = m_dir.Read("PrxSet.ini");
        EXPECT_EQ(saved.find("[Sites]") != std::string::npos, !c.read.empty()) << c.name << "\n" << saved;
        AppSettings again;
        again.StartDir = m_dir.Path();
        ASSERT_TRUE(LoadSettings(again));
        EXPECT_EQ(again.Sites, c.read) << c.name;
    }
    // Fifty at most, as every list of the file; the run tells of those past ten.
    std::string many = "[Sites]\r\n";
    for (int i = 0; i < 60; ++i) {
        many += "Site" + std::to_string(i) + "=http://127.0.0.1/" + std::to_string(i) + "\r\n";
    }
    m_dir.Write("PrxSet.ini", many);
    ASSERT_TRUE(LoadSettings(m_settings));
    EXPECT_EQ(m_settings.Sites.size(), std::size_t{kListSlots});
    m_settings.Sites.resize(1);
    m_settings.Window.reset(); // the old file is read and written over: its longer list must not come back
    ASSERT_TRUE(SaveSettings(m_settings));
    const IniFile saved = IniFile::Load(m_dir.File("PrxSet.ini"));
    EXPECT_EQ(saved.Keys("Sites"), std::vector<std::string>{"Site0"});
}

struct LoadCase {
    const char* name;
    std::string text;
    void (*check)(const AppSettings&);
};

class LoadSettingsTest : public SettingsStoreTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadSettingsTest, ReadsTheFile) {
    m_dir.Write("PrxSet.ini", GetParam().text);
    ASSERT_TRUE(LoadSettings(m_settings));
    GetParam().check(m_settings);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadSettingsTest,
    ::testing::Values(
        LoadCase{"GapEndsTheList", "[WebPage-Url]\nWebPageNo0=a\nWebPageNo1=b\nWebPageNo3=d\n",
                 [](const AppSettings& s) {
                     EXPECT_EQ(ListEntries(s, SettingsList::WebPageList), (std::vector<std::string>{"a", "b"}));
                 }},
        LoadCase{"KeysIgnoreCase", "[proxytimeout]\ntimeout=12\n[BPROXYBWURL]\non=0\n[user-agent]\nSTRING=UA\n",
                 [](const AppSettings& s) {
                     EXPECT_EQ(s.TimeOut, 12);
                     EXPECT_FALSE(s.BwUrlOn);
                     EXPECT_EQ(s.UserAgent, "UA");
                 }},
        LoadCase{"AnyNonzeroIsTrueAndMissingKeysKeepDefaults",
                 "[ProxyOn]\nOn=7\n[FavoOn]\nOn=-1\n[ProxyTaskTray]\nOpenOn=yes\n",
                 [](const AppSettings& s) {
                     EXPECT_TRUE(s.ProxyOn);
                     EXPECT_TRUE(s.FavoOn);
                     EXPECT_FALSE(s.TaskTrayOpen) << "no digits read as 0";
                     EXPECT_EQ(s.HttpVer, "1.0");
                     EXPECT_EQ(s.UserAgent, kDefaultUserAgent);
                 }},
        LoadCase{"LongTextsAreCut",
                 "[ProxyFile]\nFile=" + std::string(400, 'f') + "\n[WebPage-Url]\nWebPageNo0=" + std::string(300, 'w') +
                     "\n",
                 [](const AppSettings& s) {
                     EXPECT_EQ(s.ProxyFile, std::string(259, 'f'));
                     EXPECT_EQ(s.WebPageList[0], std::string(259, 'w'));
                 }},
        LoadCase{"BinaryGarbageGivesDefaults", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR[\xff=\x00]\n=\n", 24),
                 [](const AppSettings& s) { EXPECT_TRUE(StoredFields(s) == StoredFields(AppSettings{})); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, ChainListsKeepFiftyAndWriteFifty) {
    std::string text = "[ADDR1]\r\n";
    for (int i = 0; i < 60; ++i) {
        text += "No" + std::to_string(i) + "=127.0.0.1:" + std::to_string(8000 + i) + "\r\n";
    }
    m_dir.Write("Access.ini", text + "[ADDR2]\r\nNo0=http://a.invalid/\r\n");
    Fill(SettingsList::ChainUrls, {"stale0", "stale1"});
    ReadChainLists(m_settings);
    EXPECT_EQ(CountListEntries(m_settings, SettingsList::ChainProxies), 50);
    EXPECT_EQ(GetListEntry(m_settings, SettingsList::ChainProxies, 49), "127.0.0.1:8049");
    EXPECT_EQ(CountListEntries(m_settings, SettingsList::ChainUrls), 1);

    ASSERT_TRUE(WriteChainLists(m_settings));
    const IniFile ini = IniFile::Load(m_dir.File("Access.ini"));
    EXPECT_EQ(ini.Keys("ADDR1"), Numbered("No", 50));
    EXPECT_EQ(ini.Keys("ADDR2"), Numbered("No", 1));
}

TEST_F(SettingsStoreTest, ChainEntriesKeepTheirBlanksAndQuotes) {
    const std::vector<std::string> proxies = {"  127.0.0.1:80", "   ", "\"127.0.0.2:80\"", "127.0.0.3:80"};
    const std::vector<std::string> urls = {"http://a.invalid/ ", "'http://b.invalid/'", "\thttp://c.invalid/"};
    Fill(SettingsList::ChainProxies, proxies);
    Fill(SettingsList::ChainUrls, urls);
    ASSERT_TRUE(WriteChainLists(m_settings));
    const AppSettings loaded = LoadAll();
    EXPECT_EQ(ListEntries(loaded, SettingsList::ChainProxies), proxies);
    EXPECT_EQ(ListEntries(loaded, SettingsList::ChainUrls), urls);
}

TEST_F(SettingsStoreTest, AnEmptiedSlotEndsWhatIsWritten) {
    Fill(SettingsList::ChainUrls, Numbered("http://u.invalid/", 5));
    ASSERT_TRUE(WriteChainLists(m_settings));
    SetListEntry(m_settings, SettingsList::ChainUrls, "", 2);
    ASSERT_TRUE(WriteChainLists(m_settings));

    EXPECT_EQ(m_dir.Read("Access.ini"), "[ADDR2]\r\nNo0=http://u.invalid/0\r\nNo1=http://u.invalid/1\r\n");
    AppSettings loaded = LoadAll();
    EXPECT_EQ(CountListEntries(loaded, SettingsList::ChainUrls), 2);
    EXPECT_EQ(GetListEntry(loaded, SettingsList::ChainUrls, 3), "");

    ClearList(m_settings, SettingsList::ChainUrls);
    ASSERT_TRUE(WriteChainLists(m_settings));
    EXPECT_FALSE(m_dir.Exists("Access.ini")) << "two empty lists leave no file, as after the deletion";
}

TEST(SettingsListTest, SlotsOutsideTheListAreIgnored) {
    AppSettings s;
    SetListEntry(s, SettingsList::Favourites, "x", 50);
    SetListEntry(s, SettingsList::Favourites, "x", -1);
    EXPECT_EQ(CountListEntries(s, SettingsList::Favourites), 0);
    EXPECT_EQ(GetListEntry(s, SettingsList::Favourites, 50), "");
    EXPECT_EQ(GetListEntry(s, SettingsList::Favourites, INT_MIN), "");
    SetListEntry(s, SettingsList::Favourites, std::string(300, 'z'), 49);
    EXPECT_EQ(GetListEntry(s, SettingsList::Favourites, 49), std::string(259, 'z'));
}

struct FavouritesCase {
    const char* name;
    std::string file;
    std::vector<std::string> expected;
};

class FavouritesTest : public SettingsStoreTest, public ::testing::WithParamInterface<FavouritesCase> {};

TEST_P(FavouritesTest, LoadsEveryAddressAndWritesItBack) {
    m_dir.Write("USER2.DAT", GetParam().file);
    SetListEntry(m_settings, SettingsList::Favourites, "stale", 0);
    ReadFavourites(m_settings);
    EXPECT_EQ(ListEntries(m_settings, SettingsList::Favourites), GetParam().expected);

    ASSERT_TRUE(WriteFavourites(m_settings));
    EXPECT_EQ(m_dir.Read("USER2.DAT"), Lines(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Files, FavouritesTest,
    ::testing::Values(
        FavouritesCase{"LastLineWithoutLineEnd", "127.0.0.1:80\r\n127.0.0.2:81", {"127.0.0.1:80", "127.0.0.2:81"}},
        FavouritesCase{"EmptyLinesDoNotEndTheList", "\r\na:1\r\n\r\n\nb:2\n", {"a:1", "b:2"}},
        FavouritesCase{"LongLineKeepsItsStart", std::string(300, 'h') + "\r\nc:3\r\n", {std::string(259, 'h'), "c:3"}},
        FavouritesCase{"FiftyOfSixty", Lines(Numbered("127.0.0.1:", 60)), Numbered("127.0.0.1:", 50)},
        FavouritesCase{"NoFile", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineListCase {
    const char* name;
    std::string file;
    int limit;
    std::vector<std::string> expected;
    bool hitLimit;
};

class LineListTest : public SettingsStoreTest, public ::testing::WithParamInterface<LineListCase> {};

TEST_P(LineListTest, ReadsEntriesAndTheLimit) {
    const LineListCase& c = GetParam();
    const LineListReadResult result = ReadLineListFile(m_dir.Write("USER.DAT", c.file), c.limit);
    EXPECT_EQ(result.entries, c.expected);
    EXPECT_EQ(result.hitLimit, c.hitLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LineListTest,
    ::testing::Values(
        LineListCase{"EmptyEntriesAreKept", "A\r\n\r\n\nB\r\n", 100, {"A", "", "", "B"}, false},
        LineListCase{"LastLineWithoutLineEnd", "A\r\nB", 100, {"A", "B"}, false},
        LineListCase{"OnlyTheCrBeforeLfGoes", "A\r\r\nB\rC\n", 100, {"A\r", "B\rC"}, false},
        LineListCase{
            "LongLineIsCut", std::string(300, 'x') + "\nshort\n", 100, {std::string(259, 'x'), "short"}, false},
        LineListCase{"CrJustPastTheCut", std::string(259, 'y') + "\r\n", 100, {std::string(259, 'y')}, false},
        LineListCase{"HundredOfHundredTwenty", Lines(Numbered("UA", 120)), 100, Numbered("UA", 100), true},
        LineListCase{"ExactlyHundred", Lines(Numbered("UA", 100)), 100, Numbered("UA", 100), true},
        LineListCase{"ExactlyHundredWithoutFinalLineEnd", Lines(Numbered("UA", 99)) + "UA99", 100, Numbered("UA", 100),
                     true},
        LineListCase{"NinetyNine", Lines(Numbered("UA", 99)), 100, Numbered("UA", 99), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, UserAgentsRoundTripUpToTheLongestEntry) {
    const std::vector<std::string> entries = {std::string(258, 'a'), "", std::string(259, 'b'), "Mozilla/4.0 x",
                                              "\x83\x76\x83\x8d",    ""};
    const std::string path = m_dir.File("USER.DAT");
    ASSERT_TRUE(WriteLineListFile(path, entries));
    EXPECT_EQ(m_dir.Read("USER.DAT"), Lines(entries));
    EXPECT_EQ(ReadLineListFile(path, kMaxUserAgents).entries, entries);

    EXPECT_EQ(ReadLineListFile(m_dir.File("missing"), kMaxUserAgents).entries.size(), 0u);
    EXPECT_FALSE(ReadLineListFile(m_dir.File("missing"), kMaxUserAgents).hitLimit);
}

TEST_F(SettingsStoreTest, ALineFeedInsideAnEntryAddsNoEntry) {
    ASSERT_TRUE(WriteLineListFile(m_dir.File("USER.DAT"), {"one\ntwo", "three"}));
    EXPECT_EQ(ReadLineListFile(m_dir.File("USER.DAT"), 100).entries, (std::vector<std::string>{"one", "three"}));
}

TEST_F(SettingsStoreTest, WindowRectangleReadsBackAndZeroWidthIsEmpty) {
    m_dir.Write("PrxSet.ini", "[Window]\r\nLeft=100\r\nTop=100\r\nRight=100\r\nBottom=500\r\n");
    EXPECT_TRUE(ReadWindowRect(m_settings).IsEmpty());

    // Extremes must compare without overflowing.
    m_dir.Write("PrxSet.ini", "[Window]\nLeft=-99999999999\nTop=-99999999999\nRight=99999999999\nBottom=2\n");
    const WindowRect wide = ReadWindowRect(m_settings);
    EXPECT_EQ(wide.Left, INT_MIN);
    EXPECT_EQ(wide.Right, INT_MAX);
    EXPECT_FALSE(wide.IsEmpty());

    // With the rectangle the file starts anew: nothing of the old one is left. Without one (no window was
    // made) the old rectangle stays.
    m_dir.Write("PrxSet.ini", "[Stale]\r\nKey=1\r\n[Window]\r\nLeft=5\r\nTop=6\r\nRight=70\r\nBottom=80\r\n");
    ASSERT_TRUE(SaveSettings(m_settings));
    EXPECT_EQ(ReadWindowRect(m_settings).Right, 70);
    m_settings.Window = WindowRect{1, 2, 3, 4};
    ASSERT_TRUE(SaveSettings(m_settings));
    const std::string text = m_dir.Read("PrxSet.ini");
    EXPECT_EQ(text.rfind("[Window]\r\nLeft=1\r\nTop=2\r\nBottom=4\r\nRight=3\r\n[ProxyTimeOut]\r\n", 0), 0u) << text;
    EXPECT_EQ(text.find("Stale"), std::string::npos);
}

TEST_F(SettingsStoreTest, UnwritableFolderIsReportedForEveryFile) {
    m_dir.Write("plain", "");
    m_settings.StartDir = m_dir.File("plain");
    SetListEntry(m_settings, SettingsList::Favourites, "127.0.0.1:80", 0);
    SetListEntry(m_settings, SettingsList::ChainProxies, "127.0.0.1:80", 0);
    m_settings.Window = WindowRect{0, 0, 10, 10};
    EXPECT_FALSE(WriteChainLists(m_settings));
    EXPECT_FALSE(WriteFavourites(m_settings));
    EXPECT_FALSE(SaveSettings(m_settings));
    EXPECT_FALSE(WriteLineListFile(m_dir.File("plain/USER.DAT"), {"UA"}));
    EXPECT_EQ(m_dir.Listing(), "plain");
}

TEST_F(SettingsStoreTest, AFailedWriteKeepsThePreviousFiles) {
    Fill(SettingsList::Favourites, {"127.0.0.1:80"});
    Fill(SettingsList::ChainProxies, {"127.0.0.1:81"});
    SaveAll({0, 0, 640, 480});
    const std::string favourites = m_dir.Read("USER2.DAT");
    const std::string chains = m_dir.Read("Access.ini");
    const std::string settings = m_dir.Read("PrxSet.ini");

    // Every file now outgrows what the disk takes, though the window rectangle alone would fit: the settings
    // must not be cut down to it.
    m_settings.Window = WindowRect{5, 5, 700, 500};
    const std::string longEntry(259, 'q');
    Fill(SettingsList::Favourites, std::vector<std::string>(8, longEntry));
    Fill(SettingsList::ChainProxies, std::vector<std::string>(8, longEntry));
    Fill(SettingsList::WebPageList, std::vector<std::string>(8, longEntry));
    {
        test::FileSizeLimit limit(1024);
        EXPECT_FALSE(WriteFavourites(m_settings));
        EXPECT_FALSE(WriteChainLists(m_settings));
        EXPECT_FALSE(SaveSettings(m_settings));
    }
    EXPECT_EQ(m_dir.Read("USER2.DAT"), favourites);
    EXPECT_EQ(m_dir.Read("Access.ini"), chains);
    EXPECT_EQ(m_dir.Read("PrxSet.ini"), settings);
    EXPECT_EQ(m_dir.Listing(), "Access.ini PrxSet.ini USER2.DAT");
}

// What another user may leave in a shared folder such as /tmp, each file open for anyone to write: a planted
// BwPath would run as the victim on ﾌﾞﾗｳｻﾞの起動.
const std::vector<std::pair<std::string, std::string>> kPlanted = {
    {"PrxSet.ini", "[ProxyBwPath]\r\nBwPath=/tmp/planted\r\n[ProxyTimeOut]\r\nTimeOut=99\r\n"},
    {"Access.ini", "[ADDR1]\r\nNo0=10.6.6.6:80\r\n"},
    {"USER2.DAT", "10.6.6.6:8080\r\n"},
    {"USER.DAT", "Planted/1.0\r\n"},
};

// Started in a shared folder (sticky as /tmp, or merely open to all), as an ordinary user: what another user planted
// there is never read, written over nor deleted; what root put there is read. A pipe planted under a settings name
// holds nothing up either.
TEST(PlantedSettingsTest, AnotherUsersFilesAreNeitherReadNorWrittenRootsAreRead) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give files to another user";
    }
    for (const auto& [byRoot, mode] : {std::pair{false, 01777}, std::pair{false, 0777}, std::pair{true, 01777}}) {
        SCOPED_TRACE(std::string(byRoot ? "root's files" : "another user's files") + (mode & 01000 ? " in /tmp" : ""));
        test::TempDir shared;
        ASSERT_EQ(::chmod(shared.Path().c_str(), static_cast<mode_t>(mode)), 0);
        const uid_t owner = byRoot ? 0 : test::OtherUserUid();
        for (const auto& [name, text] : kPlanted) {
            ASSERT_FALSE(test::MakeOwned(shared.File(name), text, owner, 0666).empty());
        }
        test::TempDir own;
        const std::string report = test::RunAsOrdinaryUser(own.Path(), [&]() -> std::string {
            AppSettings s;
            s.StartDir = shared.Path();
            LoadSettings(s);
            ReadFavourites(s);
            ReadChainLists(s);
            const bool read[] = {s.BwPath == "/tmp/planted" && s.TimeOut == 99,
                                 CountListEntries(s, SettingsList::ChainProxies) == 1,
                                 CountListEntries(s, SettingsList::Favourites) == 1,
                                 ReadLineListFile(shared.File("USER.DAT"), 100).entries.size() == 1};
            std::string wrong;
            for (std::size_t i = 0; i < kPlanted.size(); ++i) {
                if (read[i] != byRoot) {
                    wrong += kPlanted[i].first + (byRoot ? " not read; " : " read; ");
                }
            }
            if (byRoot) {
                return wrong;
            }
            SetListEntry(s, SettingsList::Favourites, "127.0.0.1:80", 0);
            SetListEntry(s, SettingsList::ChainProxies, "127.0.0.1:81", 0);
            const bool written[] = {SaveSettings(s), WriteChainLists(s), WriteFavourites(s),
                                    WriteLineListFile(shared.File("USER.DAT"), {"Mine/1.0"}).ok};
            for (std::size_t i = 0; i < kPlanted.size(); ++i) {
                if (written[i]) {
                    wrong += kPlanted[i].first + " written; ";
                }
            }
            ClearList(s, SettingsList::ChainProxies); // nothing to keep: the file would go
            if (WriteChainLists(s)) {
                wrong += "Access.ini deleted; ";
            }
            return wrong;
        });
        EXPECT_EQ(report, "");
        for (const auto& [name, text] : kPlanted) {
            EXPECT_EQ(shared.Read(name), text) << name;
        }
    }

    test::TempDir shared;
    ASSERT_EQ(::mkfifo(shared.File("PrxSet.ini").c_str(), 0666), 0);
    AppSettings s;
    s.StartDir = shared.Path();
    ::alarm(10); // a read that waits for a writer ends the test run rather than hanging it
    LoadSettings(s);
    ::alarm(0);
    EXPECT_EQ(s.TimeOut, 30);
}

} // namespace
} // namespace zandel
