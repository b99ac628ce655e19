#include "core/check/SiteCheck.h"

#include <algorithm>

#include "core/check/TestRequest.h"
#include "core/settings/AppSettings.h"
#include "core/util/HostPort.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// Where the keyword begins: the first "=" in the authority or the path, or in the query the first one that follows
// a parameter's own "=" (a query's "name=value" is the URL's).
std::size_t KeywordMark(std::string_view text, std::size_t from) {
    bool inQuery = false;
    bool valueSeen = false;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '?' && !inQuery) {
            inQuery = true;
            valueSeen = false;
        } else if (c == '#') {
            inQuery = false;
        } else if (c == '&' && inQuery) {
            valueSeen = false;
        } else if (c == '=') {
            if (!inQuery || valueSeen) {
                return i;
            }
            valueSeen = true;
        }
    }
    return std::string_view::npos;
}

bool IsNameHost(std::string_view host) {
    return !host.empty() &&
           host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") ==
               std::string_view::npos;
}

bool HasBlankOrControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

// The fields after the scheme; false, with `why`, when they name no place to fetch.
bool ReadPlace(std::string_view rest, SiteTarget& site, std::string& why) {
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::optional<HostPortText> parts = SplitHostPort(authority);
    if (!parts || !(IsBracketedHost(parts->host) || IsNameHost(parts->host))) {
        why = "no host that can be fetched";
        return false;
    }
    site.host = std::string(parts->host);
    const bool portWritten = authority.size() > parts->host.size();
    if (portWritten) {
        const std::optional<int> port = ParsePortNumber(parts->port);
        if (!port) {
            why = "the port must be a number from 1 to 65535";
            return false;
        }
        site.port = static_cast<std::uint16_t>(*port);
    }
    std::string_view path = rest.substr(authorityEnd);
    path = path.substr(0, path.find('#'));
    site.path = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
    return true;
}

} // namespace

std::string SiteTarget::HostLine() const {
    return port == (tls ? 443 : 80) ? host : Authority();
}

std::optional<SiteTarget> ParseSite(std::string_view text, std::string& error) {
    const bool tls = StartsWithNoCase(text, "https://");
    if (!tls && !StartsWithNoCase(text, "http://")) {
        error = std::string(text) + ": not an http:// or https:// URL";
        return std::nullopt;
    }
    const std::size_t schemeEnd = tls ? 8 : 7;
    // Looked for before the keyword, whose "=" a password may hold; the login is left out of the message.
    const std::string_view whole = text.substr(schemeEnd);
    const std::size_t at = whole.substr(0, whole.find_first_of("/?#")).rfind('@');
    if (at != std::string_view::npos) {
        error = std::string(text.substr(0, schemeEnd)) + "***" + std::string(whole.substr(at)) +
                ": a site with a login is refused (it is never sent through a proxy)";
        return std::nullopt;
    }
    const std::size_t mark = KeywordMark(text, schemeEnd);
    SiteTarget site;
    site.tls = tls;
    site.port = tls ? 443 : 80;
    site.given = std::string(text.substr(0, mark));
    const std::string_view rest = std::string_view(site.given).substr(schemeEnd);
    if (mark != std::string_view::npos) {
        site.keyword = std::string(text.substr(mark + 1));
    }
    if (site.keyword.find_first_of("\r\n") != std::string::npos) {
        error = site.given + ": the keyword must be one line";
        return std::nullopt;
    }
    std::string why;
    if (HasBlankOrControl(site.given)) {
        error = site.given + ": not a URL (a blank or a control character in it)";
        return std::nullopt;
    }
    if (!ReadPlace(rest, site, why)) {
        error = site.given + ": " + why;
        return std::nullopt;
    }
    return site;
}

std::vector<SiteTarget> ParseSites(const std::vector<std::string>& texts,
                                   const std::function<void(const std::string&)>& tell) {
    std::vector<SiteTarget> sites;
    for (const std::string& text : texts) {
        std::string error;
        std::optional<SiteTarget> site = ParseSite(text, error);
        if (!site) {
            tell(error);
        } else if (std::any_of(sites.begin(), sites.end(),
                               [&site](const SiteTarget& kept) { return kept.given == site->given; })) {
            tell(site->given + ": given twice, checked once");
        } else if (sites.size() == kMaxSites) {
            tell(site->given + ": at most " + std::to_string(kMaxSites) + " sites are checked");
        } else {
            sites.push_back(std::move(*site));
        }
    }
    return sites;
}

std::shared_ptr<SitePlan> MakeSitePlan(const std::vector<SiteTarget>& sites, const std::string& httpVersion,
                                       const std::string& userAgent, std::shared_ptr<const TunnelTrust> trust) {
    auto plan = std::make_shared<SitePlan>();
    plan->trust = std::move(trust);
    const std::string agent = userAgent.empty() ? std::string(kDefaultUserAgent) : userAgent;
    for (const SiteTarget& site : sites) {
        SiteRequest request;
        request.site = site;
        // Identity, since a compressed page hides its markers and the keyword; close, since one answer is enough.
        const std::string head = " HTTP/1.1\r\nHost: " + site.HostLine() + "\r\nUser-Agent: " + agent +
                                 "\r\nAccept: text/html,application/xhtml+xml,*/*\r\nAccept-Encoding: identity\r\n"
                                 "Connection: close\r\n\r\n";
        request.proxyRequest = "GET http://" + site.HostLine() + site.path + head;
        request.originRequest = "GET " + site.path + head;
        request.connectRequest = ComposeTunnelRequest(site.Authority(), httpVersion, agent);
        request.socks.host = site.host;
        request.socks.port = site.port;
        plan->sites.push_back(std::move(request));
    }
    return plan;
}

} // namespace zandel
