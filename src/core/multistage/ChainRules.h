#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/settings/ListText.h"

namespace zandel {

// The one URL the browser is started with: "http://%s/-_-" for each proxy that is filled in, in order, then
// "http://%s" for the destination when it is filled in. Texts are used exactly as typed.
std::string ComposeChainUrl(std::string_view proxy1, std::string_view proxy2, std::string_view proxy3,
                            std::string_view destination);

// Chain proxies and destination URLs: each non-empty line is an entry as it stands, spaces included; only
// the first 50 lines are read.
ListTextResult ReadChainLines(const std::vector<std::string>& lines);

} // namespace zandel
