#pragma once

#include <optional>
#include <string>

namespace zandel {

// The texts one run sends through every proxy: "GET " + requestLine + CR LF + headers + CR LF CR LF.
struct TestRequest {
    std::string requestLine; // absolute URL, one space, "HTTP/" and the version
    std::string headers;     // User-Agent, Accept and Host lines, CR LF between them and none after the last
    bool cgi = false;        // the access URL names a server-variable echo script: grade anonymity
};

// Builds the request from a non-empty access URL, the HTTP version text and the User-Agent setting.
TestRequest ComposeTestRequest(const std::string& accessUrl, const std::string& httpVersion,
                               const std::string& userAgent);

// The test request made straight to the judge, with no proxy between: the request in origin form and the
// "host:port" it goes to (port 80 unless the URL names one). Null when the URL names no host.
struct DirectRequest {
    std::string address;
    std::string request;
};
std::optional<DirectRequest> ComposeDirectRequest(const std::string& accessUrl, const std::string& httpVersion,
                                                  const std::string& userAgent);

// The access URL's host, without user name or port (an IPv6 address keeps its brackets): where the HTTPS step
// tunnels when no target is set.
std::string AccessUrlHost(const std::string& accessUrl);
// The access URL's port, 80 when it names none or none that is a number.
int AccessUrlPort(const std::string& accessUrl);
// "CONNECT host:port HTTP/<version>" with the Host and User-Agent lines the test request has, and the blank line.
std::string ComposeTunnelRequest(const std::string& authority, const std::string& httpVersion,
                                 const std::string& userAgent);

} // namespace zandel
