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
    // Carries a command of the main window out now.
    virtual bool RunCommand(int id) = 0;
    // Queues a command for the main window, to be carried out after the current one.
    virtual void PostCommand(int id) = 0;
};

} // namespace zandel::ui
