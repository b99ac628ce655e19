#pragma once

#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "core/settings/AppSettings.h"
#include "core/proxy/InternetSettings.h"
#include "ui/frame/RunWindows.h"
#include "ui/list/ListViewHost.h"
#include "support/RecordingServices.h"

namespace zandel::ui {
class CCheckBar;
class CLogView;
class CProxyBar;
class ProxyListView;
} // namespace zandel::ui

namespace zandel::test {

// The main window as the list window and its check run see it: real bars, log pane and run windows, a caption,
// and a record of what they asked of it. The proxy bar hands its settings to a recording instead of the desktop.
class FakeListViewHost final : public ui::IListViewHost, public ui::IRunFrame {
public:
    explicit FakeListViewHost(AppSettings& settings);

    // A list window wired to this host as the main window wires its own.
    std::unique_ptr<ui::ProxyListView> MakeView(AppSettings& settings);
    ~FakeListViewHost() override;
    FakeListViewHost(const FakeListViewHost&) = delete;
    FakeListViewHost& operator=(const FakeListViewHost&) = delete;

    void UpdateCounts() override { ++countUpdates; }
    IProxyBar* ProxyBar() override;
    ui::CProxyBar* GetProxyBar() { return m_proxyBar.get(); }
    ui::CCheckBar* GetCheckBar() { return m_checkBar.get(); }
    ui::CLogView* GetLogView() { return m_logView.get(); }
    QString GetCaption() override { return caption; }
    void SetCaption(const QString& text) override;
    void StartCheckIndicator() override { ++indicatorStarts; }
    void StopCheckIndicator() override { ++indicatorStops; }
    void ShowInTray(bool hide) override { trayRequests.push_back(hide); }
    bool DispatchFromPopup(int id) override {
        dispatchedCommands.push_back(id);
        return true;
    }
    // The list's own commands are the only ones bound here: a key goes back to the list.
    bool DispatchKey(int id) override;
    void RunStateChanged() override { ++runStateChanges; }
    void ShowRunningCount(int count) override { runningCounts.push_back(count); }
    void ShowRunProgress(int /*done*/, int /*total*/) override {}
    void ShowRunNotice(const QString& /*text*/) override {}
    std::vector<int> runningCounts;

    // The log pane's text with its line ends as the check wrote them (CR LF).
    QString LogText() const;
    QString StartStopCaption() const;

    RecordingInternetSettings internet;
    QString caption = QStringLiteral("Zandel - 無題");
    QStringList captions; // every caption set, in order
    int countUpdates = 0;
    int indicatorStarts = 0;
    int indicatorStops = 0;
    int runStateChanges = 0;
    std::vector<bool> trayRequests;
    std::vector<int> dispatchedCommands;
    std::vector<int> keyCommands;

private:
    ui::ProxyListView* m_view = nullptr; // the last view made, which a key comes from
    std::unique_ptr<ui::CProxyBar> m_proxyBar;
    std::unique_ptr<ui::CCheckBar> m_checkBar;
    std::unique_ptr<ui::CLogView> m_logView;
    std::unique_ptr<ui::RunWindows> m_run;
};

} // namespace zandel::test
