#include "core/settings/ListText.h"

#include <algorithm>

#include "core/settings/FieldRules.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

// Bytes that end an address on a favourites line.
bool EndsWord(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0' || c == '\x01' || c == '\x12';
}

} // namespace

std::vector<std::string> ListEditLines(const std::vector<std::string>& entries) {
    const std::size_t count = std::min(entries.size(), static_cast<std::size_t>(kListSlots));
    std::vector<std::string> lines(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(count));
    if (count < static_cast<std::size_t>(kListSlots)) {
        lines.emplace_back();
    }
    return lines;
}

std::string CountLabel(int count) {
    return std::to_string(count) + "件";
}

std::string ListOverflowMessage() {
    const std::string limit = std::to_string(kListSlots);
    return limit + "件以上登録されました.\n" + limit + "件以降のアドレスは無視されます";
}

std::string FavouriteAddress(std::string_view line) {
    std::size_t start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) {
        ++start;
    }
    std::size_t end = start;
    while (end < line.size() && !EndsWord(line[end])) {
        ++end;
    }
    return std::string(line.substr(start, end - start));
}

ListTextResult ReadFavouriteLines(const std::vector<std::string>& lines) {
    ListTextResult result;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        // One line more than there are slots is read before the user is told: a full list typed with a
        // final line end must not raise the message.
        if (index > static_cast<std::size_t>(kListSlots)) {
            result.overflow = true;
            break;
        }
        const std::string line = CutAtCharBoundary(lines[index], kListLineRead);
        std::string address = FavouriteAddress(line);
        if (!address.empty() && result.entries.size() < static_cast<std::size_t>(kListSlots)) {
            result.entries.push_back(CutAtCharBoundary(address, kMaxFieldText));
        }
    }
    return result;
}

void StoreList(AppSettings& settings, SettingsList list, const std::vector<std::string>& entries) {
    ClearList(settings, list);
    int slot = 0;
    for (const std::string& entry : entries) {
        if (slot >= kListSlots) {
            break;
        }
        if (!entry.empty()) {
            SetListEntry(settings, list, CutAtCharBoundary(entry, kMaxFieldText), slot++);
        }
    }
}

} // namespace zandel
