#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/fetch/AddressClass.h"

namespace zandel {

// What a list fetched from the web may cost at most.
inline constexpr std::size_t kMiB = std::size_t{1024} * 1024;
inline constexpr std::size_t kFetchMaxBytes = 16 * kMiB;
inline constexpr long kFetchMaxRedirects = 5;
// Seconds a whole fetch may take, redirects and all: a server that drips its list holds nobody longer.
inline constexpr long kFetchDeadlineSeconds = 60;
inline constexpr int kFetchDeadlineMaxSeconds = 3600;

struct FetchOptions {
    std::size_t maxBytes = kFetchMaxBytes;
    long maxRedirects = kFetchMaxRedirects;
    long connectTimeoutSeconds = 30;
    // A body that brings less than a byte a second for this long is given up; so is any fetch that lasts longer
    // than the whole time.
    long stallSeconds = 30;
    long wholeSeconds = kFetchDeadlineSeconds;
    // A PEM file of CA certificates trusted besides the system's.
    std::optional<std::string> caFile;
    // Through this proxy ("host:port" for HTTP, or "scheme://[user:password@]host:port"); directly when none.
    std::optional<std::string> proxy;
    // Set from another thread to give the fetch up; it then ends within about a second.
    const std::atomic<bool>* cancel = nullptr;
    // How an address is classed when a redirect leads to it; tests stand a loopback address in for a public one.
    AddressClassifier classify = ClassOfAddress;
};

// Why a fetch failed, for a message that names the cause.
enum class FetchFailure {
    None,
    HttpStatus,
    TooLarge,
    NotHttp,
    Certificate,
    TimedOut,
    Deadline, // the whole fetch took longer than its time
    Redirects,
    LocalRedirect, // from a public address into this machine or its network
    Connect,
    Cancelled,
    Other
};

struct FetchResult {
    bool ok = false;
    std::string body;  // the whole body when ok
    std::string error; // why not, on one line
    long status = 0;   // the HTTP status of the last answer, 0 when none came
    FetchFailure failure = FetchFailure::None;
    std::string redirect; // where a redirect that was refused led (NotHttp, LocalRedirect)
    long seconds = 0;     // the time that ran out (Deadline)
};

// Whether the text names a list on the web rather than a file: it begins with "http://" or "https://", in any
// letter case.
bool IsListUrl(std::string_view text);
// Whether the text is written as a URL of any scheme ("file:///...", "ftp://..."): a letter, then letters,
// digits, "+", "-" or ".", then "://".
bool LooksLikeUrl(std::string_view text);
// The URL for the eyes and for keeping: its login ("user:password@") is left out, wherever it is shown or kept,
// a redirect's included.
std::string ShownUrl(const std::string& url);

// Fetches an http or https URL whole: certificates checked, redirects followed up to the limit, only to http or
// https and never from a public address to a loopback, link-local or private one, a body past the size cap refused,
// an answer of 400 or more a failure, the whole within its time. Blocks the calling thread.
FetchResult FetchUrl(const std::string& url, const FetchOptions& options = {});

} // namespace zandel
