#include "support/HttpHead.h"

#include <cctype>

#include "core/util/Text.h"

namespace zandel::test {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The next line without its end; `text` moves past it.
std::string_view NextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

bool ParseRequestHead(std::string_view head, RequestHead& out) {
    out = RequestHead{};
    const std::string_view requestLine = NextLine(head);
    const std::size_t first = requestLine.find(' ');
    const std::size_t last = requestLine.rfind(' ');
    if (first == std::string_view::npos || last == first) {
        return false;
    }
    out.method = requestLine.substr(0, first);
    out.target = Trim(requestLine.substr(first + 1, last - first - 1));
    out.version = requestLine.substr(last + 1);
    if (out.method.empty() || out.target.empty() || out.version.empty()) {
        return false;
    }
    while (!head.empty()) {
        const std::string_view line = NextLine(head);
        if (line.empty()) {
            break;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        out.headers.emplace_back(std::string(Trim(line.substr(0, colon))), std::string(Trim(line.substr(colon + 1))));
    }
    return true;
}

bool ParseAbsoluteUrl(std::string_view target, AbsoluteUrl& out) {
    constexpr std::string_view kScheme = "http://";
    if (!StartsWithNoCase(target, kScheme)) {
        return false;
    }
    target.remove_prefix(kScheme.size());
    const std::size_t slash = target.find('/');
    std::string_view authority = target.substr(0, slash);
    out.path = slash == std::string_view::npos ? "/" : std::string(target.substr(slash));
    out.port = 80;
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) {
            return false;
        }
        int port = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                return false;
            }
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) {
            return false;
        }
        out.port = port;
        authority = authority.substr(0, colon);
    }
    out.host = authority;
    return !out.host.empty();
}

std::string CgiVariableName(std::string_view headerName) {
    std::string name = "HTTP_";
    for (const char c : headerName) {
        name.push_back(c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return name;
}

} // namespace zandel::test
