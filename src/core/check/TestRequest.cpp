#include "core/check/TestRequest.h"

#include "core/app/AppSettings.h"

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

std::string DefaultTunnelTarget(const std::string& accessUrl) {
    std::string host = UrlHost(accessUrl.find("http://") == std::string::npos ? "http://" + accessUrl : accessUrl);
    const std::size_t close = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        host.erase(colon);
    }
    return host + ":443";
}

bool SplitTunnelTarget(const std::string& target, std::string& host, std::string& port) {
    const std::size_t colon = target.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    host = target.substr(0, colon);
    port = target.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int number = std::stoi(port);
    return number >= 1 && number <= 65535 && host.find_first_of(" \t\r\n[]/") == std::string::npos;
}

std::string ComposeTunnelRequest(const std::string& target, const std::string& httpVersion,
                                 const std::string& userAgent) {
    return "CONNECT " + target + " HTTP/" + httpVersion + "\r\nHost: " + target +
           "\r\nUser-Agent: " + AgentOrDefault(userAgent) + "\r\n\r\n";
}

} // namespace zandel
