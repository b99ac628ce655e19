#include "core/fetch/ListFetcher.h"

#include <dlfcn.h>

#include <memory>

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

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
    const auto* caFile = static_cast<const std::string*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    return X509_STORE_load_locations(store, caFile->c_str(), nullptr) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

// libcurl is loaded on the first fetch, not linked: linked, it and the thirty-odd libraries it needs cost every
// start of zandel-check several milliseconds of loading and relocation, though few runs fetch a list.
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

template <typename Function> bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

CurlApi LoadCurl() {
    CurlApi api;
    // Kept for the life of the process: a loaded libcurl is never unloaded.
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        api.error = std::string("libcurl could not be loaded: ") + (why != nullptr ? why : "libcurl.so.4");
        return api;
    }
    if (!Resolve(library, "curl_global_init", api.globalInit) || !Resolve(library, "curl_easy_init", api.init) ||
        !Resolve(library, "curl_easy_setopt", api.setopt) || !Resolve(library, "curl_easy_perform", api.perform) ||
        !Resolve(library, "curl_easy_getinfo", api.getinfo) || !Resolve(library, "curl_easy_strerror", api.strerror) ||
        !Resolve(library, "curl_easy_cleanup", api.cleanup)) {
        api.error = "libcurl could not be loaded: a function is missing";
        return api;
    }
    api.globalInit(CURL_GLOBAL_DEFAULT);
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

FetchResult FetchUrl(const std::string& url, const FetchOptions& options) {
    FetchResult result;
    const CurlApi& api = Curl();
    if (!api.error.empty()) {
        result.error = api.error;
        return result;
    }
    const std::unique_ptr<CURL, CurlDeleter> curl(api.init());
    if (!curl) {
        result.error = "the transfer could not be set up";
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
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.error = "the list is larger than " + std::to_string(options.maxBytes / kMiB) + " MiB";
    } else if (code == CURLE_TOO_MANY_REDIRECTS) {
        result.error = "more than " + std::to_string(options.maxRedirects) + " redirects";
    } else if (code == CURLE_HTTP_RETURNED_ERROR) {
        result.error = "the server answered " + std::to_string(result.status);
    } else {
        result.error = errorText[0] != '\0' ? errorText : api.strerror(code);
    }
    return result;
}

} // namespace zandel
