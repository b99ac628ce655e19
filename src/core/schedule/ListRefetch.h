#pragma once

#include <string>

namespace zandel {

// What the window is doing as a round of the re-checks comes due.
struct ListRefetchState {
    bool optionOn = false;     // RefetchList, with the re-checks on
    bool fromUrl = false;      // the list was opened from a URL (not a file, not a new list)
    bool runGoing = false;     // a check run holds the list's rows
    bool editOpen = false;     // an address is being edited in place
    bool fetchPending = false; // a list is already on its way
};

// Whether the round fetches the list again: only a list from a URL, and only while nothing else has its rows,
// since the merge adds and removes rows under a run's indexes or an open edit.
bool ShouldRefetchList(const ListRefetchState& state);

// The transcript line for a re-fetch that came to nothing; the list stays as it was. One line, whatever the cause
// says: a box from the background would stand in the user's way every few minutes.
std::string RefetchFailedLine(const std::string& why);

} // namespace zandel
