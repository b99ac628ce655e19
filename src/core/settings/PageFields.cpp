#include "core/settings/PageFields.h"

#include "core/settings/ListText.h"

namespace zandel {

AccessUrlPageFields LoadAccessUrlPage(const AppSettings& settings) {
    AccessUrlPageFields fields;
    fields.List.Open(settings);
    fields.JudgeStrict = settings.JudgeStrict;
    fields.JudgeKey = settings.JudgeKey;
    return fields;
}

bool ApplyAccessUrlPage(const AccessUrlPageFields& fields, AppSettings& settings) {
    settings.JudgeStrict = fields.JudgeStrict;
    settings.JudgeKey = fields.JudgeKey;
    return fields.List.Apply(settings);
}

FavouritesPageFields LoadFavouritesPage(const AppSettings& settings) {
    return {settings.FavoOn, ListEntries(settings, SettingsList::Favourites)};
}

void ApplyFavouritesPage(const FavouritesPageFields& fields, AppSettings& settings) {
    StoreList(settings, SettingsList::Favourites, fields.Favourites);
    settings.FavoOn = fields.FavoOn;
}

RecheckPageFields LoadRecheckPage(const AppSettings& settings) {
    return {settings.AutoRecheck, settings.AutoRecheckMinutes, settings.Failover, settings.RefetchList,
            settings.HistoryKeepDays};
}

GeoPageFields LoadGeoPage(const AppSettings& settings) {
    return {settings.GeoCountryFile, settings.GeoCountryUrl,  settings.GeoAsnFile,
            settings.GeoAsnUrl,      settings.GeoRefreshDays, settings.GeoDatacenterFile};
}

void ApplyGeoPage(const GeoPageFields& fields, AppSettings& settings) {
    settings.GeoCountryFile = fields.CountryFile;
    settings.GeoCountryUrl = fields.CountryUrl;
    settings.GeoAsnFile = fields.AsnFile;
    settings.GeoAsnUrl = fields.AsnUrl;
    settings.GeoRefreshDays = fields.RefreshDays;
    settings.GeoDatacenterFile = fields.DatacenterFile;
}

void ApplyRecheckPage(const RecheckPageFields& fields, AppSettings& settings) {
    settings.AutoRecheck = fields.AutoRecheck;
    settings.AutoRecheckMinutes = fields.AutoRecheckMinutes;
    settings.Failover = fields.Failover;
    settings.RefetchList = fields.RefetchList;
    settings.HistoryKeepDays = fields.HistoryKeepDays;
}

ServePageFields LoadServePage(const AppSettings& settings) {
    ServePageFields fields;
    fields.Listen = settings.ServeListen;
    fields.Favourites = settings.ServePoolRows == kServePoolFavourites;
    fields.Strategy = settings.ServeStrategyName;
    fields.Tries = settings.ServeTries;
    fields.Sticky = settings.ServeSticky;
    fields.MaxClients = settings.ServeMaxClients;
    fields.Ports = settings.ServePorts;
    fields.AllowLeaky = settings.ServeAllowLeaky;
    fields.User = settings.ServeUser;
    fields.Password = settings.ServePassword;
    return fields;
}

void ApplyServePage(const ServePageFields& fields, AppSettings& settings) {
    settings.ServeListen = fields.Listen;
    settings.ServePoolRows = fields.Favourites ? kServePoolFavourites : kServePoolLive;
    settings.ServeStrategyName = fields.Strategy;
    settings.ServeTries = fields.Tries;
    settings.ServeSticky = fields.Sticky;
    settings.ServeMaxClients = fields.MaxClients;
    settings.ServePorts = fields.Ports;
    settings.ServeAllowLeaky = fields.AllowLeaky;
    settings.ServeUser = fields.User;
    settings.ServePassword = fields.Password;
}

ChainBrowsingFields LoadChainBrowsingPage(const AppSettings& settings) {
    return {settings.AccessUrl, {settings.Addr1, settings.Addr2, settings.Addr3}};
}

void ApplyChainBrowsingPage(const ChainBrowsingFields& fields, AppSettings& settings) {
    settings.AccessUrl = fields.AccessUrl;
    settings.Addr1 = fields.Proxies[0];
    settings.Addr2 = fields.Proxies[1];
    settings.Addr3 = fields.Proxies[2];
}

} // namespace zandel
