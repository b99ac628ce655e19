#include "core/check/SiteCheck.h"

#include <algorithm>
#include <array>

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
bool ReadPlace(std::string_view rest, SiteTarget& site, SiteRefusal& why) {
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::optional<HostPortText> parts = SplitHostPort(authority);
    if (!parts || !(IsBracketedHost(parts->host) || IsNameHost(parts->host))) {
        why = SiteRefusal::NoHost;
        return false;
    }
    site.host = std::string(parts->host);
    const bool portWritten = authority.size() > parts->host.size();
    if (portWritten) {
        const std::optional<int> port = ParsePortNumber(parts->port);
        if (!port) {
            why = SiteRefusal::BadPort;
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

std::string SiteWithoutLogin(std::string_view text) {
    const bool tls = StartsWithNoCase(text, "https://");
    if (!tls && !StartsWithNoCase(text, "http://")) {
        return std::string(text);
    }
    const std::size_t schemeEnd = tls ? 8 : 7;
    const std::string_view whole = text.substr(schemeEnd);
    const std::size_t at = whole.substr(0, whole.find_first_of("/?#")).rfind('@');
    if (at == std::string_view::npos) {
        return std::string(text);
    }
    return std::string(text.substr(0, schemeEnd)) + "***" + std::string(whole.substr(at));
}

namespace {

// Each reason in the console's words and the window's, in SiteRefusal's order.
struct RefusalTexts {
    SiteRefusal why;
    const char* console;
    const char* window;
};
// clang-format off
constexpr std::array<RefusalTexts, 9> kRefusalTexts{{
    {SiteRefusal::NotHttp, "not an http:// or https:// URL", "http:// か https:// で始まるURLではありません"},
    {SiteRefusal::Login, "a site with a login is refused (it is never sent through a proxy)", "ﾛｸﾞｲﾝ付きのｻｲﾄは使えません (ﾌﾟﾛｷｼを通して送ることになるため)"},
    {SiteRefusal::KeywordLines, "the keyword must be one line", "ｷｰﾜｰﾄﾞは1行にしてください"},
    {SiteRefusal::NotUrl, "not a URL (a blank or a control character in it)", "URLに空白か制御文字があります"},
    {SiteRefusal::NoHost, "no host that can be fetched", "ﾁｪｯｸできるﾎｽﾄがありません"},
    {SiteRefusal::BadPort, "the port must be a number from 1 to 65535", "ﾎﾟｰﾄは1～65535の数字にしてください"},
    {SiteRefusal::EqualsInUrl, "an \"=\" in the URL would be read as the start of a keyword", "URLの「=」がｷｰﾜｰﾄﾞの始まりと読まれます"},
    {SiteRefusal::Twice, "given twice, checked once", "同じURLが二度あります (一度だけﾁｪｯｸします)"},
    {SiteRefusal::TooMany, "at most 10 sites are checked", "ﾁｪｯｸできるｻｲﾄは10個までです"},
}};
// clang-format on
static_assert(kMaxSites == 10, "the texts above name the number");
static_assert(
    [] {
        for (std::size_t i = 0; i < kRefusalTexts.size(); ++i) {
            if (static_cast<std::size_t>(kRefusalTexts[i].why) != i) {
                return false;
            }
        }
        return true;
    }(),
    "one row a reason, in order");

const RefusalTexts& TextsOf(SiteRefusal why) {
    return kRefusalTexts.at(static_cast<std::size_t>(why));
}

} // namespace

std::string SiteLeftOut::Console() const {
    return site + ": " + TextsOf(why).console;
}

std::string SiteLeftOut::Window() const {
    return site + " : " + TextsOf(why).window;
}

std::optional<SiteTarget> ParseSite(std::string_view text, SiteLeftOut& leftOut) {
    const auto refuse = [&leftOut](std::string site, SiteRefusal why) {
        leftOut = {std::move(site), why};
        return std::nullopt;
    };
    const bool tls = StartsWithNoCase(text, "https://");
    if (!tls && !StartsWithNoCase(text, "http://")) {
        return refuse(std::string(text), SiteRefusal::NotHttp);
    }
    const std::size_t schemeEnd = tls ? 8 : 7;
    // Looked for before the keyword, whose "=" a password may hold; the login is left out of the message.
    if (std::string shown = SiteWithoutLogin(text); shown != text) {
        return refuse(std::move(shown), SiteRefusal::Login);
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
        return refuse(site.given, SiteRefusal::KeywordLines);
    }
    if (HasBlankOrControl(site.given)) {
        return refuse(site.given, SiteRefusal::NotUrl);
    }
    SiteRefusal why{};
    if (!ReadPlace(rest, site, why)) {
        return refuse(site.given, why);
    }
    return site;
}

std::optional<SiteTarget> ParseSite(std::string_view text, std::string& error) {
    SiteLeftOut leftOut;
    std::optional<SiteTarget> site = ParseSite(text, leftOut);
    if (!site) {
        error = leftOut.Console();
    }
    return site;
}

std::vector<SiteTarget> ParseSites(const std::vector<std::string>& texts,
                                   const std::function<void(const SiteLeftOut&)>& tell) {
    std::vector<SiteTarget> sites;
    for (const std::string& text : texts) {
        SiteLeftOut leftOut;
        std::optional<SiteTarget> site = ParseSite(text, leftOut);
        if (!site) {
            tell(leftOut);
        } else if (std::any_of(sites.begin(), sites.end(),
                               [&site](const SiteTarget& kept) { return kept.given == site->given; })) {
            tell({site->given, SiteRefusal::Twice});
        } else if (sites.size() == kMaxSites) {
            tell({site->given, SiteRefusal::TooMany});
        } else {
            sites.push_back(std::move(*site));
        }
    }
    return sites;
}

SiteEntry SplitSite(std::string_view text) {
    const bool tls = StartsWithNoCase(text, "https://");
    if (!tls && !StartsWithNoCase(text, "http://")) {
        return {std::string(text), {}};
    }
    const std::size_t mark = KeywordMark(text, tls ? 8 : 7);
    if (mark == std::string_view::npos) {
        return {std::string(text), {}};
    }
    return {std::string(text.substr(0, mark)), std::string(text.substr(mark + 1))};
}

std::vector<std::string> SiteTextsOf(const std::vector<SiteEntry>& entries,
                                     const std::function<void(const SiteLeftOut&)>& tell) {
    std::vector<std::string> texts;
    for (const SiteEntry& entry : entries) {
        std::string text = entry.keyword.empty() ? entry.url : entry.url + "=" + entry.keyword;
        SiteLeftOut leftOut;
        const std::optional<SiteTarget> site = ParseSite(text, leftOut);
        if (site && (site->given != entry.url || site->keyword != entry.keyword)) {
            tell({entry.url, SiteRefusal::EqualsInUrl});
            continue;
        }
        texts.push_back(std::move(text));
    }
    // What ParseSites keeps of them, in their order, said as the console says it.
    std::vector<std::string> kept;
    for (const SiteTarget& site : ParseSites(texts, tell)) {
        kept.push_back(site.keyword.empty() ? site.given : site.given + "=" + site.keyword);
    }
    return kept;
}

std::vector<std::string> SiteShortNames(const std::vector<SiteTarget>& sites) {
    const auto count = [&sites](auto same) { return std::count_if(sites.begin(), sites.end(), same); };
    std::vector<std::string> names;
    for (const SiteTarget& site : sites) {
        const std::string withPath = site.host + site.path;
        if (count([&](const SiteTarget& other) { return other.host == site.host; }) == 1) {
            names.push_back(site.host);
        } else if (count([&](const SiteTarget& other) { return other.host + other.path == withPath; }) == 1) {
            names.push_back(withPath);
        } else {
            names.push_back(site.given.substr(site.tls ? 8 : 7));
        }
    }
    return names;
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
