#include "core/frame/CommandRoutes.h"

#include <algorithm>
#include <array>

#include "core/frame/CommandIds.h"

namespace zandel {

namespace {

using enum CommandOwner;

constexpr CommandRoute Route(int id, CommandOwner owner, bool restoreFirst = false, bool postToOwner = false) {
    return CommandRoute{id, id, owner, restoreFirst, postToOwner};
}

// A file command chosen in the tray asks for a name or a confirmation: the window comes back first, and the
// command runs once, in the main window.
constexpr CommandRoute FileRoute(int id) {
    return Route(id, Frame, true, true);
}

constexpr std::array kRoutes = {
    FileRoute(cmd::kFileNew),
    FileRoute(cmd::kFileOpen),
    FileRoute(cmd::kFileSaveAs),
    FileRoute(cmd::kAppendFile),
    FileRoute(cmd::kSaveAllAddresses),
    FileRoute(cmd::kSaveNotNG),
    FileRoute(cmd::kSaveAnonymous),
    FileRoute(cmd::kSaveNonAnonymous),
    FileRoute(cmd::kSaveHttps),
    FileRoute(cmd::kSaveHttpProxies),
    FileRoute(cmd::kSaveSocksProxies),
    FileRoute(cmd::kExport),
    Route(cmd::kFileSave, Frame, false, true),
    CommandRoute{cmd::kFileMru1, cmd::kFileMru1 + 3, Frame, false, false},
    Route(cmd::kAppExit, Frame, false, true),
    Route(cmd::kMultiStage, Frame, false, true),
    Route(cmd::kHideToTray, Frame, false, true),
    Route(cmd::kAlwaysOnTop, Frame, false, true),
    Route(cmd::kRestoreFromTray, Frame),
    Route(cmd::kSettings, Frame),
    Route(cmd::kLogFont, Frame),
    Route(cmd::kClearLog, Frame),
    Route(cmd::kHelpManual, Frame),
    Route(cmd::kAppAbout, Frame),
    Route(cmd::kNextPane, Frame),
    Route(cmd::kPrevPane, Frame),
    Route(cmd::kCheckStartStop, Frame),
    Route(cmd::kCheckSkip, Frame),
    Route(cmd::kEdit, List),
    Route(cmd::kInsert, List),
    Route(cmd::kAddAtEnd, List),
    Route(cmd::kDelete, List),
    Route(cmd::kSelectAll, List),
    Route(cmd::kClearResults, List),
    Route(cmd::kMoveUp, List),
    Route(cmd::kMoveDown, List),
    Route(cmd::kEditCopy, List),
    Route(cmd::kEditPaste, List),
    Route(cmd::kStartCheck, List),
    Route(cmd::kStopCheck, List),
    Route(cmd::kSkipCheck, List),
    Route(cmd::kChangeProxy, List),
    Route(cmd::kProxyOnOff, List),
    Route(cmd::kProxyOff, List),
    Route(cmd::kCheckHistory, List),
    Route(cmd::kHistoryColumns, List),
    // The browser starts after the command that asked for it has finished.
    Route(cmd::kOpenBrowser, ListMenus, false, true),
    Route(cmd::kRegisterFavourites, ListMenus),
    Route(cmd::kRegisterChainProxies, ListMenus),
    CommandRoute{cmd::kFavouriteFirst, cmd::kFavouriteLast, ListMenus, false, false},
};

} // namespace

const CommandRoute* FindRoute(int id) {
    const auto found = std::find_if(kRoutes.begin(), kRoutes.end(),
                                    [id](const CommandRoute& route) { return id >= route.first && id <= route.last; });
    return found == kRoutes.end() ? nullptr : &*found;
}

} // namespace zandel
