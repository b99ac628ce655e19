#pragma once

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

// The HTTPS step's target when none is set: the access URL's host on port 443.
std::string DefaultTunnelTarget(const std::string& accessUrl);
// "host:port" (the port 1 to 65535 in digits) into its parts; an IPv6 address in brackets loses them.
bool SplitTunnelTarget(const std::string& target, std::string& host, std::string& port);
// "CONNECT host:port HTTP/<version>" with the Host and User-Agent lines the test request has, and the blank line.
std::string ComposeTunnelRequest(const std::string& target, const std::string& httpVersion,
                                 const std::string& userAgent);

} // namespace zandel
