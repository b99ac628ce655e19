#include "core/list/SiteClass.h"

namespace zandel {

namespace {

// In the enumerators' order.
constexpr std::string_view kNames[] = {"failed",       "reached",        "captcha",        "blocked",
                                       "rate-limited", "block-redirect", "keyword-missing"};

// In the enumerators' order: the site's own page, then what the site said instead of it, then nothing.
constexpr int kRanks[] = {6, 0, 4, 5, 3, 2, 1};

} // namespace

std::string_view SiteClassName(SiteClass verdict) {
    return kNames[static_cast<std::size_t>(verdict)];
}

std::optional<SiteClass> SiteClassFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        if (kNames[i] == name) {
            return static_cast<SiteClass>(i);
        }
    }
    return std::nullopt;
}

int SiteClassRank(SiteClass verdict) {
    return kRanks[static_cast<std::size_t>(verdict)];
}

} // namespace zandel
