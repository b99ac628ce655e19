#include "cli/Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/settings/AppSettings.h"
#include "core/check/JudgePage.h"
#include "core/fetch/ListFetcher.h"
#include "core/history/HistoryStore.h"
#include "core/list/ListFile.h"
#include "core/settings/HttpsTarget.h"
#include "core/settings/TimeOut.h"
#include "core/util/FileIo.h"

namespace zandel::cli {

namespace {

constexpr const char* kKeyRule = "a key of 8 to 256 printable ASCII characters without blanks is needed";

// The key is the file's first line, without its line end.
bool ReadKeyFile(const std::string& path, std::string& key, std::string& error) {
    std::string bytes;
    if (const FileResult read = ReadWholeFile(path, bytes); !read) {
        error = "--judge-key-file: cannot read " + path + ": " + std::strerror(read.error);
        return false;
    }
    key = bytes.substr(0, bytes.find_first_of("\r\n"));
    return true;
}

std::optional<int> ParseIntInRange(const std::string& text, int low, int high) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// The time-outs a run takes, as the usage text and the error name them.
const std::string& TimeOutRange() {
    static const std::string range = std::to_string(kTimeOutRunMin) + " to " + std::to_string(kTimeOutRunMax);
    return range;
}

} // namespace

const char* UsageText() {
    static const std::string text =
        "usage: zandel-check [options] LIST.txt|URL\n"
        "Checks every proxy of a Zandel proxy list through the access URL and writes the list back with\n"
        "the results. The list may be an http:// or https:// URL: it is fetched (certificate checked, at\n"
        "most " +
        std::to_string(kFetchMaxBytes / kMiB) + " MiB, " + std::to_string(kFetchMaxRedirects) +
        " redirects) and read as a list file.\n"
        "  --fetch-timeout SECONDS\n"
        "                       the most a list from a URL may take to come whole, 1 to " +
        std::to_string(kFetchDeadlineMaxSeconds) + " (default " + std::to_string(kFetchDeadlineSeconds) +
        ")\n"
        "  --url URL            access URL   (default: WebPage of PrxSet.ini in the working directory,\n"
        "                       else its default)\n"
        "  --timeout SECONDS    time-out, " +
        TimeOutRange() + " (default: TimeOut of PrxSet.ini, else " + std::to_string(kTimeOutDefault) +
        ")\n"
        "  --http-version V     1.0 or 1.1   (default: HttpVer)\n"
        "  --user-agent TEXT    (default: UserAgent)\n"
        "  --save-mode N        1 to 8, the list file's save modes (default 1: with results)\n"
        "                       1 with results, 2 all addresses, 3 all but NG, 4 Anonymous(A) and (B),\n"
        "                       5 Non-Anonymous, 6 HTTPS OK, 7 HTTP proxies, 8 SOCKS proxies\n"
        "  -j, --jobs N         proxies checked at once, 1 to " +
        std::to_string(kMaxConsoleParallelChecks) +
        " (default: Count of [ProxyParallel], else 1)\n"
        "  --max-rows N         the most rows read from the list, 1 to 1000000 (default 1000)\n"
        "  -o, --output FILE    write the checked list there (default: standard output)\n"
        "  --log FILE           write the check transcript there (default: standard error)\n"
        "  --format F           txt (the list file, the default), csv (with a header row) or json (an\n"
        "                       array of objects); the rows are those of --save-mode\n"
        "  --history FILE       record every check in this SQLite history file (e.g. history.sqlite)\n"
        "  --history-days N     keep N days of history, 1 to 3650 (default: KeepDays of\n"
        "                       [History], else " +
        std::to_string(kHistoryKeepDaysDefault) +
        ")\n"
        "  --https              also check HTTPS through each proxy: CONNECT, then TLS with the\n"
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
        "                       write the kind found into the list (default: Detect of [ProxyType])\n"
        "Entries: host:port, scheme://[user[:password]@]host:port (escapes as %40 in user and\n"
        "password), user:password@host:port and host:port:user:password; IPv6 hosts in brackets.\n"
        "  -h, --help\n"
        "  --version\n"
        "A second Ctrl+C ends at once, even during a name lookup.\n"
        "Exit status: 0 the run completed, 1 the run was interrupted, could not start or could not check\n"
        "every proxy, or the list or the --log transcript could not be written whole (what was checked\n"
        "is still written where possible), 2 bad usage or unusable input, or a judge key that the judge\n"
        "does not verify with (no proxy is checked then).\n";
    return text.c_str();
}

ParseOutcome ParseOptions(int argc, const char* const* argv) {
    ParseOutcome outcome;
    Options& options = outcome.options;
    bool haveList = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                outcome.error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        // A whole number in its range, or the error naming the option (by its long name) and what it must be.
        auto number = [&](const char* name, int low, int high, const std::string& mustBe) -> std::optional<int> {
            std::string text;
            if (!value(text)) {
                return std::nullopt;
            }
            const std::optional<int> parsed = ParseIntInRange(text, low, high);
            if (!parsed) {
                outcome.error = std::string(name) + " must be " + mustBe + ": " + text;
            }
            return parsed;
        };
        std::string text;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return outcome;
        } else if (arg == "--version") {
            options.version = true;
            return outcome;
        } else if (arg == "--url") {
            if (!value(text)) {
                return outcome;
            }
            options.url = text;
        } else if (arg == "--fetch-timeout") {
            const std::optional<int> seconds =
                number("--fetch-timeout", 1, kFetchDeadlineMaxSeconds,
                       "a whole number of seconds from 1 to " + std::to_string(kFetchDeadlineMaxSeconds));
            if (!seconds) {
                return outcome;
            }
            options.fetchTimeout = *seconds;
        } else if (arg == "--timeout") {
            options.timeOut =
                number("--timeout", kTimeOutRunMin, kTimeOutRunMax, "a whole number of seconds from " + TimeOutRange());
            if (!options.timeOut) {
                return outcome;
            }
        } else if (arg == "--http-version") {
            if (!value(text)) {
                return outcome;
            }
            if (text != "1.0" && text != "1.1") {
                outcome.error = "--http-version must be 1.0 or 1.1: " + text;
                return outcome;
            }
            options.httpVersion = text;
        } else if (arg == "--user-agent") {
            if (!value(text)) {
                return outcome;
            }
            options.userAgent = text;
        } else if (arg == "--save-mode") {
            const std::optional<int> mode = number("--save-mode", SaveWithResults, kLastSaveMode, "1 to 8");
            if (!mode) {
                return outcome;
            }
            options.saveMode = *mode;
        } else if (arg == "-j" || arg == "--jobs") {
            options.jobs = number("--jobs", 1, kMaxConsoleParallelChecks,
                                  "a whole number from 1 to " + std::to_string(kMaxConsoleParallelChecks));
            if (!options.jobs) {
                return outcome;
            }
        } else if (arg == "--max-rows") {
            const std::optional<int> rows = number("--max-rows", 1, 1000000, "a whole number from 1 to 1000000");
            if (!rows) {
                return outcome;
            }
            options.maxRows = *rows;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(text)) {
                return outcome;
            }
            options.outputPath = text;
        } else if (arg == "--log") {
            if (!value(text)) {
                return outcome;
            }
            options.logPath = text;
        } else if (arg == "--format") {
            if (!value(text)) {
                return outcome;
            }
            const std::optional<ExportFormat> format = ParseExportFormat(text);
            if (!format) {
                outcome.error = "--format must be txt, csv or json: " + text;
                return outcome;
            }
            options.format = *format;
        } else if (arg == "--history") {
            if (!value(text)) {
                return outcome;
            }
            options.historyPath = text;
        } else if (arg == "--history-days") {
            const std::optional<int> days = number("--history-days", 1, 3650, "a whole number from 1 to 3650");
            if (!days) {
                return outcome;
            }
            options.historyDays = *days;
        } else if (arg == "--https") {
            options.https = true;
        } else if (arg == "--https-target") {
            if (!value(text)) {
                return outcome;
            }
            // Taken as the settings page takes its target box: empty stands for the access URL's host.
            std::string target;
            if (const FieldCheck check = CheckHttpsTargetField(text, target); !check.ok) {
                outcome.error = "--https-target: " + check.message;
                return outcome;
            }
            options.httpsTarget = target;
        } else if (arg == "--ca-file") {
            if (!value(text)) {
                return outcome;
            }
            options.caFile = text;
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (arg == "--no-baseline") {
            options.noBaseline = true;
        } else if (arg == "--fallback-url") {
            if (!value(text)) {
                return outcome;
            }
            options.fallbackUrl = text;
        } else if (arg == "--judge-key" || arg == "--judge-key-file") {
            if (!value(text)) {
                return outcome;
            }
            const bool inFile = arg == "--judge-key-file";
            if (inFile && !ReadKeyFile(text, text, outcome.error)) {
                return outcome;
            }
            if (!IsValidJudgeKey(text)) {
                outcome.error = std::string(arg) + ": " + kKeyRule;
                return outcome;
            }
            options.judgeKey = text;
            options.judgeKeyShown = !inFile;
        } else if (arg == "--type") {
            if (!value(text)) {
                return outcome;
            }
            const std::optional<ProxyKind> kind = ProxyKindFromName(text);
            if (!kind) {
                outcome.error = "--type must be http, socks4, socks4a, socks5 or socks5h: " + text;
                return outcome;
            }
            options.plainKind = *kind;
        } else if (arg == "--detect") {
            options.detect = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            outcome.error = "unknown option " + std::string(arg);
            return outcome;
        } else if (haveList) {
            outcome.error = "only one list file can be checked at a time";
            return outcome;
        } else {
            options.listPath = std::string(arg);
            haveList = true;
        }
    }
    if (!haveList) {
        outcome.error = "no list file given";
    }
    return outcome;
}

} // namespace zandel::cli
