#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/check/SocksStep.h"
#include "core/list/SiteClass.h"

namespace zandel {

class TunnelTrust;

// The most bytes of a site's answer a job reads: enough for any challenge page's markers and a keyword near the
// top, while a site that answers a gigabyte costs no more.
inline constexpr std::size_t kSiteAnswerLimit = std::size_t{256} * 1024;

// One site the user cares about, read from "URL[=KEYWORD]".
struct SiteTarget {
    std::string given;   // the URL as written, without "=KEYWORD": the site's name in the exports and the history
    std::string keyword; // empty: none
    bool tls = false;    // https://
    std::string host;    // an IPv6 address in its brackets
    std::uint16_t port = 80;
    std::string path; // origin form, with the query, without the fragment

    std::string Authority() const { return host + ":" + std::to_string(port); }
    // The Host line's value: without the port where it is the scheme's own.
    std::string HostLine() const;
};

// The text with a login of its URL ("user:password@") shown as "***@", for every message and field that shows it.
std::string SiteWithoutLogin(std::string_view text);
// Why a site is left out of the checks.
enum class SiteRefusal : unsigned char {
    NotHttp,
    Login,
    KeywordLines,
    NotUrl,
    NoHost,
    BadPort,
    EqualsInUrl,
    Twice,
    TooMany
};

// A site left out, told in the console's words or the window's.
struct SiteLeftOut {
    std::string site; // as given, its login shown as "***@"
    SiteRefusal why = SiteRefusal::NotHttp;

    std::string Console() const; // "SITE: reason"
    std::string Window() const;  // "SITE : 理由"
};

// One "URL[=KEYWORD]": the keyword follows the first "=" outside the URL's query, or in the query an "=" after a
// parameter's own ("https://example.com/?q=1=Welcome"). Nothing, with `leftOut` saying why, for a site that cannot be
// fetched: not http:// or https://, a malformed host or port, a login (refused, since it would be sent through
// every proxy of the list; the message never repeats its password), a keyword of more than one line.
std::optional<SiteTarget> ParseSite(std::string_view text, SiteLeftOut& leftOut);
// As above, with `error` in the console's words.
std::optional<SiteTarget> ParseSite(std::string_view text, std::string& error);
// Each text in turn, at most kMaxSites, a URL given twice once: every one left out is told through `tell`, and the
// others are checked.
std::vector<SiteTarget> ParseSites(const std::vector<std::string>& texts,
                                   const std::function<void(const SiteLeftOut&)>& tell);

// One site as the settings page shows it: its URL and its keyword apart (empty: none).
struct SiteEntry {
    std::string url;
    std::string keyword;
    bool operator==(const SiteEntry&) const = default;
};
// A kept "URL[=KEYWORD]" taken apart where ParseSite would; a text that is no site at all is its URL whole.
SiteEntry SplitSite(std::string_view text);
// The texts [Sites] keeps of the page's entries, in order: each is read as ParseSites reads the console's, and one it
// leaves out is told through `tell` (its login never repeated) and not kept; so is a URL whose own "=" would be read as
// the start of a keyword, since it could not come back as written.
std::vector<std::string> SiteTextsOf(const std::vector<SiteEntry>& entries,
                                     const std::function<void(const SiteLeftOut&)>& tell);
// A short name for each site, for a column's header: its host, with the path where another site has the same host,
// and the whole URL without its scheme where that is the same too.
std::vector<std::string> SiteShortNames(const std::vector<SiteTarget>& sites);

// What each job sends to fetch one site, made once per run.
struct SiteRequest {
    SiteTarget site;
    std::string proxyRequest;   // to an HTTP proxy, absolute form (an http:// site)
    std::string originRequest;  // through a tunnel or a SOCKS proxy
    std::string connectRequest; // CONNECT, for an https:// site through an HTTP proxy
    SocksTarget socks;          // where a SOCKS proxy is asked to connect
};
struct SitePlan {
    std::vector<SiteRequest> sites;
    std::shared_ptr<const TunnelTrust> trust; // for the https:// sites, as the HTTPS step verifies
    std::uint32_t jobMs = 0;                  // the run's time-out, within which a job fetches its sites
};

// The requests for `sites`: HTTP/1.1 with the run's User-Agent, the CONNECT in the run's HTTP version.
std::shared_ptr<SitePlan> MakeSitePlan(const std::vector<SiteTarget>& sites, const std::string& httpVersion,
                                       const std::string& userAgent, std::shared_ptr<const TunnelTrust> trust);

} // namespace zandel
