#include "core/settings/ComboRules.h"

#include "core/util/Text.h"

namespace zandel {

int FindShownEntry(const std::vector<std::string>& entries, std::string_view text) {
    if (text.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (StartsWithNoCase(entries[i], text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int FindStoredEntry(const std::vector<std::string>& entries, std::string_view value) {
    if (value.empty() || entries.empty()) {
        return -1;
    }
    const std::size_t count = entries.size();
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t i = (step + 1) % count;
        if (StartsWithNoCase(entries[i], value)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace zandel
