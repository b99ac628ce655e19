#pragma once

// Command identifiers. Menus, the toolbar, the context menu and the tray menu are built from tables keyed
// by these, and every command reaches its handler under its number.

namespace zandel::cmd {

// The framework's standard commands.
inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kFileMru1 = 57616; // 57616..57619: the four recent files
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditPaste = 57637;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kNextPane = 57680;
inline constexpr int kPrevPane = 57681;

// Zandel's own.
inline constexpr int kSettings = 32773;
inline constexpr int kEdit = 32774;
inline constexpr int kInsert = 32775;
inline constexpr int kDelete = 32776;
inline constexpr int kStartCheck = 32777;
inline constexpr int kAddAtEnd = 32778;
inline constexpr int kChangeProxy = 32779;
inline constexpr int kProxyOnOff = 32780;
inline constexpr int kStopCheck = 32781;
inline constexpr int kSelectAll = 32782;
inline constexpr int kClearResults = 32784;
inline constexpr int kAlwaysOnTop = 32785;
inline constexpr int kOpenBrowser = 32787;
inline constexpr int kLogFont = 32819;
inline constexpr int kClearLog = 32820;
inline constexpr int kHelpManual = 32823;
inline constexpr int kSaveAllAddresses = 32828;
inline constexpr int kSaveNotNG = 32829;
inline constexpr int kSkipCheck = 32831;
inline constexpr int kAppendFile = 32832;
inline constexpr int kSaveNonAnonymous = 32834;
inline constexpr int kSaveAnonymous = 32835;
inline constexpr int kRegisterFavourites = 32836;
inline constexpr int kHideToTray = 32845;
inline constexpr int kRestoreFromTray = 32846;
inline constexpr int kMoveUp = 32848;
inline constexpr int kMoveDown = 32849;
inline constexpr int kMultiStage = 32852;
inline constexpr int kRegisterChainProxies = 32853;
inline constexpr int kSaveHttps = 32854;
inline constexpr int kSaveHttpProxies = 32855;
inline constexpr int kSaveSocksProxies = 32856;
inline constexpr int kExport = 32857;
inline constexpr int kOpenUrl = 32858;
inline constexpr int kCheckHistory = 32859;
inline constexpr int kHistoryColumns = 32860;
inline constexpr int kSelectLive = 32861;
inline constexpr int kSelectNg = 32862;
inline constexpr int kDeleteNg = 32863;
inline constexpr int kFilterBar = 32864;
inline constexpr int kServeStart = 32865;
inline constexpr int kServeStop = 32866;
inline constexpr int kServeDesktop = 32867;
inline constexpr int kServeConnections = 32868;
inline constexpr int kPlaceColumns = 32869;
inline constexpr int kSiteColumns = 32870;

// Items built at run time: favourites 100 + slot, and "ﾌﾟﾛｷｼ無効(&P)".
inline constexpr int kFavouriteFirst = 100;
inline constexpr int kFavouriteLast = 149;
inline constexpr int kProxyOff = 200;

// The check bar's buttons and the proxy bar's controls.
inline constexpr int kCheckStartStop = 1000;
inline constexpr int kCheckSkip = 1001;
inline constexpr int kUseProxyBox = 1007;
inline constexpr int kProxyAddressEdit = 1021;

} // namespace zandel::cmd
