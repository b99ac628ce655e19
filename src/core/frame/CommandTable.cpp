#include "core/frame/CommandTable.h"

#include <algorithm>
#include <array>

#include "core/frame/CommandIds.h"

namespace zandel {

namespace {

// clang-format off
constexpr std::array kCommands = {
    CommandInfo{cmd::kFileNew, "fileNew", "新規作成(&N)", "新しいﾘｽﾄを作成します", "新規作成", ":/icons/new.png", "Ctrl+N", false},
    CommandInfo{cmd::kFileOpen, "fileOpen", "ﾌｧｲﾙを開く(&O)...", "既存のﾘｽﾄﾌｧｲﾙを開きます", "ﾌｧｲﾙを開く", ":/icons/open.png", "Ctrl+O", false},
    CommandInfo{cmd::kFileSave, "fileSave", "ﾌｧｲﾙの保存(ﾁｪｯｸ結果付き)(&S)", "ﾁｪｯｸ結果を付けてﾘｽﾄを上書き保存します", "上書き保存", ":/icons/save.png", "Ctrl+S", false},
    CommandInfo{cmd::kFileSaveAs, "fileSaveAs", "別名で保存(&A)...", "ﾁｪｯｸ結果を付けてﾘｽﾄに名前を付けて保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kAppendFile, "fileAppend", "現在のﾌｧｲﾙに別のﾌｧｲﾙを追加(&F)", "別のﾘｽﾄﾌｧｲﾙのｱﾄﾞﾚｽを現在のﾘｽﾄの最後に追加します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveAllAddresses, "saveAllAddresses", "全てのｱﾄﾞﾚｽ(&A)...", "全てのｱﾄﾞﾚｽをﾁｪｯｸ結果無しで保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveNotNG, "saveNotNG", "ﾌﾟﾛｷｼﾁｪｯｸが成功したｱﾄﾞﾚｽすべて(&S)...", "NG以外のｱﾄﾞﾚｽをﾁｪｯｸ結果無しで保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveAnonymous, "saveAnonymous", "AnonymousAとBのみ (&T)...", "Anonymous(A)とAnonymous(B)のｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveNonAnonymous, "saveNonAnonymous", "Non-Anonymousのみ(&N)...", "Non-Anonymousのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveHttps, "saveHttps", "HTTPSが使えるｱﾄﾞﾚｽのみ(&H)...", "HTTPSのﾁｪｯｸがOKのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveHttpProxies, "saveHttpProxies", "HTTPﾌﾟﾛｷｼのｱﾄﾞﾚｽのみ(&P)...", "HTTPﾌﾟﾛｷｼのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSaveSocksProxies, "saveSocksProxies", "SOCKSﾌﾟﾛｷｼのｱﾄﾞﾚｽのみ(&K)...", "SOCKSﾌﾟﾛｷｼのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kExport, "fileExport", "エクスポート...", "ﾘｽﾄとﾁｪｯｸ結果をCSVかJSONで保存します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kAppExit, "appExit", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", "Zandelを終了します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kEdit, "editAddress", "編集(&E)", "選択したｱﾄﾞﾚｽを編集します", "ｱﾄﾞﾚｽの編集", ":/icons/edit.png", nullptr, false},
    CommandInfo{cmd::kInsert, "insertRow", "現在の位置に追加(I)", "選択した位置に新しいｱﾄﾞﾚｽを挿入します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kAddAtEnd, "addRow", "最後に追加(&L)", "ﾘｽﾄの最後に新しいｱﾄﾞﾚｽを追加します", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kDelete, "deleteRows", "削除(&D)", "選択したｱﾄﾞﾚｽを削除します", "削除", ":/icons/delete.png", nullptr, false},
    CommandInfo{cmd::kSelectAll, "selectAll", "すべて選択(&A)", "全てのｱﾄﾞﾚｽを選択します", "すべて選択", ":/icons/selectall.png", "Ctrl+A", false},
    CommandInfo{cmd::kClearResults, "clearResults", "チェック結果をクリア(&R)", "全てのｱﾄﾞﾚｽのﾁｪｯｸ結果を消去します", "ﾁｪｯｸ結果をｸﾘｱ", ":/icons/clearresults.png", nullptr, false},
    CommandInfo{cmd::kMoveUp, "moveUp", "上へ移動(&U)", "選択したｱﾄﾞﾚｽを1つ上へ移動します", "上へ移動", ":/icons/up.png", nullptr, false},
    CommandInfo{cmd::kMoveDown, "moveDown", "下へ移動(&M)", "選択したｱﾄﾞﾚｽを1つ下へ移動します", "下へ移動", ":/icons/down.png", nullptr, false},
    CommandInfo{cmd::kEditCopy, "editCopy", "ｺﾋﾟｰ(&C)", "編集中のｱﾄﾞﾚｽをｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰします", nullptr, nullptr, "Ctrl+C; Ctrl+Ins", false},
    CommandInfo{cmd::kEditPaste, "editPaste", "貼り付け(&P)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞのｱﾄﾞﾚｽを編集中のｱﾄﾞﾚｽに貼り付けます", nullptr, nullptr, "Ctrl+V; Shift+Ins", false},
    CommandInfo{cmd::kOpenBrowser, "openBrowser", "ﾌﾞﾗｳｻﾞの起動(&W)", "設定したﾌﾞﾗｳｻﾞを起動します", "ﾌﾞﾗｳｻﾞの起動", ":/icons/browser.png", nullptr, false},
    CommandInfo{cmd::kHideToTray, "hideToTray", "ﾀｽｸﾄﾚｲに収納(&H)", "Zandelをﾀｽｸﾄﾚｲに収納します", "ﾀｽｸﾄﾚｲに収納", ":/icons/tray.png", nullptr, false},
    CommandInfo{cmd::kAlwaysOnTop, "alwaysOnTop", "常に前面に表示(&F)", "Zandelを常に他のｳｨﾝﾄﾞｳの前面に表示します", "常に前面に表示", ":/icons/ontop.png", nullptr, true},
    CommandInfo{cmd::kLogFont, "logFont", "ﾛｸﾞｳｨﾝﾄﾞｳﾌｫﾝﾄの設定(&L)...", "ﾛｸﾞｳｨﾝﾄﾞｳのﾌｫﾝﾄを変更します", "ﾛｸﾞのﾌｫﾝﾄ", ":/icons/font.png", nullptr, false},
    CommandInfo{cmd::kClearLog, "clearLog", "ﾛｸﾞのｸﾘｱ(&D)", "ﾛｸﾞｳｨﾝﾄﾞｳの内容を消去します", "ﾛｸﾞのｸﾘｱ", ":/icons/clearlog.png", nullptr, false},
    CommandInfo{cmd::kHistoryColumns, "historyColumns", "稼働率と中央値(&U)", "ﾁｪｯｸ履歴から稼働率とﾚｽﾎﾟﾝｽﾀｲﾑの中央値を表示します", nullptr, nullptr, nullptr, true},
    CommandInfo{cmd::kSettings, "settings", "詳細設定(&S)...", "ﾀｲﾑｱｳﾄ、ﾌﾞﾗｳｻﾞ、User-Agent、接続先URL、お気に入りを設定します", "詳細設定", ":/icons/settings.png", nullptr, false},
    CommandInfo{cmd::kMultiStage, "multiStage", "多段接続(&D)...", "多段ﾌﾟﾛｷｼを使ってﾌﾞﾗｳｼﾞﾝｸﾞします", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kHelpManual, "helpManual", "Zandelのﾍﾙﾌﾟ(&H)", "Zandelのﾏﾆｭｱﾙをﾌﾞﾗｳｻﾞで開きます", nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kAppAbout, "appAbout", "ﾊﾞｰｼﾞｮﾝ情報(&A)...", "ﾊﾞｰｼﾞｮﾝ情報を表示します", "ﾊﾞｰｼﾞｮﾝ情報", ":/icons/about.png", nullptr, false},
    CommandInfo{cmd::kNextPane, "nextPane", "次のﾍﾟｲﾝ", "次のﾍﾟｲﾝに切り替えます", nullptr, nullptr, "F6", false},
    CommandInfo{cmd::kPrevPane, "prevPane", "前のﾍﾟｲﾝ", "前のﾍﾟｲﾝに切り替えます", nullptr, nullptr, "Shift+F6", false},
    // Only in the list's context menu and the notification-area menu.
    CommandInfo{cmd::kStartCheck, nullptr, "ﾌﾟﾛｷｼﾁｪｯｸ開始(&S)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kStopCheck, nullptr, "ﾌﾟﾛｷｼﾁｪｯｸ停止(&T)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kSkipCheck, nullptr, "ﾌﾟﾛｷｼﾁｪｯｸのｽｷｯﾌﾟ(&K)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kProxyOnOff, nullptr, "ﾌﾟﾛｷｼのON/OFF(&N)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kChangeProxy, nullptr, "ﾌﾟﾛｷｼをﾁｪﾝｼﾞする(&G)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kCheckHistory, nullptr, "ﾁｪｯｸ履歴(&Y)...", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kRegisterFavourites, nullptr, "お気に入りﾌﾟﾛｷｼﾘｽﾄへ登録(P)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kRegisterChainProxies, nullptr, "多段接続用ﾌﾟﾛｷｼﾘｽﾄへ登録(Q)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kRestoreFromTray, nullptr, "Zandelを元のｻｲｽﾞの戻す(&R)", nullptr, nullptr, nullptr, nullptr, false},
    CommandInfo{cmd::kProxyOff, nullptr, "ﾌﾟﾛｷｼ無効(&P)", nullptr, nullptr, nullptr, nullptr, false},
};
// clang-format on

constexpr std::array kToolbar = {
    cmd::kFileNew,
    cmd::kFileOpen,
    cmd::kFileSave,
    0,
    cmd::kEdit,
    cmd::kSelectAll,
    cmd::kClearResults,
    cmd::kDelete,
    cmd::kMoveUp,
    cmd::kMoveDown,
    0,
    cmd::kOpenBrowser,
    cmd::kHideToTray,
    0,
    cmd::kSettings,
    cmd::kAlwaysOnTop,
    cmd::kLogFont,
    cmd::kClearLog,
    0,
    cmd::kAppAbout,
};

using Kind = MenuEntry::Kind;

constexpr std::array kSaveWithoutResults = SaveWithoutResultsEntries();
constexpr MenuInfo kSaveWithoutResultsMenu{kSaveWithoutResultsTitle, "menuSaveWithoutResults", kSaveWithoutResults};

constexpr std::array kFileMenu = {
    CommandEntry(cmd::kFileNew),
    kSeparatorEntry,
    CommandEntry(cmd::kFileOpen),
    CommandEntry(cmd::kFileSave),
    CommandEntry(cmd::kFileSaveAs),
    CommandEntry(cmd::kAppendFile),
    kSeparatorEntry,
    SubmenuEntry(kSaveWithoutResultsMenu),
    CommandEntry(cmd::kExport),
    kSeparatorEntry,
    MenuEntry{Kind::RecentFiles},
    kSeparatorEntry,
    CommandEntry(cmd::kAppExit),
};
constexpr std::array kEditMenu = {
    CommandEntry(cmd::kEdit),         kSeparatorEntry, CommandEntry(cmd::kInsert),    CommandEntry(cmd::kAddAtEnd),
    CommandEntry(cmd::kDelete),       kSeparatorEntry, CommandEntry(cmd::kSelectAll), kSeparatorEntry,
    CommandEntry(cmd::kClearResults), kSeparatorEntry, CommandEntry(cmd::kMoveUp),    CommandEntry(cmd::kMoveDown),
};
constexpr std::array kViewMenu = {
    CommandEntry(cmd::kOpenBrowser), kSeparatorEntry, CommandEntry(cmd::kAlwaysOnTop),
    CommandEntry(cmd::kHideToTray),  kSeparatorEntry, CommandEntry(cmd::kLogFont),
    CommandEntry(cmd::kClearLog),    kSeparatorEntry, CommandEntry(cmd::kHistoryColumns),
};
constexpr std::array kOptionMenu = {CommandEntry(cmd::kSettings)};
constexpr std::array kHelpMenu = {CommandEntry(cmd::kHelpManual), kSeparatorEntry, CommandEntry(cmd::kAppAbout)};

constexpr std::array kMenus = {
    MenuInfo{"ﾌｧｲﾙ(&F)", "menuFile", kFileMenu}, MenuInfo{"編集(&E)", "menuEdit", kEditMenu},
    MenuInfo{"表示(&V)", "menuView", kViewMenu}, MenuInfo{"オプション(&O)", "menuOption", kOptionMenu},
    MenuInfo{"ﾍﾙﾌﾟ(&H)", "menuHelp", kHelpMenu},
};

} // namespace

std::span<const CommandInfo> Commands() {
    return kCommands;
}

const CommandInfo* FindCommand(int id) {
    const auto found =
        std::find_if(kCommands.begin(), kCommands.end(), [id](const CommandInfo& info) { return info.id == id; });
    return found == kCommands.end() ? nullptr : &*found;
}

std::span<const int> ToolbarLayout() {
    return kToolbar;
}

std::span<const MenuInfo> MainMenus() {
    return kMenus;
}

const char* EntryText(const MenuEntry& entry) {
    if (entry.text != nullptr) {
        return entry.text;
    }
    const CommandInfo* info = FindCommand(entry.id);
    return info == nullptr ? "" : info->text;
}

} // namespace zandel
