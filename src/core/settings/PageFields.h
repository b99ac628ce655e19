#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/settings/AccessUrlList.h"
#include "core/settings/AppSettings.h"

namespace zandel {

// What the settings pages beside the check page (CheckPage.h) edit. A page loads its fields when it opens and hands
// them back whole on Apply; none of them writes a setting itself.

// "接続先URL": the list with the current access URL, and the judge's options.
struct AccessUrlPageFields {
    AccessUrlList List;
    bool JudgeStrict = false;
    std::string JudgeKey;
    bool operator==(const AccessUrlPageFields&) const = default;
};

AccessUrlPageFields LoadAccessUrlPage(const AppSettings& settings);
// True when the list held more entries than can be stored, which the user is told (AccessUrlList::Apply).
bool ApplyAccessUrlPage(const AccessUrlPageFields& fields, AppSettings& settings);

// "お気に入りﾌﾟﾛｷｼﾘｽﾄ".
struct FavouritesPageFields {
    bool FavoOn = true;
    std::vector<std::string> Favourites;
    bool operator==(const FavouritesPageFields&) const = default;
};

FavouritesPageFields LoadFavouritesPage(const AppSettings& settings);
// The list replaces the stored one, at most 50 entries.
void ApplyFavouritesPage(const FavouritesPageFields& fields, AppSettings& settings);

// "自動再ﾁｪｯｸ": the re-checks and how long the history keeps its checks.
struct RecheckPageFields {
    bool AutoRecheck = false;
    int AutoRecheckMinutes = kRecheckMinutesDefault;
    bool Failover = false;
    bool RefetchList = false;
    int HistoryKeepDays = kHistoryKeepDaysDefault;
    bool operator==(const RecheckPageFields&) const = default;
};

RecheckPageFields LoadRecheckPage(const AppSettings& settings);
void ApplyRecheckPage(const RecheckPageFields& fields, AppSettings& settings);

// "ﾛｰｶﾙﾌﾟﾛｷｼ": the local proxy the window serves ([Serve]); whether they may be stored is the serve's rule
// (ServePageProblem, core/serve/ServeSettings.h).
struct ServePageFields {
    std::string Listen;
    bool Favourites = false; // the live favourites rather than the list's live rows
    std::string Strategy;
    int Tries = 0;
    int Sticky = 0;
    int MaxClients = 0;
    std::string Ports;
    bool AllowLeaky = false;
    std::string User;
    std::string Password;
    bool operator==(const ServePageFields&) const = default;
};

inline constexpr const char* kServePoolLive = "live";
inline constexpr const char* kServePoolFavourites = "favourites";

ServePageFields LoadServePage(const AppSettings& settings);
void ApplyServePage(const ServePageFields& fields, AppSettings& settings);

// "位置情報": the offline databases, where each is fetched from and how often, and the hosting networks' list.
struct GeoPageFields {
    std::string CountryFile;
    std::string CountryUrl;
    std::string AsnFile;
    std::string AsnUrl;
    int RefreshDays = kGeoRefreshDaysDefault;
    std::string DatacenterFile;
    bool operator==(const GeoPageFields&) const = default;
};

GeoPageFields LoadGeoPage(const AppSettings& settings);
void ApplyGeoPage(const GeoPageFields& fields, AppSettings& settings);

// "ﾌﾞﾗｳｼﾞﾝｸﾞ" of the chain sheet: the destination and the three chain proxies, Addr1 to Addr3.
struct ChainBrowsingFields {
    std::string AccessUrl;
    std::array<std::string, 3> Proxies;
    bool operator==(const ChainBrowsingFields&) const = default;
};

ChainBrowsingFields LoadChainBrowsingPage(const AppSettings& settings);
void ApplyChainBrowsingPage(const ChainBrowsingFields& fields, AppSettings& settings);

} // namespace zandel
