#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zandel::test {

// The head of an HTTP request as the loopback servers need it.
struct RequestHead {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers; // in the order received
};

// Reads "METHOD target VERSION" CR LF, then "Name: value" lines up to the blank line. False when the
// request line lacks one of its three parts.
bool ParseRequestHead(std::string_view head, RequestHead& out);

// Where an absolute "http://host[:port]/path" target points.
struct AbsoluteUrl {
    std::string host;
    int port = 80;
    std::string path; // "/" when the URL has none
};

// False for a target that is not an absolute http URL or has a port that is not a number of 1..65535.
bool ParseAbsoluteUrl(std::string_view target, AbsoluteUrl& out);

// "User-Agent" → "HTTP_USER_AGENT", as a CGI program sees a request header.
std::string CgiVariableName(std::string_view headerName);

} // namespace zandel::test
