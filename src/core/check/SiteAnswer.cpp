#include "core/check/SiteAnswer.h"

#include <algorithm>
#include <string>

#include "core/check/JudgePage.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// How much a marker proves: that the answer is a challenge page whatever its status (Page); only on a refusal
// (403, 429, 503), since the vendor's script or header also rides on the protected site's own pages (Refusal); or a
// captcha widget, which is the answer on a refusal or on a page without the user's keyword (Widget).
enum class Weight { Page, Refusal, Widget };

// A header (its name, and a word its value holds, "" for any) or a text of the body, in small letters.
struct Marker {
    Weight weight;
    std::string_view header;
    std::string_view text;
};

// The documented marks of the common challenge pages, where each comes from.
constexpr Marker kMarkers[] = {
    // Cloudflare: every challenge answer carries "cf-mitigated: challenge" (Cloudflare docs, "Challenge pages":
    // detecting a challenge response).
    {Weight::Page, "cf-mitigated", "challenge"},
    // Cloudflare's challenge page: its options object, its elements (cf-chl-widget-…), the challenge platform's
    // orchestration path, and the titles of the managed challenge and of the older captcha page.
    {Weight::Page, "", "_cf_chl_opt"},
    {Weight::Page, "", "cf-chl-"},
    {Weight::Page, "", "/cdn-cgi/challenge-platform/h/"},
    {Weight::Page, "", "<title>just a moment...</title>"},
    {Weight::Page, "", "<title>attention required! | cloudflare</title>"},
    // Cloudflare's bot-detection script under the same path also rides on ordinary pages.
    {Weight::Refusal, "", "/cdn-cgi/challenge-platform/"},
    // DataDome: its captcha and block pages load from captcha-delivery.com (DataDome docs); its header marks every
    // answer of a protected site.
    {Weight::Page, "", "captcha-delivery.com"},
    {Weight::Refusal, "x-datadome", ""},
    // PerimeterX (HUMAN): the press-and-hold challenge's element; the app id every protected page sets.
    {Weight::Page, "", "px-captcha"},
    {Weight::Refusal, "", "_pxappid"},
    // Akamai Bot Manager: the crypto challenge's path and its page's container.
    {Weight::Page, "", "/_sec/cp_challenge/"},
    {Weight::Page, "", "sec-if-cpt-container"},
    // Imperva (Incapsula): the challenge frame's resource.
    {Weight::Page, "", "_incapsula_resource"},
    // AWS WAF: the header of a CAPTCHA or challenge action's answer (AWS WAF docs, x-amzn-waf-action).
    {Weight::Page, "x-amzn-waf-action", ""},
    // hCaptcha (docs.hcaptcha.com), reCAPTCHA (developers.google.com/recaptcha) and Cloudflare Turnstile: the
    // widgets' scripts and elements.
    {Weight::Widget, "", "hcaptcha.com/1/api.js"},
    {Weight::Widget, "", "class=\"h-captcha\""},
    {Weight::Widget, "", "/recaptcha/api.js"},
    {Weight::Widget, "", "/recaptcha/enterprise.js"},
    {Weight::Widget, "", "class=\"g-recaptcha\""},
    {Weight::Widget, "", "challenges.cloudflare.com/turnstile"},
};

// Words of a redirect's host or path that send a visitor to a block, challenge or consent page rather than the
// site's own ("/sorry/" is Google's page for traffic it takes for a robot's).
constexpr std::string_view kBlockWords[] = {"block",  "denied", "captcha",    "challenge",   "consent",
                                            "forbid", "sorry",  "restricted", "unavailable", "verify"};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), FoldAscii);
    return lower;
}

int StatusCode(std::string_view statusLine) {
    const std::size_t blank = statusLine.find(' ');
    if (statusLine.substr(0, 5) != "HTTP/" || blank == std::string_view::npos) {
        return 0;
    }
    int code = 0;
    return ReadDigits(statusLine, blank + 1, 3, code) ? code : 0;
}

// Whether the answer carries a marker of that weight.
bool Carries(const HttpAnswerView& answer, const std::string& lowerBody, Weight weight) {
    return std::any_of(std::begin(kMarkers), std::end(kMarkers), [&](const Marker& marker) {
        if (marker.weight != weight) {
            return false;
        }
        if (marker.header.empty()) {
            return lowerBody.find(marker.text) != std::string::npos;
        }
        const std::string_view value = HeaderValue(answer.headers, marker.header);
        return !value.empty() && Lower(value).find(marker.text) != std::string::npos;
    });
}

// "a.example.com" and "example.com", either way round.
bool SameSite(std::string_view a, std::string_view b) {
    const auto under = [](std::string_view sub, std::string_view parent) {
        return sub.size() > parent.size() && sub.substr(sub.size() - parent.size()) == parent &&
               sub[sub.size() - parent.size() - 1] == '.';
    };
    return a == b || under(a, b) || under(b, a);
}

bool HasBlockWord(std::string_view text) {
    return std::any_of(std::begin(kBlockWords), std::end(kBlockWords),
                       [text](std::string_view word) { return text.find(word) != std::string_view::npos; });
}

bool LeavesOrBlocks(std::string_view location, const SiteTarget& site) {
    const std::string lower = Lower(location);
    std::string_view rest = lower;
    if (const std::size_t scheme = rest.find("://"); scheme != std::string_view::npos && scheme < rest.find('/')) {
        rest.remove_prefix(scheme + 1);
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        std::string_view authority = rest.substr(0, std::min(rest.find_first_of("/?#"), rest.size()));
        rest.remove_prefix(authority.size());
        if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            authority.remove_prefix(at + 1);
        }
        const std::size_t colon =
            !authority.empty() && authority.front() == '[' ? authority.find(']') + 1 : authority.rfind(':');
        const std::string_view host = authority.substr(0, std::min(colon, authority.size()));
        const std::string own = Lower(site.host);
        // The site's own name is no evidence: only another host's words count.
        if (!SameSite(host, own) || (host != own && HasBlockWord(host))) {
            return true;
        }
    }
    return HasBlockWord(rest);
}

} // namespace

SiteClass ClassifySiteAnswer(std::string_view answer, const SiteTarget& site) {
    HttpAnswerView parts;
    std::string joined;
    // Interim 1xx heads come before the answer.
    while (StatusCode(answer.substr(0, FindAnyOf(answer, "\r\n"))) / 100 == 1) {
        const std::size_t end = answer.find("\r\n\r\n");
        if (end == std::string_view::npos) {
            return SiteClass::Failed;
        }
        answer.remove_prefix(end + 4);
    }
    const int code = SplitHttpAnswer(answer, parts, joined) ? StatusCode(parts.statusLine) : 0;
    if (code < 200) {
        return SiteClass::Failed;
    }
    const std::string body = Lower(parts.body);
    const bool refusal = code == 403 || code == 429 || code == 503;
    if (Carries(parts, body, Weight::Page) ||
        (refusal && (Carries(parts, body, Weight::Refusal) || Carries(parts, body, Weight::Widget)))) {
        return SiteClass::Captcha;
    }
    const SiteClass answered = site.keyword.empty() ? SiteClass::Reached : SiteClass::KeywordMissing;
    if (code / 100 == 2) {
        if (!site.keyword.empty() && parts.body.find(site.keyword) != std::string_view::npos) {
            return SiteClass::Reached;
        }
        return Carries(parts, body, Weight::Widget) ? SiteClass::Captcha : answered;
    }
    if (code / 100 == 3) {
        const std::string_view location = HeaderValue(parts.headers, "Location");
        if (location.empty()) {
            return SiteClass::Failed;
        }
        return LeavesOrBlocks(location, site) ? SiteClass::BlockRedirect : answered;
    }
    if (code == 403 || code == 451) {
        return SiteClass::Blocked;
    }
    return code == 429 ? SiteClass::RateLimited : SiteClass::Failed;
}

} // namespace zandel
