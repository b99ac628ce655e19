#include "core/app/PopupMenus.h"

#include "core/app/AppSettings.h"
#include "core/app/CommandIds.h"

namespace zandel {

namespace {

MenuItem Item(int id, const char* text, bool enabled = true, bool checked = false) {
    MenuItem item;
    item.id = id;
    item.text = text;
    item.enabled = enabled;
    item.checked = checked;
    return item;
}

MenuItem Separator() {
    return MenuItem{};
}

MenuItem Submenu(const char* text, std::vector<MenuItem> items, bool enabled = true) {
    MenuItem item;
    item.text = text;
    item.enabled = enabled;
    item.submenu = std::move(items);
    return item;
}

std::vector<MenuItem> SaveWithoutResults() {
    return {Item(cmd::kSaveAllAddresses, "全てのｱﾄﾞﾚｽ(&A)..."),
            Item(cmd::kSaveNotNG, "ﾌﾟﾛｷｼﾁｪｯｸが成功したｱﾄﾞﾚｽすべて(&S)..."),
            Item(cmd::kSaveAnonymous, "AnonymousAとBのみ (&T)..."),
            Item(cmd::kSaveNonAnonymous, "Non-Anonymousのみ(&N)")};
}

bool IsFileCommand(int id) {
    switch (id) {
    case cmd::kFileNew:
    case cmd::kFileOpen:
    case cmd::kAppendFile:
    case cmd::kSaveAllAddresses:
    case cmd::kSaveNotNG:
    case cmd::kSaveNonAnonymous:
    case cmd::kSaveAnonymous:
        return true;
    default:
        return false;
    }
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
        items.push_back(Item(cmd::kFavouriteFirst, "なし"));
    }
    return items;
}

std::optional<std::vector<MenuItem>> BuildContextMenu(const AppSettings& settings, const MenuState& state) {
    if (state.rowCount > 0 && state.selectionMark < 0) {
        return std::nullopt;
    }
    const bool idle = !state.running;
    const bool rows = state.rowCount > 0;
    // Row commands: off during a run and on an empty list, but adding at the end needs no rows.
    const bool rowCommand = idle && rows;
    std::vector<MenuItem> menu = {
        Item(cmd::kStartCheck, "ﾌﾟﾛｷｼﾁｪｯｸ開始(&S)", idle && rows),
        Item(cmd::kStopCheck, "ﾌﾟﾛｷｼﾁｪｯｸ停止(&T)", state.running && rows),
        Item(cmd::kSkipCheck, "ﾌﾟﾛｷｼﾁｪｯｸのｽｷｯﾌﾟ(&K)", state.running && state.remaining > 1 && rows),
        Separator(),
        Item(cmd::kProxyOnOff, "ﾌﾟﾛｷｼのON/OFF(&N)", true, state.useProxy == 1),
        Item(cmd::kChangeProxy, "ﾌﾟﾛｷｼをﾁｪﾝｼﾞする(&G)"),
        Separator(),
        Submenu("お気に入りﾌﾟﾛｷｼﾘｽﾄから選択(&L)", FavouritesPopup(settings, state, true)),
        Item(cmd::kRegisterFavourites, "お気に入りﾌﾟﾛｷｼﾘｽﾄへ登録(P)"),
        Separator(),
        Item(cmd::kRegisterChainProxies, "多段接続用ﾌﾟﾛｷｼﾘｽﾄへ登録(Q)"),
        Separator(),
        Item(cmd::kEdit, "編集(&E)", rowCommand),
        Item(cmd::kClearResults, "ﾁｪｯｸ結果をｸﾘｱ(&R)", rowCommand),
        Separator(),
        Item(cmd::kSelectAll, "すべて選択 (&A)               Ctrl+A", rowCommand),
        Separator(),
        Item(cmd::kInsert, "現在の位置に追加(&I)", rowCommand),
        Item(cmd::kAddAtEnd, "最後に追加(&L)", idle),
        Item(cmd::kDelete, "削除(&D)", rowCommand),
        Separator(),
        Item(cmd::kMoveUp, "上へ移動(&U)", rowCommand),
        Item(cmd::kMoveDown, "下へ移動(&M)", rowCommand),
        Separator(),
        Item(cmd::kAlwaysOnTop, "常に前面に表示(&F)", true, settings.ForegroundWindow),
        Separator(),
        Item(cmd::kOpenBrowser, "ﾌﾞﾗｳｻﾞの起動(&W)"),
        Separator(),
        Item(cmd::kHideToTray, "ﾀｽｸﾄﾚｲに収納(&H)"),
    };
    return menu;
}

std::vector<MenuItem> BuildTrayMenu(const AppSettings& settings, const MenuState& state) {
    const bool idle = !state.running;
    std::vector<MenuItem> menu = {
        Item(cmd::kRestoreFromTray, "Zandelを元のｻｲｽﾞの戻す(&R)"),
        Separator(),
        Item(cmd::kFileNew, "新規作成(&N)\tCtrl+N", idle),
        Separator(),
        Item(cmd::kFileOpen, "ﾌｧｲﾙを開く(&O)...\tCtrl+O", idle),
        Item(cmd::kFileSave, "ﾌｧｲﾙの保存(ﾁｪｯｸ結果付き)(&S)\tCtrl+S", idle),
        Item(cmd::kFileSaveAs, "別名で保存(&A)...", idle),
        Item(cmd::kAppendFile, "現在のﾌｧｲﾙに別のﾌｧｲﾙを追加(&F)", idle),
        Separator(),
        Item(cmd::kMultiStage, "多段ﾌﾟﾛｷｼを使ってﾌﾞﾗｳｼﾞﾝｸﾞ(&D)..."),
        Separator(),
        Submenu("ﾌｧｲﾙの保存(ﾁｪｯｸ結果無し)(&E)", SaveWithoutResults(), idle),
        Separator(),
    };
    const int count = CountListEntries(settings, SettingsList::Favourites);
    std::vector<MenuItem> favourites = FavouritesPopup(settings, state, true);
    bool anyChecked = false;
    for (MenuItem& item : favourites) {
        anyChecked = anyChecked || item.checked;
        menu.push_back(std::move(item));
    }
    menu.push_back(Separator());
    if (count > 0) {
        menu.push_back(Item(cmd::kProxyOff, "ﾌﾟﾛｷｼ無効(&P)", true, !anyChecked && state.useProxy == 0));
        menu.push_back(Separator());
    }
    menu.push_back(Item(cmd::kAppExit, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"));
    return menu;
}

ListCommandRoute RouteListCommand(int id, const AppSettings& settings) {
    ListCommandRoute route;
    if (IsFileCommand(id)) {
        route.restoreWindow = true;
        route.postToMain = id;
        route.dispatch = false;
    } else if (id == cmd::kFileSaveAs) {
        // Save as asks for a name: the window comes back first. It runs once, in the main window (handing it
        // to the document as well would save twice).
        route.restoreWindow = true;
        route.postToMain = cmd::kFileSaveAs;
        route.dispatch = false;
    } else if (id == cmd::kFileSave || id == cmd::kMultiStage || id == cmd::kAppExit) {
        route.postToMain = id;
        route.dispatch = false;
    } else if (id == cmd::kProxyOff) {
        route.proxyOff = true;
        route.dispatch = false;
    } else if (id >= cmd::kFavouriteFirst && id <= cmd::kFavouriteLast) {
        const int slot = id - cmd::kFavouriteFirst;
        if (slot < CountListEntries(settings, SettingsList::Favourites)) {
            route.favourite = slot;
        }
        route.dispatch = false;
    }
    return route;
}

} // namespace zandel
