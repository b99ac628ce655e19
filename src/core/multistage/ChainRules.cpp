#include "core/multistage/ChainRules.h"

#include "core/settings/AppSettings.h"
#include "core/settings/FieldRules.h"
#include "core/util/Text.h"

namespace zandel {

std::string ComposeChainUrl(std::string_view proxy1, std::string_view proxy2, std::string_view proxy3,
                            std::string_view destination) {
    std::string url;
    for (std::string_view proxy : {proxy1, proxy2, proxy3}) {
        if (!proxy.empty()) {
            url.append("http://").append(proxy).append("/-_-");
        }
    }
    if (!destination.empty()) {
        url.append("http://").append(destination);
    }
    return url;
}

ListTextResult ReadChainLines(const std::vector<std::string>& lines) {
    ListTextResult result;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (index >= static_cast<std::size_t>(kListSlots)) {
            result.overflow = true;
            break;
        }
        if (!lines[index].empty()) {
            result.entries.push_back(CutAtCharBoundary(lines[index], kMaxFieldText));
        }
    }
    return result;
}

} // namespace zandel
