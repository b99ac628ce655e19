#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zandel {

// How a drop-down field is shown: the first entry that begins with the text, letter case ignored. -1 when
// none does or the text is empty: the text then goes into the edit line as it is.
int FindShownEntry(const std::vector<std::string>& entries, std::string_view text);

// How a stored value picks its entry when a list is filled: the first entry beginning with the value, case
// ignored, searching from the second entry to the last and then the first. -1 when none does or the value
// is empty.
int FindStoredEntry(const std::vector<std::string>& entries, std::string_view value);

} // namespace zandel
