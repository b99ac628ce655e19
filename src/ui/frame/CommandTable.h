#pragma once

#include <span>

namespace zandel::ui {

// One command of the main window: how its menu item and toolbar button look and what they say.
struct CommandInfo {
    int id;
    const char* objectName; // the action's object name
    const char* text;       // menu text with its mnemonic
    const char* prompt;     // status-bar prompt
    const char* tip;        // tooltip of the toolbar button (nullptr: none)
    const char* icon;       // toolbar image in the resources (nullptr: none)
    const char* shortcuts;  // accelerators, "; "-separated (nullptr: none)
    bool checkable;
};

std::span<const CommandInfo> Commands();
// nullptr when the id is not in the table.
const CommandInfo* FindCommand(int id);

// Toolbar slots in order; 0 is a separator.
std::span<const int> ToolbarLayout();

// One entry of a popup of the main menu: a command, a separator (0) or a marker below.
inline constexpr int kMenuSeparator = 0;
inline constexpr int kMenuSaveWithoutResults = -1; // the File submenu of the saves without check results
inline constexpr int kMenuRecentFiles = -2;        // the recent-file list

struct MenuInfo {
    const char* title;
    const char* objectName;
    std::span<const int> entries;
};

// The popups of the menu bar in order. "多段接続(&D)..." is a command of the bar itself, after the fourth.
std::span<const MenuInfo> MainMenus();
inline constexpr int kMenuBarCommandPosition = 4;
std::span<const int> SaveWithoutResultsEntries();
inline constexpr const char* kSaveWithoutResultsTitle = "ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)";
inline constexpr const char* kRecentFilesPlaceholder = "最近使ったﾌｧｲﾙ";

} // namespace zandel::ui
