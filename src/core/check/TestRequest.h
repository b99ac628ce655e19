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

} // namespace zandel
