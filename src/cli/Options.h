#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/geo/HostingNetworks.h"
#include "core/list/CheckExport.h"
#include "core/fetch/ListFetcher.h"
#include "core/list/ListFile.h"
#include "core/list/ProxyRow.h"
#include "core/serve/ServeConfig.h"
#include "core/settings/SettingRanges.h"
#include "core/util/ProxyAddress.h"

namespace zandel::cli {

// The most rows the console reads from a list: what a million rows cost is kept small (core/list/CompactRows.h).
inline constexpr int kConsoleMaxRows = 1000000;

// Why a judge key, from the command line or the environment, cannot be used.
inline constexpr const char* kJudgeKeyRule = "a key of 8 to 256 printable ASCII characters without blanks is needed";

// --serve and the options that shape it.
struct ServeOptions {
    bool on = false;
    ServeConfig config;
    bool allowLeaky = false;
    int recheckMinutes = kRecheckMinutesDefault;
    std::string givenAlone; // the first serve option given, which means nothing without --serve
};

struct Options {
    std::string listPath;
    std::optional<std::string> url;
    long fetchTimeout = kFetchDeadlineSeconds; // seconds a list from a URL may take to come whole
    std::optional<int> timeOut;
    std::optional<std::string> httpVersion;
    std::optional<std::string> userAgent;
    int saveMode = SaveWithResults;
    std::optional<int> jobs;
    int maxRows = MaxListRows; // as many as the window holds
    std::optional<std::string> outputPath;
    std::optional<std::string> logPath;
    bool https = false;
    std::optional<std::string> httpsTarget;
    std::optional<std::string> caFile;
    bool strict = false;
    bool noBaseline = false;
    std::optional<std::string> fallbackUrl;
    std::optional<std::string> judgeKey;
    bool judgeKeyShown = false; // given as --judge-key, where other users see it
    ExportFormat format = ExportFormat::Txt;
    std::optional<std::string> historyPath;
    int historyDays = 0; // 0: the default
    ProxyKind plainKind = ProxyKind::Http;
    bool detect = false;
    std::optional<std::string> geoCountry; // the offline databases of countries and networks (ASN)
    std::optional<std::string> geoAsn;
    std::vector<std::string> countries;         // --country: the ISO codes whose rows are written, in capitals
    std::optional<HostingNetworks> datacenters; // --datacenter-asns, in place of the program's own list
    std::vector<std::string> sites;             // --site URL[=KEYWORD], as given: read when the run starts
    bool twice = false;                         // else On of [Twice]
    std::optional<int> twicePause;              // else Pause of [Twice]
    ServeOptions serve;
    bool help = false;
    bool version = false;
};

struct ParseOutcome {
    Options options;
    std::string error; // empty when the command line is good
};

ParseOutcome ParseOptions(int argc, const char* const* argv);

} // namespace zandel::cli
