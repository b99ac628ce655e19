#pragma once

namespace zandel {

// The window whose handler carries a command out.
enum class CommandOwner {
    Frame,     // the main window
    List,      // the proxy list and its rows
    ListMenus, // the list window's popup menus: favourites, registration, the browser
};

// Where a command goes, whichever menu, button or key chose it. A window that receives a command it does not
// own hands it over: queued when `postToOwner`, so that the owner acts once the choosing command has
// returned (a popup that saves or opens a file must be gone before the dialog comes), else at once.
struct CommandRoute {
    int first;
    int last; // a range of run-time items (recent files, favourites); first otherwise
    CommandOwner owner;
    bool restoreFirst; // chosen in a popup: bring the main window back from the tray before anything else
    bool postToOwner;
};

// nullptr for a number no window handles.
const CommandRoute* FindRoute(int id);

} // namespace zandel
