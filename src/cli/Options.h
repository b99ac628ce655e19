#pragma once

#include <optional>
#include <string>

#include "core/list/CheckExport.h"
#include "core/fetch/ListFetcher.h"
#include "core/util/ProxyAddress.h"

namespace zandel::cli {

struct Options {
    std::string listPath;
    std::optional<std::string> url;
    long fetchTimeout = kFetchDeadlineSeconds; // seconds a list from a URL may take to come whole
    std::optional<int> timeOut;
    std::optional<std::string> httpVersion;
    std::optional<std::string> userAgent;
    int saveMode = 1;
    std::optional<int> jobs;
    int maxRows = 1000;
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
    bool help = false;
    bool version = false;
};

struct ParseOutcome {
    Options options;
    std::string error; // empty when the command line is good
};

ParseOutcome ParseOptions(int argc, const char* const* argv);

} // namespace zandel::cli
