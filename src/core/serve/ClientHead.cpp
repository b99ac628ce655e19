// The HTTP side of ClientDialog: a proxy request head, absolute form or CONNECT.

#include <algorithm>
#include <array>
#include <cctype>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "core/serve/ClientDialog.h"
#include "core/util/HostPort.h"

namespace zandel {

namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";
// The longest method a client sends ("PROPPATCH", "MKCALENDAR"); a longer token is no HTTP.
constexpr std::size_t kMaxMethod = 16;
constexpr std::uint16_t kHttpPort = 80;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool StartsWithNoCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && EqualsNoCase(text.substr(0, start.size()), start);
}

// The method's bytes so far are capital letters: anything else is no HTTP request, and is refused at once.
bool MethodCanStillBe(std::string_view in) {
    const std::size_t blank = std::min(in.find(' '), in.size());
    return blank <= kMaxMethod &&
           std::all_of(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(blank),
                       [](char c) { return c >= 'A' && c <= 'Z'; }) &&
           (blank == in.size() || blank > 0);
}

// Lines that concern only this hop: the serve's own login and the connection's own wishes, which the serve
// decides itself (one request a connection).
bool IsHopByHop(std::string_view line) {
    static constexpr std::array<std::string_view, 4> kNames{
        "proxy-authorization:", "proxy-connection:", "connection:", "keep-alive:"};
    return std::any_of(kNames.begin(), kNames.end(),
                       [line](std::string_view name) { return StartsWithNoCase(line, name); });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Host and port of "host:port" (CONNECT) or an absolute URL's authority, the port `fallback` when it is left out.
bool ReadAuthority(std::string_view authority, std::uint16_t fallback, ClientTarget& target) {
    const std::optional<HostPortText> split = SplitHostPort(authority);
    if (!split || split->host.empty()) {
        return false;
    }
    std::string_view host = split->host;
    if (split->port.empty() && authority.back() == ':') {
        return false;
    }
    if (!split->port.empty() || fallback == 0) {
        const std::optional<int> port = ParsePortNumber(split->port);
        if (!port) {
            return false;
        }
        target.port = static_cast<std::uint16_t>(*port);
    } else {
        target.port = fallback;
    }
    in_addr v4{};
    if (IsBracketedHost(host)) {
        target.host = std::string(host.substr(1, host.size() - 2));
        target.form = HostForm::Ipv6;
        return true;
    }
    target.host = std::string(host);
    target.form = ::inet_pton(AF_INET, target.host.c_str(), &v4) == 1 ? HostForm::Ipv4 : HostForm::Name;
    return target.host.size() <= 255 && std::all_of(host.begin(), host.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
           });
}

// Standard Base64 with its padding; nothing for any other text.
std::optional<std::string> FromBase64(std::string_view text) {
    constexpr std::string_view kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=') {
            // Padding only at the end, at most two.
            return i + 2 >= text.size() && text.substr(i).find_first_not_of('=') == std::string_view::npos
                       ? std::optional(bytes)
                       : std::nullopt;
        }
        const std::size_t digit = kDigits.find(text[i]);
        if (digit == std::string_view::npos) {
            return std::nullopt;
        }
        bits = ((bits << 6) | static_cast<unsigned>(digit)) & 0xFFFFu;
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return bytes;
}

} // namespace

ClientDialog::Step ClientDialog::FeedHead(std::string& in) {
    if (!MethodCanStillBe(in)) {
        return Refuse(Refusal::BadRequest);
    }
    const std::size_t end = in.find(kHeadEnd);
    if (end == std::string::npos) {
        return in.size() > kServeMaxHead ? Refuse(Refusal::TooLarge) : Step{};
    }
    if (end + kHeadEnd.size() > kServeMaxHead) {
        return Refuse(Refusal::TooLarge);
    }
    const std::string head = in.substr(0, end + 2);
    in.erase(0, end + kHeadEnd.size());
    const std::size_t lineEnd = head.find("\r\n");
    if (Step refused = ReadRequestLine(std::string_view(head).substr(0, lineEnd)); refused.kind == Step::Kind::Refuse) {
        return refused;
    }
    if (Step refused = ReadHeaderLines(std::string_view(head).substr(lineEnd + 2));
        refused.kind == Step::Kind::Refuse) {
        return refused;
    }
    return Aim();
}

ClientDialog::Step ClientDialog::ReadRequestLine(std::string_view line) {
    const std::size_t first = line.find(' ');
    const std::size_t second = line.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
        return Refuse(Refusal::BadRequest);
    }
    m_target.method = std::string(line.substr(0, first));
    const std::string_view target = line.substr(first + 1, second - first - 1);
    m_target.version = std::string(line.substr(second + 1));
    if (m_target.version != "HTTP/1.1" && m_target.version != "HTTP/1.0") {
        return Refuse(Refusal::BadRequest);
    }
    if (m_target.method == "CONNECT") {
        m_protocol = ClientProtocol::HttpConnect;
        return ReadAuthority(target, 0, m_target) ? Step{} : Refuse(Refusal::BadRequest);
    }
    // Only http:// in absolute form: an https:// URL would ask the serve to speak TLS to the site, and a path
    // alone asks it to be the site.
    constexpr std::string_view kScheme = "http://";
    if (!StartsWithNoCase(target, kScheme)) {
        return Refuse(Refusal::BadRequest);
    }
    const std::string_view rest = target.substr(kScheme.size());
    const std::size_t pathAt = std::min(rest.find_first_of("/?#"), rest.size());
    if (!ReadAuthority(rest.substr(0, pathAt), kHttpPort, m_target)) {
        return Refuse(Refusal::BadRequest);
    }
    const std::string_view path = rest.substr(pathAt);
    m_target.absoluteTarget = std::string(target);
    m_target.originTarget = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
    return {};
}

ClientDialog::Step ClientDialog::ReadHeaderLines(std::string_view lines) {
    std::string_view login;
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end);
        lines.remove_prefix(std::min(end + 2, lines.size()));
        if (StartsWithNoCase(line, "proxy-authorization:")) {
            login = Trimmed(line.substr(std::string_view("proxy-authorization:").size()));
        }
        if (!IsHopByHop(line)) {
            m_target.headerLines.append(line).append("\r\n");
        }
    }
    if (login.empty()) {
        return m_config.login ? Refuse(Refusal::LoginNeeded) : Step{};
    }
    return ReadLogin(login);
}

// Proxy-Authorization's Basic login. Without a login of the serve's own, a login of another kind or one that is no
// Basic is passed over as it always was: it may be meant for some proxy further on.
ClientDialog::Step ClientDialog::ReadLogin(std::string_view authorization) {
    const std::optional<std::string> decoded =
        StartsWithNoCase(authorization, "basic ") ? FromBase64(Trimmed(authorization.substr(6))) : std::nullopt;
    const std::size_t colon = decoded ? decoded->find(':') : std::string::npos;
    if (colon == std::string::npos) {
        return m_config.login ? Refuse(Refusal::LoginRefused) : Step{};
    }
    const std::string_view text(*decoded);
    return TakeLogin(text.substr(0, colon), text.substr(colon + 1)) ? Step{} : Refuse(Refusal::LoginRefused);
}

} // namespace zandel
