#include "core/settings/PageFields.h"

#include <string>

#include <gtest/gtest.h>

#include "core/settings/CheckPage.h"
#include "core/settings/IniFile.h"
#include "core/settings/SettingsTable.h"

namespace zandel {
namespace {

// What a record holds apart from a fresh one: "Section/Key=value" for each setting of the table, then each list as
// "[List]=entry,entry".
std::string Changes(const AppSettings& settings) {
    const AppSettings fresh;
    std::string changes;
    const auto add = [&changes](const std::string& change) { changes += (changes.empty() ? "" : " ") + change; };
    for (const SettingRow& row : kSettingsTable) {
        IniFile now;
        IniFile before;
        WriteSetting(now, row, settings);
        WriteSetting(before, row, fresh);
        if (now.Get(row.section, row.key) != before.Get(row.section, row.key)) {
            add(std::string(row.section) + "/" + row.key + "=" + now.Get(row.section, row.key).value_or("(none)"));
        }
    }
    const std::pair<SettingsList, const char*> lists[] = {{SettingsList::Favourites, "Favourites"},
                                                          {SettingsList::ChainProxies, "ChainProxies"},
                                                          {SettingsList::ChainUrls, "ChainUrls"},
                                                          {SettingsList::WebPageList, "WebPageList"}};
    for (const auto& [list, name] : lists) {
        if (ListEntries(settings, list) != ListEntries(fresh, list)) {
            std::string entries;
            for (const std::string& entry : ListEntries(settings, list)) {
                entries += (entries.empty() ? "" : ",") + entry;
            }
            add(std::string("[") + name + "]=" + entries);
        }
    }
    return changes;
}

struct PageCase {
    const char* name;
    // Applies fields away from their defaults to a fresh record; true when the page loads them back as they were.
    bool (*applyAndLoad)(AppSettings&);
    const char* changes;
};

class PageFieldsTest : public testing::TestWithParam<PageCase> {};

// A page stores every field it edits into its own setting and nothing else, and opens again on what it stored.
TEST_P(PageFieldsTest, StoresItsFieldsAndNothingElse) {
    AppSettings settings;
    EXPECT_TRUE(GetParam().applyAndLoad(settings));
    EXPECT_EQ(Changes(settings), GetParam().changes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Pages, PageFieldsTest,
    testing::Values(
        PageCase{"Check", [](AppSettings& s) { const CheckPageFields f{55, 1000, "http://127.0.0.1/start", "1.1", "/opt/b", false, true, true, true, "127.0.0.1:8443", true, true, 1000000, true, 0}; ApplyCheckPage(f, s); return LoadCheckPage(s) == f; },
                 "ProxyTimeOut/TimeOut=55 ProxyHttpVer/HttpVer=1.1 ProxyBwPath/BwPath=/opt/b bProxyBwUrl/On=0 ProxyBwUrl/BwUrl=http://127.0.0.1/start ProxyTaskTray/OpenOn=1 OpenCheck/On=1 ProxyParallel/Count=1000 HttpsCheck/On=1 HttpsCheck/Target=127.0.0.1:8443 ProxyType/Detect=1 List/FollowRun=1 List/MaxRows=1000000 Twice/On=1 Twice/Pause=0"},
        PageCase{"AccessUrl", [](AppSettings& s) { AccessUrlPageFields f = LoadAccessUrlPage(s); f.List.Add("http://127.0.0.1/envchk.cgi"); f.List.Choose(4); f.JudgeStrict = true; f.JudgeKey = "s3cret-key!"; ApplyAccessUrlPage(f, s); return LoadAccessUrlPage(s) == f; },
                 "WebPage-Url/WebPage=http://127.0.0.1/envchk.cgi Judge/Strict=1 Judge/Key=s3cret-key! [WebPageList]=http://www.example.com/index.html,http://www.example.org/index.html,http://judge.example.net/cgi-bin/envchk.cgi,http://judge.example.com/envchk.cgi,http://127.0.0.1/envchk.cgi"},
        PageCase{"Favourites", [](AppSettings& s) { const FavouritesPageFields f{false, {"127.0.0.1:8080", "127.0.0.2:8080"}}; ApplyFavouritesPage(f, s); return LoadFavouritesPage(s) == f; },
                 "FavoOn/On=0 [Favourites]=127.0.0.1:8080,127.0.0.2:8080"},
        PageCase{"Recheck", [](AppSettings& s) { const RecheckPageFields f{true, 5, true, true, 3650}; ApplyRecheckPage(f, s); return LoadRecheckPage(s) == f; },
                 "AutoRecheck/On=1 AutoRecheck/Minutes=5 AutoRecheck/Failover=1 AutoRecheck/RefetchList=1 History/KeepDays=3650"},
        PageCase{"Geo", [](AppSettings& s) { const GeoPageFields f{"/g/c.mmdb", "http://127.0.0.1:19201/c", "/g/a.mmdb", "http://127.0.0.1:19201/a", 7, "/g/dc.txt"}; ApplyGeoPage(f, s); return LoadGeoPage(s) == f; },
                 "Geo/CountryFile=/g/c.mmdb Geo/AsnFile=/g/a.mmdb Geo/CountryUrl=http://127.0.0.1:19201/c Geo/AsnUrl=http://127.0.0.1:19201/a Geo/RefreshDays=7 Geo/DatacenterFile=/g/dc.txt"},
        PageCase{"ChainBrowsing", [](AppSettings& s) { const ChainBrowsingFields f{"http://127.0.0.1/dest", {"127.0.0.2:80", "127.0.0.3:80", "127.0.0.4:80"}}; ApplyChainBrowsingPage(f, s); return LoadChainBrowsingPage(s) == f; },
                 "Access-Url/AccessUrl=http://127.0.0.1/dest Access-Url/Addr1=127.0.0.2:80 Access-Url/Addr2=127.0.0.3:80 Access-Url/Addr3=127.0.0.4:80"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zandel
