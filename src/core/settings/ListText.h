#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/AppSettings.h"

namespace zandel {

// A line of a list text box is read into a buffer of this many bytes.
inline constexpr std::size_t kListLineRead = 260;

// The lines a list box opens with: every entry ends its line except the 50th, so that fewer entries leave an
// empty last line and a full list leaves none for a 51st.
std::vector<std::string> ListEditLines(const std::vector<std::string>& entries);

// "%d件".
std::string CountLabel(int count);

// "%d件以上登録されました.\n%d件以降のアドレスは無視されます" with 50 for both.
std::string ListOverflowMessage();

// The lines of a list text box turned into list entries.
struct ListTextResult {
    std::vector<std::string> entries;
    bool overflow = false; // the box held more lines than are read: the user is told
};

// Favourites: the first word of each line is the address; only the first 51 lines are read.
ListTextResult ReadFavouriteLines(const std::vector<std::string>& lines);
// The address on a favourites line: blanks before it skipped, anything after it ignored.
std::string FavouriteAddress(std::string_view line);

// Replaces the whole list with the entries (at most 50, each cut to what a slot holds).
void StoreList(AppSettings& settings, SettingsList list, const std::vector<std::string>& entries);

} // namespace zandel
