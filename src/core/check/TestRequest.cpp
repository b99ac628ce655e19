#include "core/check/TestRequest.h"

#include <algorithm>

#include "core/app/AppSettings.h"
#include "core/util/HostPort.h"

namespace zandel {

namespace {

std::string AgentOrDefault(const std::string& userAgent) {
    return userAgent.empty() ? std::string(kDefaultUserAgent) : userAgent;
}

// The host part of the access URL as the request's Host line names it.
std::string UrlHost(const std::string& url) {
    std::string host = url;
    if (host.find("http://") != std::string::npos) {
        host.erase(0, 7);
    }
    if (const auto slash = host.find('/'); slash != std::string::npos) {
        host.erase(slash);
    }
    return host;
}

} // namespace

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

    request.headers = "User-Agent: " + AgentOrDefault(userAgent) + "\r\nAccept: */*\r\nHost: " + UrlHost(url);
    return request;
}

} // namespace zandel

namespace zandel {

std::string AccessUrlHost(const std::string& accessUrl) {
    std::string host = UrlHost(accessUrl.find("http://") == std::string::npos ? "http://" + accessUrl : accessUrl);
    if (const std::size_t query = host.find_first_of("?#"); query != std::string::npos) {
        host.erase(query);
    }
    if (const std::size_t at = host.rfind('@'); at != std::string::npos) {
        host.erase(0, at + 1);
    }
    const std::size_t close = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        host.erase(colon);
    }
    return host;
}

int AccessUrlPort(const std::string& accessUrl) {
    std::string authority = UrlHost(accessUrl.find("http://") == std::string::npos ? "http://" + accessUrl : accessUrl);
    authority.erase(std::min(authority.find_first_of("?#"), authority.size()));
    const std::size_t at = authority.rfind('@');
    authority.erase(0, at == std::string::npos ? 0 : at + 1);
    const std::size_t close = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon == std::string::npos || (close != std::string::npos && colon < close)) {
        return 80;
    }
    return ParsePortNumber(std::string_view(authority).substr(colon + 1)).value_or(80);
}

std::string ComposeTunnelRequest(const std::string& authority, const std::string& httpVersion,
                                 const std::string& userAgent) {
    return "CONNECT " + authority + " HTTP/" + httpVersion + "\r\nHost: " + authority +
           "\r\nUser-Agent: " + AgentOrDefault(userAgent) + "\r\n\r\n";
}

} // namespace zandel
