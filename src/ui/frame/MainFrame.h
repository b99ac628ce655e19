#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QMainWindow>
#include <QElapsedTimer>
#include <QTimer>

#include "core/settings/AppSettings.h"
#include "core/frame/CommandDispatcher.h"
#include "core/frame/CommandRules.h"
#include "core/list/ProxyListDocument.h"
#include "ui/frame/RunWindows.h"
#include "ui/list/ListViewHost.h"

class QLabel;
class QPoint;
class QSplitter;
class QTimer;

namespace zandel {
struct AppSettings;
struct FetchOptions;
class FileCommands;
struct UrlServices;
class IFileDialogs;
class IInternetSettings;
class IProgramLauncher;
class RecentFileList;
} // namespace zandel

namespace zandel::ui {

class CCheckBar;
class CLogView;
class CProxyBar;
class FilterBar;
class ProxyListView;
class FrameActions;
class FramePlacement;
class GeoUpdater;
class QtUrlFetcher;
class ListPopupMenus;
class RecheckWindows;
class ServeWindows;
class TrayIcon;

// The one top-level window: toolbar, proxy bar and check bar at the top, the proxy list (under its filter bar)
// above the check log, the status bar with the counts. It owns the list document, routes the commands and decides
// with the core's rules which are available.
class CMainFrame final : public QMainWindow, public IListViewHost, public IRunFrame, public IDocumentHost {
    Q_OBJECT
public:
    // `dialogs` answers the file dialogs in place of the user; without it the window opens its own.
    CMainFrame(AppSettings& settings, IInternetSettings& internet, IProgramLauncher& launcher, RecentFileList& recent,
               IFileDialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // A command of the menus, the toolbar, the accelerators or the bars. False when nothing handles it.
    bool OnCommand(int id);
    bool IsCommandBound(int id) const { return m_dispatcher.IsBound(id); }
    // The idle pass over the toolbar, the bars and the menu items (each command's own rule).
    void UpdateCommandUi();
    // The menu-bar pass, as when the user opens a menu.
    void MenuBarOpened();
    // Topmost exactly when ForegroundWindow is set, without moving or resizing.
    void ApplyTopmost();

    ProxyListView* View() const { return m_view; }
    ProxyListDocument& Document() { return *m_document; }
    FileCommands& Files() { return *m_files; }
    FrameActions& Actions() { return *m_actions; }
    QSplitter* Splitter() const { return m_splitter; }
    TrayIcon& Tray() { return *m_tray; }
    RecheckWindows& Rechecks() { return *m_recheck; }
    ServeWindows& Serve() { return *m_serve; }
    ListPopupMenus& Popups() { return *m_popups; }
    CProxyBar* GetProxyBar() const { return m_proxyBar; }
    CCheckBar* GetCheckBar() const { return m_checkBar; }
    CLogView* GetLogView() const { return m_logView; }

    // IListViewHost, IRunFrame and IDocumentHost
    void UpdateCounts() override;
    void ShowRunningCount(int count) override;
    void ShowRunProgress(int done, int total) override;
    void ShowRunNotice(const QString& text) override;
    IProxyBar* ProxyBar() override;
    QString GetCaption() override;
    void SetCaption(const QString& caption) override;
    void StartCheckIndicator() override;
    void StopCheckIndicator() override;
    void ShowInTray(bool hide) override;
    bool DispatchFromPopup(int id) override;
    bool DispatchKey(int id) override;
    bool LocalProxyServing() const override;
    void RunStateChanged() override;
    void SetProxyFile(const std::string& path) override;
    void AddToRecentFiles(const std::string& path) override;
    void DocumentChanged() override;
    bool SaveDocument() override;
    bool KeepReading(int rowsRead) override;
    void ReadingEnded() override;

Q_SIGNALS:
    // The window has agreed to close: the program ends, also when the window was hidden in the tray.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PaceRunCounts();
    void ShowRunCounts();
    void BindCommands();
    void BuildPanes();
    void BuildStatusBar();
    void WireBars();
    void OpenSettingsSheet();
    bool GeoFetchRule(FetchOptions& options);
    void RefreshGeoIfDue();
    void OpenMultiStageSheet();
    void OpenManual();
    void ShowTrayMenu(const QPoint& globalPos);
    void ShowAbout();
    void ToggleTopmost();
    void SwitchPane(bool forward);
    void RefreshCaption();
    bool Running() const;
    FrameState CurrentState() const;
    void StopRunForClose();
    void ShutdownView();
    void ShowFetching(const std::string& url);
    void RefetchList();
    void PointDesktopAtServe();

    AppSettings& m_settings;
    IInternetSettings& m_internet;
    IProgramLauncher& m_launcher;
    RecentFileList& m_recent;

    CommandRules m_rules;
    // Commands queued for after the choosing one run in this window's turn: gone with it, they do nothing.
    CommandDispatcher m_dispatcher{
        [this](std::function<void()> later) { QTimer::singleShot(0, this, std::move(later)); },
        [this] { ShowInTray(false); }};
    CommandBindings m_bindings{[this] { return Running(); }};
    FrameActions* m_actions = nullptr;
    CProxyBar* m_proxyBar = nullptr;
    CCheckBar* m_checkBar = nullptr;
    RunWindows* m_run = nullptr;
    QSplitter* m_splitter = nullptr;
    ProxyListView* m_view = nullptr;
    FilterBar* m_filterBar = nullptr;
    CLogView* m_logView = nullptr;
    QLabel* m_rowCountPane = nullptr;
    QLabel* m_selectedCountPane = nullptr;
    QLabel* m_shownCountPane = nullptr;   // shown only while a filter hides rows
    QLabel* m_runningCountPane = nullptr; // shown only while many proxies are checked at once
    QLabel* m_progressPane = nullptr;     // likewise
    QLabel* m_servePane = nullptr;        // shown only while the local proxy serves
    QTimer* m_idleTimer = nullptr;
    // The title as last asked for, and the pause after a title is shown: the window manager draws every title it is
    // given, in its own time, and a run of many at once asks for one a row.
    QString m_caption;
    QTimer* m_captionPause = nullptr;
    // The run's counts in the status bar change at every row that ends; each new text lays out and paints the bar,
    // so they are shown at the pace of the title, the latest at each pause's end.
    QTimer* m_countsPause = nullptr;
    int m_runningCount = 0;
    int m_runDone = 0;
    int m_runTotal = 0;
    TrayIcon* m_tray = nullptr;
    RecheckWindows* m_recheck = nullptr;
    ServeWindows* m_serve = nullptr;
    ListPopupMenus* m_popups = nullptr;
    std::unique_ptr<ProxyListDocument> m_document;
    std::unique_ptr<IFileDialogs> m_ownDialogs;
    std::unique_ptr<QtUrlFetcher> m_fetcher;
    GeoUpdater* m_geoUpdater = nullptr;
    std::unique_ptr<UrlServices> m_urlServices;
    std::unique_ptr<FileCommands> m_files;
    std::unique_ptr<FramePlacement> m_placement;
    bool m_viewShutDown = false;
    bool m_closing = false;
    bool m_firstShow = true;
    bool m_busyCursor = false;
    // While a long list is read: since when, and the filter that keeps every input but Esc away from the window.
    QElapsedTimer m_reading;
    std::unique_ptr<QObject> m_readingInput;
    bool m_refetching = false; // the fetch on its way is the re-checks' re-fetch of the list
};

} // namespace zandel::ui
