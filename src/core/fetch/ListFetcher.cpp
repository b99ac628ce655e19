#include "core/fetch/ListFetcher.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>

#include <sys/socket.h>

#include <curl/curl.h>

#include "core/util/OpenSsl.h"
#include "core/util/SharedLibrary.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

struct Transfer {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

// Where the hops of one fetch may lead: once one has reached a public address, no later one may go into this
// machine or its network (a URL that starts there may stay there). Directly, each address is judged as a socket
// is opened for it, before anything is connected, since a name may resolve anywhere; through a proxy, which
// resolves names out of our sight, by the host as written, a name counting as public.
class HopGuard final {
public:
    HopGuard(AddressClassifier classify, bool viaProxy) : m_classify(classify), m_viaProxy(viaProxy) {}

    // Each hop as it begins; false when its host as written is refused.
    bool Enter(const std::string& url) {
        m_publicBefore = m_publicBefore || m_publicNow;
        if (!m_viaProxy) {
            return true;
        }
        return Allows(ClassOfUrlHost(url, m_classify).value_or(AddressClass::Public));
    }
    // False when the hop must not reach an address of this class.
    bool Allows(AddressClass reached) {
        if (reached == AddressClass::Public) {
            m_publicNow = true;
        } else if (m_publicBefore) {
            m_refused = true;
        }
        return !m_refused;
    }
    AddressClassifier Classify() const { return m_classify; }
    bool Refused() const { return m_refused; }

private:
    AddressClassifier m_classify;
    bool m_viaProxy;
    bool m_publicBefore = false;
    bool m_publicNow = false;
    bool m_refused = false;
};

curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    auto& guard = *static_cast<HopGuard*>(user);
    if (!guard.Allows(guard.Classify()(address->addr))) {
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    // A server that gives no length, or lies about it, is held to the cap here.
    if (transfer.body.size() + bytes > transfer.maxBytes) {
        transfer.tooLarge = true;
        return 0;
    }
    transfer.body.append(data, bytes);
    return bytes;
}

// Adds the extra CA file to the system's store rather than putting it in the store's place.
CURLcode AddCaFile(CURL*, void* sslContext, void* user) {
    const OpenSslApi& ssl = OpenSsl();
    if (!ssl.error.empty()) {
        return CURLE_SSL_CACERT_BADFILE;
    }
    const auto* caFile = static_cast<const std::string*>(user);
    X509_STORE* store = ssl.SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    return ssl.X509_STORE_load_locations(store, caFile->c_str(), nullptr) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel->load() ? 1 : 0;
}

FetchFailure FailureOf(CURLcode code) {
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
        return FetchFailure::NotHttp;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return FetchFailure::Certificate;
    case CURLE_OPERATION_TIMEDOUT:
        return FetchFailure::TimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return FetchFailure::Connect;
    case CURLE_ABORTED_BY_CALLBACK:
        return FetchFailure::Cancelled;
    default:
        return FetchFailure::Other;
    }
}

// libcurl is loaded on the first fetch, not linked (it and the thirty-odd libraries it needs: see
// core/util/SharedLibrary.h).
struct CurlApi {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_easy_init) init = nullptr;
    decltype(&curl_easy_setopt) setopt = nullptr;
    decltype(&curl_easy_perform) perform = nullptr;
    decltype(&curl_easy_getinfo) getinfo = nullptr;
    decltype(&curl_easy_strerror) strerror = nullptr;
    decltype(&curl_easy_cleanup) cleanup = nullptr;
    std::string error; // why it could not be loaded; empty once loaded
};

CurlApi LoadCurl() {
    CurlApi api;
    SharedLibrary library("libcurl.so.4", "libcurl");
    library.Resolve("curl_global_init", api.globalInit);
    library.Resolve("curl_easy_init", api.init);
    library.Resolve("curl_easy_setopt", api.setopt);
    library.Resolve("curl_easy_perform", api.perform);
    library.Resolve("curl_easy_getinfo", api.getinfo);
    library.Resolve("curl_easy_strerror", api.strerror);
    library.Resolve("curl_easy_cleanup", api.cleanup);
    api.error = library.Error();
    if (api.error.empty()) {
        api.globalInit(CURL_GLOBAL_DEFAULT);
    }
    return api;
}

const CurlApi& Curl() {
    static const CurlApi api = LoadCurl();
    return api;
}

struct CurlDeleter {
    void operator()(CURL* handle) const { Curl().cleanup(handle); }
};

} // namespace

bool IsListUrl(std::string_view text) {
    auto startsWith = [text](std::string_view prefix) {
        return text.size() > prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
    };
    return startsWith("http://") || startsWith("https://");
}

bool LooksLikeUrl(std::string_view text) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const std::size_t mark = text.find("://");
    if (mark == std::string_view::npos || mark == 0 || !letter(text[0])) {
        return false;
    }
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(mark), [&letter](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

std::string ShownUrl(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t end = std::min(url.find_first_of("/?#", begin), url.size());
    const auto at = url.rfind('@', end);
    if (at == std::string::npos || at < begin) {
        return url;
    }
    return url.substr(0, begin) + url.substr(at + 1);
}

namespace {

using Clock = std::chrono::steady_clock;
// curl's clock starts a little after ours: a time-out that close to the deadline is the deadline's.
constexpr auto kClockSlack = std::chrono::milliseconds(100);

// What stays the same for every hop of one fetch.
void SetUpTransfer(CURL* handle, const FetchOptions& options, Transfer& transfer, char* errorText) {
    const CurlApi& api = Curl();
    api.setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    // A list on the web may move, but never to a file of this machine or another protocol; redirects are followed
    // here, one hop at a time, so that each is seen before it is taken.
    api.setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    api.setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api.setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    api.setopt(handle, CURLOPT_FAILONERROR, 1L);
    api.setopt(handle, CURLOPT_NOSIGNAL, 1L);
    api.setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    api.setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    api.setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
    api.setopt(handle, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    api.setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api.setopt(handle, CURLOPT_LOW_SPEED_TIME, options.stallSeconds);
    api.setopt(handle, CURLOPT_ACCEPT_ENCODING, ""); // whatever curl can unpack, still under the cap
    api.setopt(handle, CURLOPT_USERAGENT, "zandel-check");
    api.setopt(handle, CURLOPT_WRITEFUNCTION, OnBody);
    api.setopt(handle, CURLOPT_WRITEDATA, &transfer);
    // Directly unless told otherwise: the environment's proxy variables do not steer it.
    api.setopt(handle, CURLOPT_PROXY, options.proxy ? options.proxy->c_str() : "");
    if (options.cancel != nullptr) {
        api.setopt(handle, CURLOPT_XFERINFOFUNCTION, OnProgress);
        api.setopt(handle, CURLOPT_XFERINFODATA, options.cancel);
        api.setopt(handle, CURLOPT_NOPROGRESS, 0L);
    }
    if (options.caFile) {
        api.setopt(handle, CURLOPT_SSL_CTX_FUNCTION, AddCaFile);
        api.setopt(handle, CURLOPT_SSL_CTX_DATA, &*options.caFile);
    }
}

// Why a hop failed, with curl's word where ours has none.
void DescribeFailure(CURL* handle, CURLcode code, const Transfer& transfer, const char* errorText,
                     const FetchOptions& options, FetchResult& result) {
    const CurlApi& api = Curl();
    result.failure = FailureOf(code);
    // A chain that does not verify may end the handshake under another code (a signature that fails, say);
    // the verification's own result tells it.
    long verifyResult = X509_V_OK;
    if (code == CURLE_SSL_CONNECT_ERROR && api.getinfo(handle, CURLINFO_SSL_VERIFYRESULT, &verifyResult) == CURLE_OK &&
        verifyResult != X509_V_OK) {
        result.failure = FetchFailure::Certificate;
    }
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.failure = FetchFailure::TooLarge;
        result.error = "the list is larger than " + std::to_string(options.maxBytes / kMiB) + " MiB";
    } else if (code == CURLE_HTTP_RETURNED_ERROR) {
        result.failure = FetchFailure::HttpStatus;
        result.error = "the server answered " + std::to_string(result.status);
    } else {
        result.error = errorText[0] != '\0' ? errorText : api.strerror(code);
    }
}

void FailDeadline(const FetchOptions& options, FetchResult& result) {
    result.failure = FetchFailure::Deadline;
    result.seconds = options.wholeSeconds;
    result.error = "gave up after " + std::to_string(options.wholeSeconds) + " s without the whole list";
}

void FailLocalRedirect(const std::string& to, FetchResult& result) {
    result.failure = FetchFailure::LocalRedirect;
    result.redirect = to;
    result.error = "refused a redirect from a public address to this machine or its network: " + ShownUrl(to);
}

// Where the answer sends the fetch next, or "" when it is the list (or an error) itself.
std::string RedirectOf(CURL* handle, long status) {
    char* location = nullptr;
    if (status / 100 != 3 || Curl().getinfo(handle, CURLINFO_REDIRECT_URL, &location) != CURLE_OK ||
        location == nullptr) {
        return {};
    }
    return location;
}

// False, with the reason in `result`, when the fetch must not go on to `next`.
bool MayFollow(const std::string& next, long redirects, const FetchOptions& options, HopGuard& guard,
               FetchResult& result) {
    if (redirects >= options.maxRedirects) {
        result.failure = FetchFailure::Redirects;
        result.error = "more than " + std::to_string(options.maxRedirects) + " redirects";
        return false;
    }
    if (!IsListUrl(next)) {
        result.failure = FetchFailure::NotHttp;
        result.redirect = next;
        result.error = "redirected to " + ShownUrl(next) + ", which is no http or https URL";
        return false;
    }
    if (!guard.Enter(next)) {
        FailLocalRedirect(next, result);
        return false;
    }
    return true;
}

} // namespace

FetchResult FetchUrl(const std::string& url, const FetchOptions& options) {
    FetchResult result;
    const CurlApi& api = Curl();
    if (!api.error.empty()) {
        result.error = api.error;
        result.failure = FetchFailure::Other;
        return result;
    }
    const std::unique_ptr<CURL, CurlDeleter> curl(api.init());
    if (!curl) {
        result.error = "the transfer could not be set up";
        result.failure = FetchFailure::Other;
        return result;
    }
    CURL* handle = curl.get();
    Transfer transfer;
    transfer.maxBytes = options.maxBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    SetUpTransfer(handle, options, transfer, errorText);
    HopGuard guard(options.classify, options.proxy.has_value());
    if (!options.proxy) {
        api.setopt(handle, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
        api.setopt(handle, CURLOPT_OPENSOCKETDATA, &guard);
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.wholeSeconds);
    std::string hop = url;
    guard.Enter(hop);
    for (long redirects = 0;; ++redirects) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            FailDeadline(options, result);
            return result;
        }
        transfer = Transfer{{}, options.maxBytes, false};
        errorText[0] = '\0';
        api.setopt(handle, CURLOPT_URL, hop.c_str());
        api.setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(left));
        const CURLcode code = api.perform(handle);
        api.getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
        if (code != CURLE_OK) {
            DescribeFailure(handle, code, transfer, errorText, options, result);
            if (guard.Refused()) {
                FailLocalRedirect(hop, result);
            } else if (code == CURLE_OPERATION_TIMEDOUT && Clock::now() + kClockSlack >= deadline) {
                FailDeadline(options, result);
            }
            return result;
        }
        std::string next = RedirectOf(handle, result.status);
        if (next.empty()) {
            result.ok = true;
            result.body = std::move(transfer.body);
            return result;
        }
        if (!MayFollow(next, redirects, options, guard, result)) {
            return result;
        }
        hop = std::move(next);
    }
}

} // namespace zandel
