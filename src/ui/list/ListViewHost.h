#pragma once

#include <QString>

namespace zandel::ui {

class CCheckBar;
class CLogView;
class CProxyBar;

// What the proxy list window needs of the main window around it. Called on the user-interface thread only
// (the list window carries the run thread's calls over first).
class IListViewHost {
public:
    virtual ~IListViewHost() = default;
    // "ﾌﾟﾛｷｼ : %d" and "選択 : %d  " in the status bar.
    virtual void UpdateCounts() = 0;
    virtual CProxyBar* GetProxyBar() = 0;
    virtual CCheckBar* GetCheckBar() = 0;
    virtual CLogView* GetLogView() = 0;
    virtual QString GetCaption() = 0;
    virtual void SetCaption(const QString& caption) = 0;
    virtual void StartCheckIndicator() = 0;
    virtual void StopCheckIndicator() = 0;
    virtual void ShowInTray(bool hide) = 0;
    // Carries a command of the main window out now.
    virtual bool RunCommand(int id) = 0;
    // Queues a command for the main window, to be carried out after the current one.
    virtual void PostCommand(int id) = 0;
    // A run started or ended: commands and buttons follow the new state.
    virtual void RunStateChanged() = 0;
    // How many proxies a run with more than one at a time is checking now; 0 hides the count.
    virtual void ShowRunningCount(int count) = 0;
};

} // namespace zandel::ui
