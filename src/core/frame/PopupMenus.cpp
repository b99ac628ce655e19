#include "core/frame/PopupMenus.h"

#include <algorithm>
#include <array>
#include <functional>

#include "core/settings/AppSettings.h"
#include "core/frame/CommandIds.h"
#include "core/frame/CommandTable.h"

namespace zandel {

namespace {

using Kind = MenuEntry::Kind;

constexpr std::array kFavouritesEntries = {MenuEntry{Kind::Favourites}};
constexpr MenuInfo kFavouritesSubmenu{"お気に入りﾌﾟﾛｷｼﾘｽﾄから選択(&L)", nullptr, kFavouritesEntries};

constexpr std::array kContextMenu = {
    CommandEntry(cmd::kStartCheck),
    CommandEntry(cmd::kStopCheck),
    CommandEntry(cmd::kSkipCheck),
    kSeparatorEntry,
    CommandEntry(cmd::kProxyOnOff),
    CommandEntry(cmd::kChangeProxy),
    kSeparatorEntry,
    SubmenuEntry(kFavouritesSubmenu),
    CommandEntry(cmd::kRegisterFavourites),
    kSeparatorEntry,
    CommandEntry(cmd::kServeStart),
    CommandEntry(cmd::kServeStop),
    CommandEntry(cmd::kServeDesktop),
    kSeparatorEntry,
    CommandEntry(cmd::kRegisterChainProxies),
    kSeparatorEntry,
    CommandEntry(cmd::kEdit),
    CommandEntry(cmd::kCheckHistory),
    CommandEntry(cmd::kClearResults, "ﾁｪｯｸ結果をｸﾘｱ(&R)"),
    kSeparatorEntry,
    CommandEntry(cmd::kSelectAll, "すべて選択 (&A)               Ctrl+A"),
    CommandEntry(cmd::kSelectLive),
    CommandEntry(cmd::kSelectNg),
    kSeparatorEntry,
    CommandEntry(cmd::kInsert, "現在の位置に追加(&I)"),
    CommandEntry(cmd::kAddAtEnd),
    CommandEntry(cmd::kDelete),
    CommandEntry(cmd::kDeleteNg),
    kSeparatorEntry,
    CommandEntry(cmd::kMoveUp),
    CommandEntry(cmd::kMoveDown),
    kSeparatorEntry,
    CommandEntry(cmd::kAlwaysOnTop),
    kSeparatorEntry,
    CommandEntry(cmd::kOpenBrowser),
    kSeparatorEntry,
    CommandEntry(cmd::kHideToTray),
};

constexpr std::array kTraySaveEntries = SaveWithoutResultsEntries("Non-Anonymousのみ(&N)");
constexpr MenuInfo kTraySaveSubmenu{kSaveWithoutResultsTitle, nullptr, kTraySaveEntries};

// Favourites and "ﾌﾟﾛｷｼ無効(&P)" change with the settings; the item with its separator shows only with favourites.
constexpr std::array kTrayMenu = {
    CommandEntry(cmd::kRestoreFromTray),
    kSeparatorEntry,
    CommandEntry(cmd::kFileNew, "新規作成(&N)\tCtrl+N"),
    kSeparatorEntry,
    CommandEntry(cmd::kFileOpen, "ﾌｧｲﾙを開く(&O)...\tCtrl+O"),
    CommandEntry(cmd::kFileSave, "ﾌｧｲﾙの保存(ﾁｪｯｸ結果付き)(&S)\tCtrl+S"),
    CommandEntry(cmd::kFileSaveAs),
    CommandEntry(cmd::kAppendFile),
    kSeparatorEntry,
    CommandEntry(cmd::kMultiStage, "多段ﾌﾟﾛｷｼを使ってﾌﾞﾗｳｼﾞﾝｸﾞ(&D)..."),
    kSeparatorEntry,
    SubmenuEntry(kTraySaveSubmenu),
    kSeparatorEntry,
    MenuEntry{Kind::Favourites},
    kSeparatorEntry,
    CommandEntry(cmd::kProxyOff),
    kSeparatorEntry,
    CommandEntry(cmd::kServeStart),
    CommandEntry(cmd::kServeStop),
    CommandEntry(cmd::kServeDesktop),
    kSeparatorEntry,
    CommandEntry(cmd::kAppExit),
};

// The local proxy's commands: starting while it serves, or pointing the desktop at it while it does not, has
// nothing to act on.
bool ServeCommandEnabled(int id, bool serving) {
    switch (id) {
    case cmd::kServeStart:
        return !serving;
    case cmd::kServeStop:
    case cmd::kServeDesktop:
        return serving;
    default:
        return true;
    }
}

// How one menu decides, entry by entry, as it opens.
struct MenuRules {
    std::function<bool(const MenuEntry&)> enabled;
    std::function<bool(int id)> checked;
    std::vector<MenuItem> favourites;
};

std::vector<MenuItem> Build(std::span<const MenuEntry> entries, const MenuRules& rules) {
    std::vector<MenuItem> items;
    for (const MenuEntry& entry : entries) {
        MenuItem item;
        switch (entry.kind) {
        case Kind::Separator:
        case Kind::RecentFiles:
            break;
        case Kind::Favourites:
            items.insert(items.end(), rules.favourites.begin(), rules.favourites.end());
            continue;
        case Kind::Submenu:
            item.text = entry.submenu->title;
            item.enabled = rules.enabled(entry);
            item.submenu = Build(entry.submenu->entries, rules);
            break;
        case Kind::Command:
            item.id = entry.id;
            item.text = EntryText(entry);
            item.enabled = rules.enabled(entry);
            item.checked = rules.checked(entry.id);
            break;
        }
        items.push_back(std::move(item));
    }
    return items;
}

bool IsTrayFileCommand(int id) {
    return id == cmd::kFileNew || id == cmd::kFileOpen || id == cmd::kFileSave || id == cmd::kFileSaveAs ||
           id == cmd::kAppendFile;
}

} // namespace

std::vector<MenuItem> FavouritesPopup(const AppSettings& settings, const MenuState& state, bool marks) {
    std::vector<MenuItem> items;
    bool marked = false;
    const int count = CountListEntries(settings, SettingsList::Favourites);
    for (int slot = 0; slot < count; ++slot) {
        const std::string& favourite = settings.Favourites[static_cast<std::size_t>(slot)];
        const bool check =
            marks && !marked && settings.FavoSel && state.useProxy == 1 && favourite == state.proxyAddress;
        marked = marked || check;
        MenuItem item;
        item.id = cmd::kFavouriteFirst + slot;
        item.text = favourite;
        item.checked = check;
        items.push_back(std::move(item));
    }
    if (items.empty()) {
        MenuItem none;
        none.id = cmd::kFavouriteFirst;
        none.text = "なし";
        items.push_back(std::move(none));
    }
    return items;
}

std::optional<std::vector<MenuItem>> BuildContextMenu(const AppSettings& settings, const MenuState& state) {
    if (state.rowCount > 0 && state.selectionMark < 0) {
        return std::nullopt;
    }
    const bool idle = !state.running;
    const bool rows = state.rowCount > 0;
    MenuRules rules;
    rules.enabled = [&](const MenuEntry& entry) {
        // Row commands: off during a run and on an empty list, but adding at the end needs no rows.
        if (HasFlag(entry.id, cmdflag::kRowCommand)) {
            return idle && rows;
        }
        switch (entry.id) {
        case cmd::kStartCheck:
            return idle && rows;
        case cmd::kStopCheck:
            return state.running && rows;
        case cmd::kSkipCheck:
            return state.running && state.remaining > 1 && rows;
        case cmd::kAddAtEnd:
            return idle;
        case cmd::kCheckHistory:
            // Only reads: open during a run as well.
            return rows;
        default:
            return ServeCommandEnabled(entry.id, state.serving);
        }
    };
    rules.checked = [&](int id) {
        return (id == cmd::kProxyOnOff && state.useProxy == 1) ||
               (id == cmd::kAlwaysOnTop && settings.ForegroundWindow);
    };
    rules.favourites = FavouritesPopup(settings, state, true);
    return Build(kContextMenu, rules);
}

std::vector<MenuItem> BuildTrayMenu(const AppSettings& settings, const MenuState& state) {
    const bool idle = !state.running;
    MenuRules rules;
    rules.favourites = FavouritesPopup(settings, state, true);
    bool anyChecked = false;
    for (const MenuItem& item : rules.favourites) {
        anyChecked = anyChecked || item.checked;
    }
    rules.enabled = [idle, serving = state.serving](const MenuEntry& entry) {
        return entry.kind == Kind::Submenu || IsTrayFileCommand(entry.id) ? idle
                                                                          : ServeCommandEnabled(entry.id, serving);
    };
    rules.checked = [&](int id) { return id == cmd::kProxyOff && !anyChecked && state.useProxy == 0; };
    std::vector<MenuItem> menu = Build(kTrayMenu, rules);
    if (CountListEntries(settings, SettingsList::Favourites) == 0) {
        const auto proxyOff =
            std::find_if(menu.begin(), menu.end(), [](const MenuItem& item) { return item.id == cmd::kProxyOff; });
        menu.erase(proxyOff, proxyOff + 2);
    }
    return menu;
}

std::optional<int> FavouriteSlot(int id, const AppSettings& settings) {
    const int slot = id - cmd::kFavouriteFirst;
    if (slot < 0 || id > cmd::kFavouriteLast || slot >= CountListEntries(settings, SettingsList::Favourites)) {
        return std::nullopt;
    }
    return slot;
}

std::span<const MenuEntry> ContextMenuLayout() {
    return kContextMenu;
}

std::span<const MenuEntry> TrayMenuLayout() {
    return kTrayMenu;
}

} // namespace zandel
