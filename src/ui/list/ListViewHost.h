#pragma once

namespace zandel {
class IProxyBar;
} // namespace zandel

namespace zandel::ui {

// What the proxy list window needs of the main window around it. Called on the user-interface thread only.
class IListViewHost {
public:
    virtual ~IListViewHost() = default;
    // "ﾌﾟﾛｷｼ : %d" and "選択 : %d  " in the status bar.
    virtual void UpdateCounts() = 0;
    // None once the main window is going.
    virtual IProxyBar* ProxyBar() = 0;
    virtual void ShowInTray(bool hide) = 0;
    // A command chosen in one of the list's popups, handed to whichever window bound it; false when none did.
    virtual bool DispatchFromPopup(int id) = 0;
    // A command's key pressed in the list, handed on as a menu item of the main window would be.
    virtual bool DispatchKey(int id) = 0;
    // The local proxy listens: its commands in the popups follow.
    virtual bool LocalProxyServing() const { return false; }
};

} // namespace zandel::ui
