#include "cli/RunSettings.h"

#include <cstdlib>
#include <string>

#include "cli/ConsoleHost.h"
#include "cli/RunOutput.h"
#include "cli/Usage.h"
#include "core/check/JudgePage.h"
#include "core/check/TlsStep.h"
#include "core/fetch/GeoDownload.h"
#include "core/settings/AppSettings.h"
#include "core/util/Texts.h"

namespace zandel::cli {

namespace {

// What the command line says outranks PrxSet.ini.
void ApplyOptions(const Options& options, AppSettings& settings) {
    if (options.url) {
        settings.WebPage = *options.url;
    }
    if (options.timeOut) {
        settings.TimeOut = *options.timeOut;
    }
    if (options.httpVersion) {
        settings.HttpVer = *options.httpVersion;
    }
    if (options.userAgent) {
        settings.UserAgent = *options.userAgent;
    }
    if (options.jobs) {
        settings.ParallelChecks = *options.jobs;
    }
    if (options.https) {
        settings.HttpsCheckOn = true;
    }
    if (options.detect) {
        settings.DetectProxyType = true;
    }
    if (options.httpsTarget) {
        settings.HttpsTarget = *options.httpsTarget;
    }
    if (options.noBaseline) {
        settings.JudgeBaseline = false;
    }
    if (options.fallbackUrl) {
        settings.JudgeFallback = *options.fallbackUrl;
    }
    if (options.strict) {
        settings.JudgeStrict = true;
    }
    if (options.twice) {
        settings.TwiceOn = true;
    }
    if (options.twicePause) {
        settings.TwicePause = *options.twicePause;
    }
    if (!options.sites.empty()) {
        settings.Sites = options.sites;
    }
}

// The key from the command line, else from the environment, else PrxSet.ini's; false after telling why the
// environment's cannot be used.
bool TakeJudgeKey(const Options& options, AppSettings& settings) {
    if (options.judgeKeyShown) {
        Tell("warning: a key given with --judge-key can be read by every user of this machine (ps); use "
             "--judge-key-file FILE or ZANDEL_JUDGE_KEY");
    }
    if (options.judgeKey) {
        settings.JudgeKey = *options.judgeKey;
    } else if (const char* key = std::getenv("ZANDEL_JUDGE_KEY"); key != nullptr && *key != '\0') {
        if (!IsValidJudgeKey(key)) {
            Tell(std::string("ZANDEL_JUDGE_KEY: ") + kJudgeKeyRule);
            return false;
        }
        settings.JudgeKey = key;
    }
    return true;
}

} // namespace

std::optional<int> SettingsForRun(const Options& options, AppSettings& settings,
                                  std::shared_ptr<const TunnelTrust>& trust) {
    settings.StartDir = ".";
    LoadSettings(settings);
    ApplyOptions(options, settings);
    // Bad usage, told as the command line's other faults are, once PrxSet.ini has had its say.
    if (!options.countries.empty() && !options.geoCountry && GeoFilesOf(settings).country.empty()) {
        return RefuseUsage("--country needs a country database (--geo-country FILE)");
    }
    if (!TakeJudgeKey(options, settings)) {
        return 2;
    }
    if (options.caFile) {
        std::string error;
        trust = TunnelTrust::Load(*options.caFile, error);
        if (!trust) {
            return Fail(error);
        }
    }
    if (settings.WebPage.empty()) {
        return Fail(OneLine(texts::kNoAccessUrl));
    }
    return std::nullopt;
}

} // namespace zandel::cli
