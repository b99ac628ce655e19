#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings/SettingRanges.h"

namespace zandel {

// What one site the user cares about answered through a live proxy, as the exports and the history write it.
enum class SiteClass : std::uint8_t {
    Failed,         // no answer, a reset, the time-out, a TLS failure, or any status the others do not name
    Reached,        // 2xx, with the user's keyword on the page when one was given
    Captcha,        // a captcha or bot-challenge page in place of the site's own
    Blocked,        // 403 or 451
    RateLimited,    // 429
    BlockRedirect,  // a redirect away from the site or to a block or consent page
    KeywordMissing, // the site answered, but not with the page holding the keyword
};

// One site's class in one check, under the site's URL as the user gave it.
struct SiteVerdict {
    std::string site;
    SiteClass verdict = SiteClass::Failed;
};

// "failed", "reached", "captcha", "blocked", "rate-limited", "block-redirect", "keyword-missing".
std::string_view SiteClassName(SiteClass verdict);
std::optional<SiteClass> SiteClassFromName(std::string_view name);
// Where a class sorts in its site's column: reached first, then the answers that came from the site in some form,
// failed last.
int SiteClassRank(SiteClass verdict);

} // namespace zandel
