#include "core/frame/CommandTable.h"

#include <algorithm>
#include <array>

#include "core/frame/CommandIds.h"

namespace zandel {

namespace {

constexpr unsigned kRow = cmdflag::kRowCommand | cmdflag::kNeedsIdle;
constexpr unsigned kIdle = cmdflag::kNeedsIdle;
constexpr unsigned kQueuedFromPopup = cmdflag::kQueuedFromPopup;
constexpr unsigned kQueuedFromWindow = cmdflag::kQueuedFromWindow;
// A file command chosen in the tray asks for a name or a confirmation: the window comes back first, and the
// command runs once, in the main window.
constexpr unsigned kFileDialog = cmdflag::kRestoreFromPopup | cmdflag::kQueuedFromPopup;

// clang-format off
constexpr std::array kCommands = {
    CommandInfo{cmd::kFileNew, "fileNew", "新規作成(&N)", "新しいﾘｽﾄを作成します", "新規作成", ":/icons/new.png", "Ctrl+N", false, kIdle | kFileDialog},
    CommandInfo{cmd::kFileOpen, "fileOpen", "ﾌｧｲﾙを開く(&O)...", "既存のﾘｽﾄﾌｧｲﾙを開きます", "ﾌｧｲﾙを開く", ":/icons/open.png", "Ctrl+O", false, kIdle | kFileDialog},
    CommandInfo{cmd::kOpenUrl, "fileOpenUrl", "URLから開く(&U)...", "Webにあるﾘｽﾄをﾀﾞｳﾝﾛｰﾄﾞして開きます", nullptr, nullptr, nullptr, false, kIdle | kFileDialog},
    CommandInfo{cmd::kFileSave, "fileSave", "ﾌｧｲﾙの保存(ﾁｪｯｸ結果付き)(&S)", "ﾁｪｯｸ結果を付けてﾘｽﾄを上書き保存します", "上書き保存", ":/icons/save.png", "Ctrl+S", false, kIdle | kQueuedFromPopup},
    CommandInfo{cmd::kFileSaveAs, "fileSaveAs", "別名で保存(&A)...", "ﾁｪｯｸ結果を付けてﾘｽﾄに名前を付けて保存します", nullptr, nullptr, nullptr, false, kIdle | kFileDialog},
    CommandInfo{cmd::kAppendFile, "fileAppend", "現在のﾌｧｲﾙに別のﾌｧｲﾙを追加(&F)", "別のﾘｽﾄﾌｧｲﾙのｱﾄﾞﾚｽを現在のﾘｽﾄの最後に追加します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveAllAddresses, "saveAllAddresses", "全てのｱﾄﾞﾚｽ(&A)...", "全てのｱﾄﾞﾚｽをﾁｪｯｸ結果無しで保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveNotNG, "saveNotNG", "ﾌﾟﾛｷｼﾁｪｯｸが成功したｱﾄﾞﾚｽすべて(&S)...", "NG以外のｱﾄﾞﾚｽをﾁｪｯｸ結果無しで保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveAnonymous, "saveAnonymous", "AnonymousAとBのみ (&T)...", "Anonymous(A)とAnonymous(B)のｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveNonAnonymous, "saveNonAnonymous", "Non-Anonymousのみ(&N)...", "Non-Anonymousのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveHttps, "saveHttps", "HTTPSが使えるｱﾄﾞﾚｽのみ(&H)...", "HTTPSのﾁｪｯｸがOKのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveHttpProxies, "saveHttpProxies", "HTTPﾌﾟﾛｷｼのｱﾄﾞﾚｽのみ(&P)...", "HTTPﾌﾟﾛｷｼのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kSaveSocksProxies, "saveSocksProxies", "SOCKSﾌﾟﾛｷｼのｱﾄﾞﾚｽのみ(&K)...", "SOCKSﾌﾟﾛｷｼのｱﾄﾞﾚｽだけを保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kExport, "fileExport", "ｴｸｽﾎﾟｰﾄ(&P)...", "ﾘｽﾄとﾁｪｯｸ結果をCSVかJSONで保存します", nullptr, nullptr, nullptr, false, kFileDialog},
    CommandInfo{cmd::kAppExit, "appExit", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", "Zandelを終了します", nullptr, nullptr, nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kEdit, "editAddress", "編集(&E)", "選択したｱﾄﾞﾚｽを編集します", "ｱﾄﾞﾚｽの編集", ":/icons/edit.png", nullptr, false, kRow},
    CommandInfo{cmd::kInsert, "insertRow", "現在の位置に追加(I)", "選択した位置に新しいｱﾄﾞﾚｽを挿入します", nullptr, nullptr, nullptr, false, kRow},
    CommandInfo{cmd::kAddAtEnd, "addRow", "最後に追加(&L)", "ﾘｽﾄの最後に新しいｱﾄﾞﾚｽを追加します", nullptr, nullptr, nullptr, false, kIdle},
    CommandInfo{cmd::kDelete, "deleteRows", "削除(&D)", "選択したｱﾄﾞﾚｽを削除します", "削除", ":/icons/delete.png", nullptr, false, kRow},
    CommandInfo{cmd::kSelectAll, "selectAll", "すべて選択(&A)", "全てのｱﾄﾞﾚｽを選択します", "すべて選択", ":/icons/selectall.png", "Ctrl+A", false, kRow},
    CommandInfo{cmd::kSelectLive, "selectLive", "使用可能なｱﾄﾞﾚｽを選択(&V)", "ﾁｪｯｸ結果がOK、Anonymous、Non-Anonymousのｱﾄﾞﾚｽだけを選択します", nullptr, nullptr, nullptr, false, kRow},
    CommandInfo{cmd::kSelectNg, "selectNg", "NGのｱﾄﾞﾚｽを選択(&B)", "ﾁｪｯｸ結果がNGのｱﾄﾞﾚｽだけを選択します", nullptr, nullptr, nullptr, false, kRow},
    CommandInfo{cmd::kDeleteNg, "deleteNg", "NGのｱﾄﾞﾚｽを削除(&X)", "ﾁｪｯｸ結果がNGのｱﾄﾞﾚｽを削除します", nullptr, nullptr, nullptr, false, kRow},
    CommandInfo{cmd::kClearResults, "clearResults", "チェック結果をクリア(&R)", "全てのｱﾄﾞﾚｽのﾁｪｯｸ結果を消去します", "ﾁｪｯｸ結果をｸﾘｱ", ":/icons/clearresults.png", nullptr, false, kRow},
    CommandInfo{cmd::kMoveUp, "moveUp", "上へ移動(&U)", "選択したｱﾄﾞﾚｽを1つ上へ移動します", "上へ移動", ":/icons/up.png", nullptr, false, kRow},
    CommandInfo{cmd::kMoveDown, "moveDown", "下へ移動(&M)", "選択したｱﾄﾞﾚｽを1つ下へ移動します", "下へ移動", ":/icons/down.png", nullptr, false, kRow},
    CommandInfo{cmd::kEditCopy, "editCopy", "ｺﾋﾟｰ(&C)", "編集中のｱﾄﾞﾚｽをｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰします", nullptr, nullptr, "Ctrl+C; Ctrl+Ins", false, 0},
    CommandInfo{cmd::kEditPaste, "editPaste", "貼り付け(&P)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞのｱﾄﾞﾚｽを編集中のｱﾄﾞﾚｽに貼り付けます", nullptr, nullptr, "Ctrl+V; Shift+Ins", false, 0},
    CommandInfo{cmd::kOpenBrowser, "openBrowser", "ﾌﾞﾗｳｻﾞの起動(&W)", "設定したﾌﾞﾗｳｻﾞを起動します", "ﾌﾞﾗｳｻﾞの起動", ":/icons/browser.png", nullptr, false, kQueuedFromWindow},
    CommandInfo{cmd::kHideToTray, "hideToTray", "ﾀｽｸﾄﾚｲに収納(&H)", "Zandelをﾀｽｸﾄﾚｲに収納します", "ﾀｽｸﾄﾚｲに収納", ":/icons/tray.png", nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kAlwaysOnTop, "alwaysOnTop", "常に前面に表示(&F)", "Zandelを常に他のｳｨﾝﾄﾞｳの前面に表示します", "常に前面に表示", ":/icons/ontop.png", nullptr, true, kQueuedFromPopup},
    CommandInfo{cmd::kLogFont, "logFont", "ﾛｸﾞｳｨﾝﾄﾞｳﾌｫﾝﾄの設定(&L)...", "ﾛｸﾞｳｨﾝﾄﾞｳのﾌｫﾝﾄを変更します", "ﾛｸﾞのﾌｫﾝﾄ", ":/icons/font.png", nullptr, false, 0},
    CommandInfo{cmd::kClearLog, "clearLog", "ﾛｸﾞのｸﾘｱ(&D)", "ﾛｸﾞｳｨﾝﾄﾞｳの内容を消去します", "ﾛｸﾞのｸﾘｱ", ":/icons/clearlog.png", nullptr, false, kIdle},
    CommandInfo{cmd::kHistoryColumns, "historyColumns", "稼働率と中央値(&U)", "ﾁｪｯｸ履歴から稼働率とﾚｽﾎﾟﾝｽﾀｲﾑの中央値を表示します", nullptr, nullptr, nullptr, true, 0},
    CommandInfo{cmd::kPlaceColumns, "placeColumns", "国とAS(&G)", "ﾌﾟﾛｷｼの出口の国とAS(ﾈｯﾄﾜｰｸ)を位置情報ﾃﾞｰﾀﾍﾞｰｽから表示します", nullptr, nullptr, nullptr, true, 0},
    CommandInfo{cmd::kSiteColumns, "siteColumns", "ｻｲﾄの結果(&S)", "使えたﾌﾟﾛｷｼから詳細設定の各ｻｲﾄに届いたかを表示します", nullptr, nullptr, nullptr, true, 0},
    CommandInfo{cmd::kFilterBar, "filterBar", "ﾌｨﾙﾀﾊﾞｰ(&I)", "表示するｱﾄﾞﾚｽをｱﾄﾞﾚｽ、結果、種類、稼働率で絞り込みます", nullptr, nullptr, "Ctrl+F", true, 0},
    CommandInfo{cmd::kServeStart, "serveStart", "ﾛｰｶﾙﾌﾟﾛｷｼを開始(&R)", "ﾁｪｯｸで使えたﾌﾟﾛｷｼをﾛｰｶﾙのﾎﾟｰﾄひとつで使えるようにします", nullptr, nullptr, nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kServeStop, "serveStop", "ﾛｰｶﾙﾌﾟﾛｷｼを停止(&T)", "ﾛｰｶﾙﾌﾟﾛｷｼを停止します", nullptr, nullptr, nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kServeDesktop, "serveDesktop", "ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼをﾛｰｶﾙﾌﾟﾛｷｼに(&K)", "ﾃﾞｽｸﾄｯﾌﾟのﾌﾟﾛｷｼ(HTTP、HTTPS、SOCKS)をﾛｰｶﾙﾌﾟﾛｷｼにします", nullptr, nullptr, nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kServeConnections, "serveConnections", "ﾛｰｶﾙﾌﾟﾛｷｼの接続(&C)...", "ﾛｰｶﾙﾌﾟﾛｷｼの最近の接続とﾌﾟｰﾙのﾌﾟﾛｷｼを表示します", nullptr, nullptr, nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kSettings, "settings", "詳細設定(&S)...", "ﾀｲﾑｱｳﾄ、ﾌﾞﾗｳｻﾞ、User-Agent、接続先URL、お気に入りを設定します", "詳細設定", ":/icons/settings.png", nullptr, false, 0},
    CommandInfo{cmd::kMultiStage, "multiStage", "多段接続(&D)...", "多段ﾌﾟﾛｷｼを使ってﾌﾞﾗｳｼﾞﾝｸﾞします", nullptr, nullptr, nullptr, false, kQueuedFromPopup},
    CommandInfo{cmd::kHelpManual, "helpManual", "Zandelのﾍﾙﾌﾟ(&H)", "Zandelのﾏﾆｭｱﾙをﾌﾞﾗｳｻﾞで開きます", nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kAppAbout, "appAbout", "ﾊﾞｰｼﾞｮﾝ情報(&A)...", "ﾊﾞｰｼﾞｮﾝ情報を表示します", "ﾊﾞｰｼﾞｮﾝ情報", ":/icons/about.png", nullptr, false, 0},
    CommandInfo{cmd::kNextPane, "nextPane", "次のﾍﾟｲﾝ", "次のﾍﾟｲﾝに切り替えます", nullptr, nullptr, "F6", false, 0},
    CommandInfo{cmd::kPrevPane, "prevPane", "前のﾍﾟｲﾝ", "前のﾍﾟｲﾝに切り替えます", nullptr, nullptr, "Shift+F6", false, 0},
    // Only in the list's context menu and the notification-area menu.
    CommandInfo{cmd::kStartCheck, nullptr, "ﾌﾟﾛｷｼﾁｪｯｸ開始(&S)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kStopCheck, nullptr, "ﾌﾟﾛｷｼﾁｪｯｸ停止(&T)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kSkipCheck, nullptr, "ﾌﾟﾛｷｼﾁｪｯｸのｽｷｯﾌﾟ(&K)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kProxyOnOff, nullptr, "ﾌﾟﾛｷｼのON/OFF(&N)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kChangeProxy, nullptr, "ﾌﾟﾛｷｼをﾁｪﾝｼﾞする(&G)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kCheckHistory, nullptr, "ﾁｪｯｸ履歴(&Y)...", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kRegisterFavourites, nullptr, "お気に入りﾌﾟﾛｷｼﾘｽﾄへ登録(P)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kRegisterChainProxies, nullptr, "多段接続用ﾌﾟﾛｷｼﾘｽﾄへ登録(Q)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kRestoreFromTray, nullptr, "Zandelを元のｻｲｽﾞの戻す(&R)", nullptr, nullptr, nullptr, nullptr, false, 0},
    CommandInfo{cmd::kProxyOff, nullptr, "ﾌﾟﾛｷｼ無効(&P)", nullptr, nullptr, nullptr, nullptr, false, 0},
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
    CommandEntry(cmd::kOpenUrl),
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
    CommandEntry(cmd::kEdit),
    kSeparatorEntry,
    CommandEntry(cmd::kInsert),
    CommandEntry(cmd::kAddAtEnd),
    CommandEntry(cmd::kDelete),
    CommandEntry(cmd::kDeleteNg),
    kSeparatorEntry,
    CommandEntry(cmd::kSelectAll),
    CommandEntry(cmd::kSelectLive),
    CommandEntry(cmd::kSelectNg),
    kSeparatorEntry,
    CommandEntry(cmd::kClearResults),
    kSeparatorEntry,
    CommandEntry(cmd::kMoveUp),
    CommandEntry(cmd::kMoveDown),
};
constexpr std::array kViewMenu = {
    CommandEntry(cmd::kOpenBrowser),
    kSeparatorEntry,
    CommandEntry(cmd::kAlwaysOnTop),
    CommandEntry(cmd::kHideToTray),
    kSeparatorEntry,
    CommandEntry(cmd::kLogFont),
    CommandEntry(cmd::kClearLog),
    kSeparatorEntry,
    CommandEntry(cmd::kHistoryColumns),
    CommandEntry(cmd::kPlaceColumns),
    CommandEntry(cmd::kSiteColumns),
    CommandEntry(cmd::kFilterBar),
    kSeparatorEntry,
    CommandEntry(cmd::kServeConnections),
};
constexpr std::array kOptionMenu = {CommandEntry(cmd::kSettings), kSeparatorEntry, CommandEntry(cmd::kServeStart),
                                    CommandEntry(cmd::kServeStop), CommandEntry(cmd::kServeDesktop)};
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

bool HasFlag(int id, unsigned flag) {
    const CommandInfo* info = FindCommand(id);
    return info != nullptr && (info->flags & flag) != 0;
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
