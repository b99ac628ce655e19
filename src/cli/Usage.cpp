#include "cli/Usage.h"

#include <cstdio>
#include <string>

#include "core/app/CommandLine.h"
#include "core/check/JudgePage.h"
#include "core/list/SiteClass.h"
#include "core/fetch/ListFetcher.h"
#include "core/history/HistoryStore.h"
#include "core/serve/ServeConfig.h"
#include "core/settings/AppSettings.h"
#include "core/settings/SettingRanges.h"
#include "core/settings/SettingsTable.h"
#include "core/settings/TimeOut.h"
#include "core/util/FileIo.h"

namespace zandel::cli {

namespace {

// What is checked, and how.
std::string UsageOfTheCheck() {
    return "usage: zandel-check [options] LIST.txt|URL\n"
           "Checks every proxy of a Zandel proxy list through the access URL and writes the list back with\n"
           "the results. The list may be an http:// or https:// URL: it is fetched (certificate checked, at\n"
           "most " +
           std::to_string(kFetchMaxBytes / kMiB) + " MiB, " + std::to_string(kFetchMaxRedirects) +
           " redirects) and read as a list file.\n"
           "  --fetch-timeout SECONDS\n"
           "                       the most a list from a URL may take to come whole, " +
           RangeText(1, kFetchDeadlineMaxSeconds) + " (default " + std::to_string(kFetchDeadlineSeconds) +
           ")\n"
           "  --url URL            access URL   (default: WebPage of PrxSet.ini in the working directory,\n"
           "                       else its default)\n"
           "  --timeout SECONDS    time-out, " +
           RangeText(kTimeOutRunMin, kTimeOutRunMax) + " (default: TimeOut of PrxSet.ini, else " +
           std::to_string(kTimeOutDefault) +
           ")\n"
           "  --http-version V     1.0 or 1.1   (default: HttpVer)\n"
           "  --user-agent TEXT    (default: UserAgent)\n"
           "  --save-mode N        " +
           RangeText(SaveWithResults, kLastSaveMode) + ", the list file's save modes (default " +
           std::to_string(SaveWithResults) +
           ": with results)\n"
           "                       1 with results, 2 all addresses, 3 all but NG, 4 Anonymous(A) and (B),\n"
           "                       5 Non-Anonymous, 6 HTTPS OK, 7 HTTP proxies, 8 SOCKS proxies\n"
           "  -j, --jobs N         proxies checked at once, " +
           RangeText(1, kMaxConsoleParallelChecks) +
           " (default: Count of [ProxyParallel], else 1)\n"
           "  --max-rows N         the most rows read from the list, " +
           RangeText(1, kConsoleMaxRows) + " (default " + std::to_string(MaxListRows) + ")\n";
}

// Where the results go.
std::string UsageOfTheResults() {
    return "  -o, --output FILE    write the checked list there (default: standard output)\n"
           "  --log FILE           write the check transcript there (default: standard error)\n"
           "  --format F           txt (the list file, the default), csv (with a header row) or json (an\n"
           "                       array of objects); the rows are those of --save-mode\n"
           "  --history FILE       record every check in this SQLite history file (e.g. history.sqlite)\n"
           "  --history-days N     keep N days of history, " +
           RangeText(BoundsOf(&AppSettings::HistoryKeepDays).lowest, BoundsOf(&AppSettings::HistoryKeepDays).highest) +
           " (default: KeepDays of\n"
           "                       [History], else " +
           std::to_string(kHistoryKeepDaysDefault) + ")\n";
}

// The HTTPS step, the judge and the kinds of proxy.
std::string UsageOfTheJudge() {
    return "  --https              also check HTTPS through each proxy: CONNECT, then TLS with the\n"
           "                       certificate verified (default: On of [HttpsCheck])\n"
           "  --https-target HOST:PORT\n"
           "                       the HTTPS server reached (default: Target of [HttpsCheck], else the\n"
           "                       access URL's host on port 443)\n"
           "  --ca-file FILE       a PEM file of CA certificates trusted besides the system's\n"
           "  --no-baseline        do not ask the judge directly first: grade by the names of the headers\n"
           "                       alone, not by our address found in any of them (default: Baseline of\n"
           "                       [Judge], on)\n"
           "  --fallback-url URL   a second judge, which the run moves to when the first stops answering\n"
           "                       (default: Fallback of [Judge])\n"
           "  --strict             grade each proxy against what the judge shows when asked directly\n"
           "                       (default: Strict of [Judge])\n"
           "  --judge-key-file FILE\n"
           "                       the signed judge's key, the first line of FILE: every page must carry\n"
           "                       the judge's signature for its own request (default: the environment's\n"
           "                       ZANDEL_JUDGE_KEY, else Key of [Judge])\n"
           "  --judge-key KEY      the same, given on the command line, where every user of this machine\n"
           "                       can read it (ps): prefer the file or ZANDEL_JUDGE_KEY\n"
           "  --type KIND          what a plain host:port entry is: http, socks4, socks4a, socks5 or\n"
           "                       socks5h (default http); an entry written as KIND://host:port says it\n"
           "  --detect             try a plain host:port entry as HTTP, then SOCKS5, then SOCKS4, and\n"
           "                       write the kind found into the list (default: Detect of [ProxyType])\n";
}

// The sites the user cares about.
std::string UsageOfTheSites() {
    return "  --site URL[=KEYWORD]\n"
           "                       after a proxy passes, fetch this http:// or https:// page through it\n"
           "                       (certificate verified) within the same time-out, and class what it\n"
           "                       answered: reached (2xx, with KEYWORD on the page when given), captcha\n"
           "                       (a challenge page), blocked (403, 451), rate-limited (429),\n"
           "                       block-redirect (a redirect to another site or to a block or consent\n"
           "                       page; not followed), keyword-missing or failed; at most " +
           std::to_string(kMaxSites) +
           " sites, each\n"
           "                       a CSV column and a key of the JSON rows' \"sites\" (null for a proxy that\n"
           "                       failed). A site with a login, a KEYWORD of more than one line or a URL\n"
           "                       that cannot be fetched is told and left out\n";
}

// Where each proxy leaves to the Internet, and the second look.
std::string UsageOfThePlaces() {
    return "  --twice              ask each proxy that passed again, on a fresh connection after a pause\n"
           "                       (default: On of [Twice]): one that fails then is graded \"不安定\"\n"
           "                       (saved as NG)\n"
           "  --twice-pause SECONDS\n"
           "                       the pause before the second look, " +
           RangeText(0, kTwicePauseMaxSeconds) + " (default: Pause of [Twice], else " +
           std::to_string(kTwicePauseDefaultSeconds) +
           ")\n"
           "  --geo-country FILE   a country database (.mmdb, e.g. DB-IP's IP to Country Lite): the country\n"
           "                       of the address the judge saw (else of the proxy's own) goes into the\n"
           "                       CSV and JSON rows as country and country_name (default: CountryFile\n"
           "                       of [Geo])\n"
           "  --geo-asn FILE       an ASN database (.mmdb, e.g. DB-IP's IP to ASN Lite): asn, as_name and\n"
           "                       datacenter (the network is a cloud's or a hosting company's) (default:\n"
           "                       AsnFile of [Geo])\n"
           "  --country CC[,CC]    write only the rows whose proxies leave in these countries (JP,US)\n"
           "  --datacenter-asns FILE\n"
           "                       the hosting networks, one AS number a line (default: DatacenterFile of\n"
           "                       [Geo], else the program's own list of the largest clouds and hosting\n"
           "                       companies)\n";
}

// The local proxy over the live rows.
std::string UsageOfTheServe() {
    const IntBounds recheck = BoundsOf(&AppSettings::AutoRecheckMinutes);
    return "  --serve [[HOST:]PORT]\n"
           "                       after the check, serve the live rows as one local proxy on PORT until\n"
           "                       Ctrl+C (HOST 127.0.0.1 unless given; both left out, " +
           std::string(kServeDefaultHost) + ":" + std::to_string(kServeDefaultPort) +
           "): HTTP,\n"
           "                       CONNECT, SOCKS5 and SOCKS4/4a on the one port, each connection through\n"
           "                       one proxy of the pool, the next one tried when it fails before answering\n"
           "  --serve-tries N      proxies tried for one connection, " +
           RangeText(1, kServeMaxTries) + " (default " + std::to_string(kServeDefaultTries) +
           ")\n"
           "  --serve-strategy S   fastest, round-robin, random or weighted (by response time, the default)\n"
           "  --serve-sticky MINUTES\n"
           "                       a client keeps its proxy for one host this long, " +
           RangeText(0, kServeMaxStickyMinutes) + " (default " + std::to_string(kServeDefaultStickyMinutes) +
           ", 0 off)\n"
           "  --serve-ports LIST   the ports clients may reach, e.g. 80,443,8080 (default 80,443)\n"
           "  --serve-login-file FILE\n"
           "                       user:password on FILE's first line, asked of every client; FILE must be\n"
           "                       readable by its owner alone; needed to serve on a non-loopback HOST\n"
           "  --serve-allow-leaky  also serve Non-Anonymous proxies, which tell sites your address\n"
           "  --recheck MINUTES    check the list again and renew the pool every MINUTES, " +
           RangeText(recheck.lowest, recheck.highest) + " (default " + std::to_string(kRecheckMinutesDefault) + ")\n";
}

// The entries a list holds, and how the tool ends.
std::string UsageOfTheEnd() {
    return "Entries: host:port, scheme://[user[:password]@]host:port (escapes as %40 in user and\n"
           "password), user:password@host:port and host:port:user:password; IPv6 hosts in brackets.\n"
           "  -h, --help\n"
           "  --version\n"
           "A second Ctrl+C ends at once, even during a name lookup.\n"
           "Exit status: 0 the run completed, 1 the run was interrupted, could not start or could not check\n"
           "every proxy, or the list or the --log transcript could not be written whole (what was checked\n"
           "is still written where possible), 2 bad usage or unusable input, or a judge key that the judge\n"
           "does not verify with (no proxy is checked then). With --serve, 0 once a Ctrl+C or SIGTERM ends the\n"
           "serve, 1 when its port cannot be had.\n";
}

} // namespace

std::string RangeText(int lowest, int highest) {
    return std::to_string(lowest) + " to " + std::to_string(highest);
}

const char* UsageText() {
    static const std::string text = UsageOfTheCheck() + UsageOfTheResults() + UsageOfTheJudge() + UsageOfTheSites() +
                                    UsageOfThePlaces() + UsageOfTheServe() + UsageOfTheEnd();
    return text.c_str();
}

std::optional<int> AnswerWithoutRun(const ParseOutcome& parsed) {
    if (parsed.options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::fputs(VersionText("zandel-check").c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        return RefuseUsage(parsed.error);
    }
    return std::nullopt;
}

int RefuseUsage(const std::string& error) {
    std::fprintf(stderr, "zandel-check: %s\nTry 'zandel-check --help'.\n", error.c_str());
    return 2;
}

} // namespace zandel::cli
