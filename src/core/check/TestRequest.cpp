#include "core/check/TestRequest.h"

#include <algorithm>

#include "core/settings/AppSettings.h"
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

namespace zandel {

std::optional<DirectRequest> ComposeDirectRequest(const std::string& accessUrl, const std::string& httpVersion,
                                                  const std::string& userAgent) {
    const TestRequest request = ComposeTestRequest(accessUrl, httpVersion, userAgent);
    // The request line is "http://authority/path HTTP/v": the path is what follows the authority.
    const std::size_t authorityStart = request.requestLine.find("http://") + 7;
    const std::size_t space = request.requestLine.rfind(' ');
    std::size_t pathStart = request.requestLine.find_first_of("/?", authorityStart);
    if (pathStart == std::string::npos || pathStart > space) {
        pathStart = space;
    }
    std::string path = request.requestLine.substr(pathStart, space - pathStart);
    if (path.empty() || path.front() != '/') {
        path.insert(0, "/");
    }
    std::string authority = request.requestLine.substr(authorityStart, pathStart - authorityStart);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    const std::string host = AccessUrlHost(accessUrl);
    if (host.empty() || host == "[]") {
        return std::nullopt;
    }
    std::string port = "80";
    if (authority.size() > host.size() && authority.compare(0, host.size(), host) == 0 &&
        authority[host.size()] == ':') {
        port = authority.substr(host.size() + 1);
    }
    DirectRequest direct;
    direct.address = host + ":" + port;
    direct.request = "GET " + path + request.requestLine.substr(space) + "\r\n" + request.headers + "\r\n\r\n";
    return direct;
}

} // namespace zandel
