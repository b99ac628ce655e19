#pragma once

#include <array>
#include <span>

#include "core/frame/CommandIds.h"

namespace zandel {

// One command: how its menu items and toolbar button look and what they say, wherever it shows.
struct CommandInfo {
    int id;
    const char* objectName; // the main window's action (nullptr: the command shows in popup menus only)
    const char* text;       // menu text with its mnemonic
    const char* prompt;     // status-bar prompt (nullptr: none)
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

struct MenuInfo;

// One entry of a menu layout. Popups name commands by id; `text` is set only where a menu shows a command
// under other words than the table's.
struct MenuEntry {
    enum class Kind { Command, Separator, Submenu, RecentFiles, Favourites };
    Kind kind = Kind::Separator;
    int id = 0;
    const char* text = nullptr;
    const MenuInfo* submenu = nullptr; // Submenu: its title and entries
};

struct MenuInfo {
    const char* title;
    const char* objectName;
    std::span<const MenuEntry> entries;
};

constexpr MenuEntry CommandEntry(int id, const char* text = nullptr) {
    return MenuEntry{MenuEntry::Kind::Command, id, text, nullptr};
}
constexpr MenuEntry SubmenuEntry(const MenuInfo& menu) {
    return MenuEntry{MenuEntry::Kind::Submenu, 0, nullptr, &menu};
}
inline constexpr MenuEntry kSeparatorEntry{};

// The saves without check results, a File submenu of the menu bar and of the tray menu; the tray words the
// Non-Anonymous one without its ellipsis.
constexpr std::array<MenuEntry, 7> SaveWithoutResultsEntries(const char* nonAnonymousText = nullptr) {
    return {CommandEntry(cmd::kSaveAllAddresses), CommandEntry(cmd::kSaveNotNG),
            CommandEntry(cmd::kSaveAnonymous),    CommandEntry(cmd::kSaveNonAnonymous, nonAnonymousText),
            CommandEntry(cmd::kSaveHttps),        CommandEntry(cmd::kSaveHttpProxies),
            CommandEntry(cmd::kSaveSocksProxies)};
}

// The label of a command entry: the menu's own text, else the table's.
const char* EntryText(const MenuEntry& entry);

// The popups of the menu bar in order. "多段接続(&D)..." is a command of the bar itself, after the fourth.
std::span<const MenuInfo> MainMenus();
inline constexpr int kMenuBarCommandPosition = 4;
inline constexpr const char* kSaveWithoutResultsTitle = "ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)";
inline constexpr const char* kRecentFilesPlaceholder = "最近使ったﾌｧｲﾙ";

} // namespace zandel
