#include "ui/frame/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "core/frame/BrowserLaunch.h"
#include "core/frame/CommandIds.h"
#include "core/frame/FileCommands.h"
#include "core/frame/ListUrl.h"
#include "core/frame/WindowPlacement.h"
#include "core/schedule/ListRefetch.h"
#include "core/util/Texts.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "ui/util/AppIdentity.h"
#include "ui/frame/BarRows.h"
#include "ui/frame/CheckBar.h"
#include "ui/frame/FileDialogs.h"
#include "ui/frame/FrameActions.h"
#include "ui/frame/FramePlacement.h"
#include "ui/frame/ProxyBar.h"
#include "ui/frame/RecheckWindows.h"
#include "ui/frame/RunWindows.h"
#include "ui/frame/ServeWindows.h"
#include "ui/frame/TrayIcon.h"
#include "ui/frame/UrlFetcher.h"
#include "ui/list/FilterBar.h"
#include "ui/list/ListPopupMenus.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/log/LogView.h"
#include "ui/settings/GeoUpdater.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

// The pictures live in the library; a static library's resources are registered by hand, outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(zandel);
}

namespace zandel::ui {

namespace {

constexpr int kIdleUpdateMs = 150;
// At most ten titles a second: a run of 100 000 rows at once kept openbox redrawing titles for minutes after it.
constexpr int kCaptionPauseMs = 100;
constexpr double kListShare = 0.6;

} // namespace

CMainFrame::CMainFrame(AppSettings& settings, IInternetSettings& internet, IProgramLauncher& launcher,
                       RecentFileList& recent, IFileDialogs* dialogs, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_internet(internet), m_launcher(launcher), m_recent(recent) {
    InitResources();
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(AppIcon());
    m_actions = new FrameActions(*this, [this](int id) { OnCommand(id); });
    m_actions->OnMenuOpening([this] { MenuBarOpened(); });

    m_proxyBar = new CProxyBar(m_settings, m_internet, this);
    m_checkBar = new CCheckBar(this);
    // The two bars take a second row: beside the toolbar they would not fit a window of the default width.
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_proxyBar);
    addToolBar(Qt::TopToolBarArea, m_checkBar);
    new BarRows(*this, *m_proxyBar, *m_checkBar);
    BuildStatusBar();
    m_run = new RunWindows(*this, *m_checkBar, *m_proxyBar, this);
    BuildPanes();
    WireBars();

    m_tray = new TrayIcon(*this, m_settings);
    m_recheck = new RecheckWindows(m_settings, *m_proxyBar, *m_run, *m_tray, *statusBar(), this);
    m_serve = new ServeWindows(m_settings, MessageBoxService::Instance(), *m_servePane, *this);
    m_recheck->OnRoundFinished([this](const IRowStore& rows) { m_serve->RoundChecked(rows); });
    m_popups = new ListPopupMenus(m_settings, *m_view, *this, m_launcher, MessageBoxService::Instance());
    m_document = std::make_unique<ProxyListDocument>(m_view->Rows(), MessageBoxService::Instance(), *this);
    if (dialogs == nullptr) {
        m_ownDialogs = std::make_unique<QtFileDialogs>(*this);
        dialogs = m_ownDialogs.get();
    }
    m_fetcher = std::make_unique<QtUrlFetcher>(*this, [this](const std::string& url) { ShowFetching(url); });
    m_urlServices = std::make_unique<UrlServices>(
        UrlServices{*m_fetcher, MessageBoxService::Instance(), m_settings.ListUrlViaProxy,
                    [this] { return m_proxyBar->GetUseProxy() != 0 ? m_proxyBar->GetAddr() : std::string(); },
                    // A re-fetch merges into the rows under an edit box only by waiting for the next round.
                    [this] { return !Running() && !(m_refetching && m_view->EditBox() != nullptr); }});
    m_files = std::make_unique<FileCommands>(*m_document, *dialogs, m_recent, m_urlServices.get(),
                                             [this] { return Running(); });
    m_recheck->OnRoundDue([this] { RefetchList(); });
    m_geoUpdater = new GeoUpdater(this);
    // The databases are fetched again once a start, after the window has come up.
    QTimer::singleShot(0, this, [this] { RefreshGeoIfDue(); });
    BindCommands();
    m_view->SetHost(this);
    m_view->SetDocument(m_document.get());
    m_document->SetTitle(texts::kUntitled);
    m_actions->SetRecentFiles(m_recent.Entries());
    MessageBoxService::Instance().SetParentWindow(this);

    m_placement = std::make_unique<FramePlacement>(*this, m_settings);
    m_placement->Restore();
    m_idleTimer = new QTimer(this);
    connect(m_idleTimer, &QTimer::timeout, this, [this] { UpdateCommandUi(); });
    m_idleTimer->start(kIdleUpdateMs);
    m_captionPause = new QTimer(this);
    m_captionPause->setSingleShot(true);
    m_captionPause->setInterval(kCaptionPauseMs);
    connect(m_captionPause, &QTimer::timeout, this, [this] {
        if (windowTitle() != m_caption) {
            SetCaption(m_caption);
        }
    });
    m_countsPause = new QTimer(this);
    m_countsPause->setSingleShot(true);
    m_countsPause->setInterval(kCaptionPauseMs);
    connect(m_countsPause, &QTimer::timeout, this, [this] { ShowRunCounts(); });
    UpdateCommandUi();

    m_tray->OnDoubleClick([this] { ShowInTray(false); });
    m_tray->OnMenuRequested([this](const QPoint& position) { ShowTrayMenu(position); });
    m_tray->SetUpTrayIcon();
}

CMainFrame::~CMainFrame() {
    // A list still on its way is given up: closing is how the user says so.
    m_files->CancelFetch();
    m_fetcher.reset();
    m_tray->RemoveTrayIcon();
    m_serve->Stop();
    ShutdownView();
    m_proxyBar->SaveToSettings();
    // Written with the other settings in one step, once the program ends.
    m_settings.Window = m_placement->OuterRect();
    m_view->SetHost(nullptr);
    m_view->SetDocument(nullptr);
}

// A list on the web is renewed at its source: each round of the re-checks fetches it again, keeps the rows the
// user added and checks the whole list in view, as the user would with the start button. Nothing of it asks the
// user anything; a fetch that fails leaves the list as it was and says so in the log.
void CMainFrame::RefetchList() {
    ListRefetchState state;
    state.optionOn = m_settings.AutoRecheck && m_settings.RefetchList;
    state.fromUrl = !m_files->ListUrl().empty();
    state.runGoing = Running();
    state.editOpen = m_view->EditBox() != nullptr;
    state.fetchPending = m_files->FetchPending();
    if (!ShouldRefetchList(state)) {
        return;
    }
    const bool started = m_files->RefetchUrl([this](bool merged, const std::string& why) {
        if (!merged) {
            m_run->AppendLog(RefetchFailedLine(why));
            return;
        }
        if (Running() || m_view->EditBox() != nullptr) {
            return;
        }
        m_view->selectAll();
        m_view->StartCheck();
    });
    // Every fetch clears it as it begins (ShowFetching), so it stands only while this one is the fetch on its way.
    m_refetching = started;
}

void CMainFrame::BuildPanes() {
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("paneSplitter"));
    m_splitter->setChildrenCollapsible(false);
    auto* listPane = new QWidget(m_splitter);
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    m_view = new ProxyListView(m_settings, *m_run, listPane);
    m_filterBar = new FilterBar(*m_view, m_settings.HistoryColumns, listPane);
    listLayout->addWidget(m_filterBar);
    listLayout->addWidget(m_view);
    m_logView = new CLogView(m_splitter);
    m_run->SetPanes(m_view, m_logView);
    m_splitter->addWidget(listPane);
    m_splitter->addWidget(m_logView);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);
    setCentralWidget(m_splitter);
}

void CMainFrame::WireBars() {
    connect(m_checkBar->StartStopButton(), &QPushButton::clicked, this, [this] { OnCommand(cmd::kCheckStartStop); });
    connect(m_checkBar->SkipButton(), &QPushButton::clicked, this, [this] { OnCommand(cmd::kCheckSkip); });
}

void CMainFrame::BindCommands() {
    m_bindings.Bind(cmd::kAppExit, [this] { close(); });
    m_bindings.Bind(cmd::kSettings, [this] { OpenSettingsSheet(); });
    m_bindings.Bind(cmd::kMultiStage, [this] { OpenMultiStageSheet(); });
    m_bindings.Bind(cmd::kLogFont, [this] { m_logView->ChooseFont(); });
    m_bindings.Bind(cmd::kClearLog, [this] { m_logView->ClearLog(); });
    m_bindings.Bind(cmd::kAlwaysOnTop, [this] { ToggleTopmost(); });
    m_bindings.Bind(cmd::kHideToTray, [this] { ShowInTray(true); });
    m_bindings.Bind(cmd::kRestoreFromTray, [this] { ShowInTray(false); });
    m_bindings.Bind(cmd::kHelpManual, [this] { OpenManual(); });
    m_bindings.Bind(cmd::kAppAbout, [this] { ShowAbout(); });
    m_bindings.Bind(cmd::kCheckStartStop, [this] { Running() ? m_view->StopCheck() : m_view->StartCheck(); });
    m_bindings.Bind(cmd::kCheckSkip, [this] { m_view->SkipCheck(); });
    m_bindings.Bind(cmd::kNextPane, [this] { SwitchPane(true); });
    m_bindings.Bind(cmd::kPrevPane, [this] { SwitchPane(false); });
    m_bindings.Bind(cmd::kFilterBar, [this] { m_filterBar->Toggle(); });
    m_bindings.Bind(cmd::kServeStart, [this] { m_serve->Start(m_view->Rows()); });
    m_bindings.Bind(cmd::kServeStop, [this] { m_serve->Stop(); });
    m_bindings.Bind(cmd::kServeDesktop, [this] { PointDesktopAtServe(); });
    m_bindings.Bind(cmd::kServeConnections, [this] { m_serve->ShowConnections(); });
    m_dispatcher.Add(m_bindings);
    // A recent file that would not open has left the list.
    m_dispatcher.Add(m_files->Bindings(), [this] { m_actions->SetRecentFiles(m_recent.Entries()); });
    m_dispatcher.Add(m_view->Bindings());
    m_dispatcher.Add(m_popups->Bindings());
}

bool CMainFrame::OnCommand(int id) {
    return m_dispatcher.Dispatch(id, CommandChooser::Window);
}

bool CMainFrame::DispatchFromPopup(int id) {
    return m_dispatcher.Dispatch(id, CommandChooser::Popup);
}

bool CMainFrame::DispatchKey(int id) {
    return m_dispatcher.Dispatch(id, CommandChooser::Window);
}

bool CMainFrame::LocalProxyServing() const {
    return m_serve->Serving();
}

// The bar shows the local proxy as the desktop's, as after "ﾌﾟﾛｷｼをﾁｪﾝｼﾞする"; the desktop's SOCKS proxy goes
// there too, since the local port speaks SOCKS as well.
void CMainFrame::PointDesktopAtServe() {
    const std::string entry = m_serve->DesktopEntry();
    if (entry.empty()) {
        return;
    }
    m_proxyBar->SetAddr(entry);
    m_proxyBar->SetUseProxy(1);
    m_settings.FavoSel = false;
    m_proxyBar->ApplyProxyAndSocks(1, entry);
}

bool CMainFrame::Running() const {
    return !m_viewShutDown && m_view->IsRunning();
}

FrameState CMainFrame::CurrentState() const {
    FrameState state;
    state.rowCount = m_view->Rows().RowCount();
    state.running = Running();
    state.remaining = m_viewShutDown ? 0 : m_view->RemainingCount();
    state.onTop = m_settings.ForegroundWindow;
    state.historyColumns = m_settings.HistoryColumns;
    state.placeColumns = m_settings.GeoColumns;
    state.siteColumns = m_settings.SiteColumns;
    state.filterBar = m_filterBar->IsOpen();
    state.serving = m_serve->Serving();
    return state;
}

void CMainFrame::UpdateCommandUi() {
    if (m_viewShutDown) {
        return;
    }
    const FrameState state = CurrentState();
    m_actions->ApplyRules(m_rules, state);
    m_checkBar->StartStopButton()->setEnabled(m_rules.Enabled(cmd::kCheckStartStop, state, true));
    m_checkBar->SkipButton()->setEnabled(m_rules.Enabled(cmd::kCheckSkip, state, false));
    UpdateCounts();
}

void CMainFrame::MenuBarOpened() {
    if (!m_viewShutDown) {
        m_actions->MenuBarOpened(m_rules, CurrentState());
    }
}

IProxyBar* CMainFrame::ProxyBar() {
    return m_proxyBar;
}

QString CMainFrame::GetCaption() {
    return m_caption.isNull() ? windowTitle() : m_caption;
}

void CMainFrame::SetCaption(const QString& caption) {
    // A title asked for during the pause waits for its end; the last one asked for is shown then.
    m_caption = caption;
    if (!m_captionPause->isActive()) {
        setWindowTitle(caption);
        m_captionPause->start();
    }
}

void CMainFrame::RefreshCaption() {
    // During a run the caption shows the proxy being checked; the run puts the saved caption back and the
    // document's name is refreshed once it has ended.
    if (!Running()) {
        m_caption = QStringLiteral("%1 - %2").arg(QString::fromUtf8(texts::kAppName), FromBytes(m_document->Title()));
        setWindowTitle(m_caption);
    }
}

void CMainFrame::StartCheckIndicator() {
    m_tray->StartCheckIndicator();
}

void CMainFrame::StopCheckIndicator() {
    m_tray->StopCheckIndicator();
}

void CMainFrame::ShowInTray(bool hide) {
    if (!m_viewShutDown) {
        m_tray->ShowInTray(hide);
    }
}

void CMainFrame::ShowTrayMenu(const QPoint& globalPos) {
    if (m_viewShutDown) {
        return;
    }
    // In front first, so that the menu closes when the user clicks elsewhere.
    if (isVisible() && !isMinimized()) {
        activateWindow();
    }
    m_popups->ShowTrayMenu(globalPos);
}

void CMainFrame::RunStateChanged() {
    ShowRunCounts(); // a run's last counts, without waiting for the pause's end
    // The rows a run graded are shown or hidden by the filter once it has let them go, and the live ones carry the
    // local proxy's clients from then on.
    if (!m_viewShutDown) {
        m_view->ApplyFilter();
        if (!Running()) {
            m_serve->ListChecked(m_view->Rows());
        }
    }
    RefreshCaption();
    UpdateCommandUi();
}

void CMainFrame::SetProxyFile(const std::string& path) {
    RecordProxyFile(m_settings, path);
}

void CMainFrame::AddToRecentFiles(const std::string& path) {
    m_recent.Add(path);
    m_actions->SetRecentFiles(m_recent.Entries());
}

void CMainFrame::DocumentChanged() {
    if (m_document) {
        RefreshCaption();
    }
}

bool CMainFrame::SaveDocument() {
    return m_files->Save();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_firstShow) {
        return;
    }
    m_firstShow = false;
    m_placement->Shown();
    const int height = m_splitter->height();
    const int listHeight = static_cast<int>(height * kListShare);
    m_splitter->setSizes({listHeight, height - listHeight});
}

void CMainFrame::ApplyTopmost() {
    FramePlacement::ApplyTopmost(*this, m_settings.ForegroundWindow);
}

void CMainFrame::ToggleTopmost() {
    ToggleOnTop(m_settings);
    ApplyTopmost();
    UpdateCommandUi();
}

void CMainFrame::SwitchPane(bool forward) {
    // Two panes: forward and back both lead to the other one.
    (void)forward;
    QWidget* next = m_view->hasFocus() || m_view->isAncestorOf(focusWidget()) ? static_cast<QWidget*>(m_logView)
                                                                              : static_cast<QWidget*>(m_view);
    next->setFocus(Qt::ShortcutFocusReason);
}

} // namespace zandel::ui
