#pragma once

#include <utility>
#include <vector>

namespace zandel {

// What a command's rule does to its menu item or button.
enum class CommandUpdate { Enable, Disable, Keep };

// The state of the main window that command availability depends on.
struct FrameState {
    int rowCount = 0;            // rows in the list now
    bool running = false;        // a check run holds the list
    int remaining = 0;           // addresses of the run not yet finished, the current one included
    bool onTop = false;          // ForegroundWindow
    bool historyColumns = false; // the list shows the uptime and median columns
    bool filterBar = false;      // the filter bar is open
    bool serving = false;        // the local proxy listens
    bool placeColumns = false;   // the list shows the country and AS columns
    bool siteColumns = false;    // the list shows a column for each site of [Sites]
};

// Which commands of the main window are available. Two passes decide it, as the menus work: opening the menu
// bar greys what a run or an empty list forbids; then each command's own rule decides, whenever its popup
// opens and on every idle update of the toolbar and the bars. A rule may keep the state that the menu-bar
// pass left, which is how "add at end" and "append" behave during a run.
class CommandRules final {
public:
    // The menu-bar pass: refreshes the cached row count and gives the state of each command it touches (the
    // File submenu of the saves without results included, under kSaveWithoutResultsMenu).
    std::vector<std::pair<int, bool>> MenuBarOpened(const FrameState& state);
    // The command's own rule. Commands without one are enabled (every command in the tables has a handler).
    CommandUpdate Rule(int id, const FrameState& state);
    // The enabled state after the command's rule, for an item that had `current` before.
    bool Enabled(int id, const FrameState& state, bool current);
    bool Checked(int id, const FrameState& state) const;

    int CachedRowCount() const { return m_cachedRows; }

    // Stands for the File submenu "ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)", which has no command number of its own.
    static constexpr int kSaveWithoutResultsMenu = -7;

private:
    int m_cachedRows = 0;
};

} // namespace zandel
