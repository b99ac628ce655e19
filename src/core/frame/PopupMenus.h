#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zandel {

struct AppSettings;
struct MenuEntry;

// One item of a popup menu as the window builds it: a command, a separator or a submenu.
struct MenuItem {
    int id = 0;       // command; 0 for a separator or a submenu
    std::string text; // label bytes ("" for a separator)
    bool enabled = true;
    bool checked = false;
    std::vector<MenuItem> submenu;

    bool IsSeparator() const { return id == 0 && text.empty() && submenu.empty(); }
};

// What the menus need to know of the windows when they open.
struct MenuState {
    bool running = false; // a check run is active
    int remaining = 0;    // rows of the run not yet finished, the current one included
    int rowCount = 0;
    int selectionMark = -1;
    int useProxy = 0;         // the proxy bar's use flag
    std::string proxyAddress; // the proxy bar's address
    bool serving = false;     // the local proxy listens
};

// The favourites, one item 100 + slot each, or the single item "なし" (100) when there are none. With
// `marks`, the first favourite equal to the bar's address carries the check while FavoSel and the bar's
// use flag are set.
std::vector<MenuItem> FavouritesPopup(const AppSettings& settings, const MenuState& state, bool marks);

// The list's context menu, with the favourites submenu at position 7; none when the list has rows but no
// selection mark.
std::optional<std::vector<MenuItem>> BuildContextMenu(const AppSettings& settings, const MenuState& state);

// The notification-area menu.
std::vector<MenuItem> BuildTrayMenu(const AppSettings& settings, const MenuState& state);

// The favourite slot of a command 100 + slot; none when no favourite is stored there.
std::optional<int> FavouriteSlot(int id, const AppSettings& settings);

// The layouts both menus are built from.
std::span<const MenuEntry> ContextMenuLayout();
std::span<const MenuEntry> TrayMenuLayout();

} // namespace zandel
