#include "core/list/SiteClass.h"

namespace zandel {

namespace {

// In the enumerators' order.
constexpr std::string_view kNames[] = {"failed",       "reached",        "captcha",        "blocked",
                                       "rate-limited", "block-redirect", "keyword-missing"};

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

} // namespace zandel
