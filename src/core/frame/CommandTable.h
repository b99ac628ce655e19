#pragma once

#include <array>
#include <span>

#include "core/frame/CommandIds.h"

namespace zandel {

// What a command needs and how it travels, as bits of CommandInfo::flags.
namespace cmdflag {
// Works on the list's rows: needs rows, and a run forbids it (a run holds the indexes of its rows).
inline constexpr unsigned kRowCommand = 1U << 0U;
// A run forbids it; chosen anyway (a key, a menu opened before the run), it does nothing.
inline constexpr unsigned kNeedsIdle = 1U << 1U;
// Chosen in a popup, it brings the main window back from the tray before anything else (it asks for a name).
inline constexpr unsigned kRestoreFromPopup = 1U << 2U;
// Chosen in a popup, it runs once the popup has returned: a dialog must not come while the menu is up.
inline constexpr unsigned kQueuedFromPopup = 1U << 3U;
// Chosen in the main window, it runs once the choosing command has returned (the browser starts after it).
inline constexpr unsigned kQueuedFromWindow = 1U << 4U;
} // namespace cmdflag

// One command: how its menu items and toolbar button look and what they say, wherever it shows, and what it
// needs. Its handler is bound where its owner is built (CommandDispatcher).
struct CommandInfo {
    int id;
    const char* objectName; // the main window's action (nullptr: the command shows in popup menus only)
    const char* text;       // menu text with its mnemonic
    const char* prompt;     // status-bar prompt (nullptr: none)
    const char* tip;        // tooltip of the toolbar button (nullptr: none)
    const char* icon;       // toolbar image in the resources (nullptr: none)
    const char* shortcuts;  // accelerators, "; "-separated (nullptr: none)
    bool checkable;
    unsigned flags; // cmdflag bits
};

std::span<const CommandInfo> Commands();
// nullptr when the id is not in the table.
const CommandInfo* FindCommand(int id);

// False for ids not in the table (the run-time ranges of recent files and favourites).
bool HasFlag(int id, unsigned flag);

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
