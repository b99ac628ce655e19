#include "cli/Options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/Usage.h"
#include "core/settings/AppSettings.h"
#include "core/check/JudgePage.h"
#include "core/fetch/ListFetcher.h"
#include "core/list/ListFile.h"
#include "core/settings/HttpsTarget.h"
#include "core/settings/SettingRanges.h"
#include "core/settings/SettingsTable.h"
#include "core/settings/TimeOut.h"
#include "core/util/FileIo.h"
#include "core/util/UniqueFd.h"

namespace zandel::cli {

namespace {

// What an option does with its value ("" for one that takes none): false to stop reading the command line, after
// writing why to `error` unless the option itself ends it (--help).
using Apply = bool (*)(Options& options, const std::string& value, std::string& error);

// Whether an option takes the next argument: never, always, or only when it reads as the option's value (the
// serve's address, whose default a plain --serve takes).
enum class Takes { Nothing, Value, ValueIfAddress };

struct OptionRow {
    std::string_view name;
    std::string_view alias; // the short form, "" when there is none
    Takes takes;
    Apply apply;
};

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

// strtol's rule, by which the command line has always read its numbers: blanks and a sign may come before the
// digits, nothing after them (a settings box, ParseDialogInt, also takes blanks after).
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

// A number in its range, or the error naming the option (by its long name) and what it must be: `what` and the
// range ("a whole number from 1 to 10000"), the range alone when `what` is empty.
template <typename Field>
bool TakeNumber(const char* name, const std::string& text, int low, int high, const std::string& what, Field& field,
                std::string& error) {
    const std::optional<int> parsed = ParseIntInRange(text, low, high);
    if (!parsed) {
        const std::string mustBe = what.empty() ? RangeText(low, high) : what + " from " + RangeText(low, high);
        error = std::string(name) + " must be " + mustBe + ": " + text;
        return false;
    }
    field = *parsed;
    return true;
}

template <auto Field> bool SetText(Options& options, const std::string& value, std::string&) {
    options.*Field = value;
    return true;
}

template <auto Field> bool SetFlag(Options& options, const std::string&, std::string&) {
    options.*Field = true;
    return true;
}

// --help and --version answer alone: whatever follows them is not read.
template <auto Field> bool SetFlagAndStop(Options& options, const std::string&, std::string&) {
    options.*Field = true;
    return false;
}

constexpr const char* kWholeNumber = "a whole number";
constexpr const char* kWholeSeconds = "a whole number of seconds";

bool SetFetchTimeout(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--fetch-timeout", value, 1, kFetchDeadlineMaxSeconds, kWholeSeconds, options.fetchTimeout,
                      error);
}

bool SetTimeOut(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--timeout", value, kTimeOutRunMin, kTimeOutRunMax, kWholeSeconds, options.timeOut, error);
}

bool SetSaveMode(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--save-mode", value, SaveWithResults, kLastSaveMode, "", options.saveMode, error);
}

bool SetJobs(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--jobs", value, 1, kMaxConsoleParallelChecks, kWholeNumber, options.jobs, error);
}

bool SetMaxRows(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--max-rows", value, 1, kConsoleMaxRows, kWholeNumber, options.maxRows, error);
}

bool SetHistoryDays(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--history-days", value, BoundsOf(&AppSettings::HistoryKeepDays).lowest,
                      BoundsOf(&AppSettings::HistoryKeepDays).highest, kWholeNumber, options.historyDays, error);
}

// One of a few names, or the error naming the option and what it must be.
template <typename Value, typename Field>
bool TakeNamed(const std::optional<Value>& named, const char* mustBe, const std::string& value, Field& field,
               std::string& error) {
    if (!named) {
        error = std::string(mustBe) + ": " + value;
        return false;
    }
    field = *named;
    return true;
}

bool SetHttpVersion(Options& options, const std::string& value, std::string& error) {
    const bool known = value == "1.0" || value == "1.1";
    return TakeNamed(known ? std::optional(value) : std::nullopt, "--http-version must be 1.0 or 1.1", value,
                     options.httpVersion, error);
}

bool SetFormat(Options& options, const std::string& value, std::string& error) {
    return TakeNamed(ParseExportFormat(value), "--format must be txt, csv or json", value, options.format, error);
}

// Taken as the settings page takes its target box: empty stands for the access URL's host.
bool SetHttpsTarget(Options& options, const std::string& value, std::string& error) {
    std::string target;
    if (const FieldCheck check = CheckHttpsTargetField(value, target); !check.ok) {
        error = "--https-target: " + check.message;
        return false;
    }
    options.httpsTarget = target;
    return true;
}

bool TakeJudgeKey(const char* name, const std::string& key, bool shown, Options& options, std::string& error) {
    if (!IsValidJudgeKey(key)) {
        error = std::string(name) + ": " + kJudgeKeyRule;
        return false;
    }
    options.judgeKey = key;
    options.judgeKeyShown = shown;
    return true;
}

bool SetJudgeKey(Options& options, const std::string& value, std::string& error) {
    return TakeJudgeKey("--judge-key", value, true, options, error);
}

bool SetJudgeKeyFile(Options& options, const std::string& value, std::string& error) {
    std::string key;
    return ReadKeyFile(value, key, error) && TakeJudgeKey("--judge-key-file", key, false, options, error);
}

bool SetPlainKind(Options& options, const std::string& value, std::string& error) {
    return TakeNamed(ProxyKindFromName(value), "--type must be http, socks4, socks4a, socks5 or socks5h", value,
                     options.plainKind, error);
}

// Read as the run starts, where a site that cannot be checked is told and left out while the others are checked.
bool AddSite(Options& options, const std::string& value, std::string&) {
    options.sites.push_back(value);
    return true;
}

bool SetTwicePause(Options& options, const std::string& value, std::string& error) {
    return TakeNumber("--twice-pause", value, 0, kTwicePauseMaxSeconds, kWholeSeconds, options.twicePause, error);
}

// "jp,US": two letters each, kept in capitals as the databases write them.
bool SetCountries(Options& options, const std::string& value, std::string& error) {
    std::vector<std::string> codes;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        std::string code = value.substr(at, comma - at);
        for (char& c : code) {
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        if (code.size() != 2 || code.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos) {
            error = "--country must be two-letter country codes separated by commas (JP,US): " + value;
            return false;
        }
        codes.push_back(code);
        if (comma == value.size()) {
            break;
        }
        at = comma + 1;
    }
    options.countries = std::move(codes);
    return true;
}

bool SetDatacenterAsns(Options& options, const std::string& value, std::string& error) {
    std::string text;
    if (const FileResult read = ReadWholeFile(value, text); !read) {
        error = "--datacenter-asns: cannot read " + value + ": " + std::strerror(read.error);
        return false;
    }
    HostingNetworks networks;
    std::string why;
    if (!networks.Read(text, why)) {
        error = "--datacenter-asns: " + value + ": " + why;
        return false;
    }
    options.datacenters = std::move(networks);
    return true;
}

// Each serve option notes that it was given, so that one given without --serve is named.
void NoteServeOption(Options& options, const char* name) {
    if (options.serve.givenAlone.empty()) {
        options.serve.givenAlone = name;
    }
}

bool SetServe(Options& options, const std::string& value, std::string& error) {
    const std::optional<ServeAddress> address =
        value.empty() ? ServeAddress{kServeDefaultHost, kServeDefaultPort} : ParseServeAddress(value);
    if (!address) {
        error = "--serve must be [HOST:]PORT, HOST an IPv4 address, an IPv6 address in brackets or localhost: " + value;
        return false;
    }
    options.serve.on = true;
    options.serve.config.host = address->host;
    options.serve.config.port = address->port;
    return true;
}

bool SetServeTries(Options& options, const std::string& value, std::string& error) {
    NoteServeOption(options, "--serve-tries");
    return TakeNumber("--serve-tries", value, 1, kServeMaxTries, kWholeNumber, options.serve.config.tries, error);
}

bool SetServeStrategy(Options& options, const std::string& value, std::string& error) {
    NoteServeOption(options, "--serve-strategy");
    return TakeNamed(ServeStrategyFromName(value), "--serve-strategy must be fastest, round-robin, random or weighted",
                     value, options.serve.config.strategy, error);
}

bool SetServeSticky(Options& options, const std::string& value, std::string& error) {
    NoteServeOption(options, "--serve-sticky");
    return TakeNumber("--serve-sticky", value, 0, kServeMaxStickyMinutes, "a whole number of minutes",
                      options.serve.config.stickyMinutes, error);
}

bool SetServeAllowLeaky(Options& options, const std::string&, std::string&) {
    NoteServeOption(options, "--serve-allow-leaky");
    options.serve.allowLeaky = true;
    return true;
}

bool SetServePorts(Options& options, const std::string& value, std::string& error) {
    NoteServeOption(options, "--serve-ports");
    return TakeNamed(ParseServePorts(value), "--serve-ports must be ports from 1 to 65535 separated by commas", value,
                     options.serve.config.ports, error);
}

// The login guards every proxy of the pool: a file that others may read is no secret, and is refused.
bool SetServeLoginFile(Options& options, const std::string& value, std::string& error) {
    NoteServeOption(options, "--serve-login-file");
    const UniqueFd file(::open(value.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (!file.IsOpen() || ::fstat(file.Get(), &status) != 0) {
        error = "--serve-login-file: cannot read " + value + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode) || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = "--serve-login-file: " + value + " must be a file only its owner may read (chmod 600)";
        return false;
    }
    char bytes[1024] = {};
    const ssize_t got = ::read(file.Get(), bytes, sizeof bytes);
    options.serve.config.login = ParseServeLogin(std::string_view(bytes, got > 0 ? static_cast<std::size_t>(got) : 0));
    if (!options.serve.config.login) {
        error = "--serve-login-file: the first line of " + value + " must be user:password, each of 1 to 255 bytes";
        return false;
    }
    return true;
}

bool SetRecheck(Options& options, const std::string& value, std::string& error) {
    NoteServeOption(options, "--recheck");
    const IntBounds bounds = BoundsOf(&AppSettings::AutoRecheckMinutes);
    return TakeNumber("--recheck", value, bounds.lowest, bounds.highest, "a whole number of minutes",
                      options.serve.recheckMinutes, error);
}

// "8181", "host:8181": meant as --serve's address, to be taken or refused as one; anything else is the list.
bool LooksLikeServeAddress(std::string_view arg) {
    const std::string_view port = arg.substr(arg.rfind(':') == std::string_view::npos ? 0 : arg.rfind(':') + 1);
    return !port.empty() && port.find_first_not_of("0123456789") == std::string_view::npos;
}

// What the serve options say together, once all are read.
std::string ServeRefusal(const ServeOptions& serve) {
    if (!serve.on) {
        return serve.givenAlone.empty() ? std::string() : serve.givenAlone + " needs --serve";
    }
    if (!IsLoopbackHost(serve.config.host) && !serve.config.login) {
        return "--serve on " + serve.config.host +
               ", which other machines reach, needs --serve-login-file: every proxy of the list would be theirs";
    }
    return {};
}

constexpr Takes kValue = Takes::Value;
constexpr Takes kFlag = Takes::Nothing;

// One row a flag, in the order the usage text tells them.
constexpr OptionRow kOptionRows[] = {
    {"--fetch-timeout", "", kValue, SetFetchTimeout},
    {"--url", "", kValue, SetText<&Options::url>},
    {"--timeout", "", kValue, SetTimeOut},
    {"--http-version", "", kValue, SetHttpVersion},
    {"--user-agent", "", kValue, SetText<&Options::userAgent>},
    {"--save-mode", "", kValue, SetSaveMode},
    {"--jobs", "-j", kValue, SetJobs},
    {"--max-rows", "", kValue, SetMaxRows},
    {"--output", "-o", kValue, SetText<&Options::outputPath>},
    {"--log", "", kValue, SetText<&Options::logPath>},
    {"--format", "", kValue, SetFormat},
    {"--history", "", kValue, SetText<&Options::historyPath>},
    {"--history-days", "", kValue, SetHistoryDays},
    {"--https", "", kFlag, SetFlag<&Options::https>},
    {"--https-target", "", kValue, SetHttpsTarget},
    {"--ca-file", "", kValue, SetText<&Options::caFile>},
    {"--no-baseline", "", kFlag, SetFlag<&Options::noBaseline>},
    {"--fallback-url", "", kValue, SetText<&Options::fallbackUrl>},
    {"--strict", "", kFlag, SetFlag<&Options::strict>},
    {"--judge-key-file", "", kValue, SetJudgeKeyFile},
    {"--judge-key", "", kValue, SetJudgeKey},
    {"--type", "", kValue, SetPlainKind},
    {"--detect", "", kFlag, SetFlag<&Options::detect>},
    {"--site", "", kValue, AddSite},
    {"--twice", "", kFlag, SetFlag<&Options::twice>},
    {"--twice-pause", "", kValue, SetTwicePause},
    {"--geo-country", "", kValue, SetText<&Options::geoCountry>},
    {"--geo-asn", "", kValue, SetText<&Options::geoAsn>},
    {"--country", "", kValue, SetCountries},
    {"--datacenter-asns", "", kValue, SetDatacenterAsns},
    {"--serve", "", Takes::ValueIfAddress, SetServe},
    {"--serve-tries", "", kValue, SetServeTries},
    {"--serve-strategy", "", kValue, SetServeStrategy},
    {"--serve-sticky", "", kValue, SetServeSticky},
    {"--serve-ports", "", kValue, SetServePorts},
    {"--serve-login-file", "", kValue, SetServeLoginFile},
    {"--serve-allow-leaky", "", kFlag, SetServeAllowLeaky},
    {"--recheck", "", kValue, SetRecheck},
    {"--help", "-h", kFlag, SetFlagAndStop<&Options::help>},
    {"--version", "", kFlag, SetFlagAndStop<&Options::version>},
};

const OptionRow* FindOption(std::string_view arg) {
    for (const OptionRow& row : kOptionRows) {
        if (arg == row.name || (!row.alias.empty() && arg == row.alias)) {
            return &row;
        }
    }
    return nullptr;
}

// Anything but an option is the list: false after writing why it cannot be.
bool TakeList(std::string_view arg, bool& haveList, Options& options, std::string& error) {
    if (arg.size() > 1 && arg[0] == '-') {
        error = "unknown option " + std::string(arg);
        return false;
    }
    if (haveList) {
        error = "only one list file can be checked at a time";
        return false;
    }
    options.listPath = std::string(arg);
    haveList = true;
    return true;
}

} // namespace

ParseOutcome ParseOptions(int argc, const char* const* argv) {
    ParseOutcome outcome;
    bool haveList = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const OptionRow* row = FindOption(arg);
        if (row == nullptr) {
            if (!TakeList(arg, haveList, outcome.options, outcome.error)) {
                return outcome;
            }
            continue;
        }
        std::string value;
        if (row->takes == Takes::ValueIfAddress) {
            if (i + 1 < argc && LooksLikeServeAddress(argv[i + 1])) {
                value = argv[++i];
            }
        } else if (row->takes == Takes::Value) {
            if (i + 1 >= argc) {
                // Named as the user wrote it, the short form too.
                outcome.error = std::string(arg) + " needs a value";
                return outcome;
            }
            value = argv[++i];
        }
        if (!row->apply(outcome.options, value, outcome.error)) {
            return outcome;
        }
    }
    if (!haveList) {
        outcome.error = "no list file given";
    } else {
        outcome.error = ServeRefusal(outcome.options.serve);
    }
    return outcome;
}

} // namespace zandel::cli
