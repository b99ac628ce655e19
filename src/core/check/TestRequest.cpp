#include "core/check/TestRequest.h"

#include "core/app/AppSettings.h"

namespace zandel {

TestRequest ComposeTestRequest(const std::string& accessUrl, const std::string& httpVersion,
                               const std::string& userAgent) {
    TestRequest request;
    // The host part counts too: a judge host named "cgi..." still grades anonymity.
    request.cgi = accessUrl.find("cgi") != std::string::npos;

    // Case-sensitive on purpose: "HTTP://host" gets a second prefix, as the proxies have always seen it.
    std::string url = accessUrl;
    if (url.find("http://") == std::string::npos) {
        url = "http://" + url;
    }
    request.requestLine = url + " HTTP/" + httpVersion;

    const std::string agent = userAgent.empty() ? std::string(kDefaultUserAgent) : userAgent;

    std::string host = url;
    if (host.find("http://") != std::string::npos) {
        host.erase(0, 7);
    }
    if (const auto slash = host.find('/'); slash != std::string::npos) {
        host.erase(slash);
    }

    request.headers = "User-Agent: " + agent + "\r\nAccept: */*\r\nHost: " + host;
    return request;
}

} // namespace zandel
