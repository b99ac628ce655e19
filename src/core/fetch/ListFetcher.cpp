#include "core/fetch/ListFetcher.h"

#include <algorithm>
#include <atomic>
#include <memory>

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
    api.setopt(handle, CURLOPT_URL, url.c_str());
    api.setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    // A list on the web may move, but never to a file of this machine or another protocol.
    api.setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    api.setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api.setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    api.setopt(handle, CURLOPT_MAXREDIRS, options.maxRedirects);
    api.setopt(handle, CURLOPT_FAILONERROR, 1L);
    api.setopt(handle, CURLOPT_NOSIGNAL, 1L);
    api.setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    api.setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    api.setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
    api.setopt(handle, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    api.setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api.setopt(handle, CURLOPT_LOW_SPEED_TIME, options.stallSeconds);
    api.setopt(handle, CURLOPT_TIMEOUT, options.wholeSeconds);
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

    const CURLcode code = api.perform(handle);
    api.getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
    if (code == CURLE_OK) {
        result.ok = true;
        result.body = std::move(transfer.body);
        return result;
    }
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
    } else if (code == CURLE_TOO_MANY_REDIRECTS) {
        result.failure = FetchFailure::Redirects;
        result.error = "more than " + std::to_string(options.maxRedirects) + " redirects";
    } else if (code == CURLE_HTTP_RETURNED_ERROR) {
        result.failure = FetchFailure::HttpStatus;
        result.error = "the server answered " + std::to_string(result.status);
    } else {
        result.error = errorText[0] != '\0' ? errorText : api.strerror(code);
    }
    return result;
}

} // namespace zandel
