#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QTreeView>

#include "core/check/CheckEngine.h"
#include "core/check/PlaceRecorder.h"
#include "core/frame/CommandDispatcher.h"
#include "core/list/CheckExport.h"
#include "core/list/RowFilter.h"

class QLineEdit;
class QTimer;

namespace zandel {
struct AppSettings;
class ProxyListDocument;
class HistoryColumns;
class HistoryRecorder;
class HistoryStore;
struct HistoryStamp;
struct HistorySummary;
struct SiteUptime;
class ListCommands;
struct ListChange;
class ProxyBarCommands;
} // namespace zandel

namespace zandel::ui {

class AddressEditDelegate;
template <typename Result> class HistoryLoader;
class IListViewHost;
class ListModel;
class ListRows;

// The proxy list: the upper pane of the main window. It shows the rows (the document and the check run reach
// them through Rows()), edits addresses in place, takes dropped files, copies and pastes, sorts on a header
// click, runs the list commands and drives the check run, whose windows are `runWindows`.
class ProxyListView final : public QTreeView, private ITimeoutTimer {
    Q_OBJECT
public:
    ProxyListView(AppSettings& settings, ICheckHost& runWindows, QWidget* parent = nullptr);
    ~ProxyListView() override;

    // Wiring done by the main window right after creation.
    void SetHost(IListViewHost* host);
    void SetDocument(ProxyListDocument* document);
    // The list's row limit from the settings, for every way rows come in and for the run.
    void ApplyRowLimit();

    ListRows& Rows() { return *m_rows; }
    // A cell of a row (by its number in the list) as the list shows it.
    QString CellText(int row, int column) const;
    const ListRows& Rows() const { return *m_rows; }
    ProxyBarCommands& ProxyCommands() { return *m_proxyCommands; }

    // A command the list owns (its rows, the check run, the proxy commands), from whichever menu or key chose
    // it. False for any other. A command that moves rows does nothing while a run holds their indexes.
    bool OnCommand(int id);
    const CommandBindings& Bindings() const { return m_commandBindings; }

    void StartCheck();
    void StartStartupCheck();
    void StopCheck();
    void SkipCheck();
    bool IsRunning() const;
    bool IsCheckBarRunning() const;
    int RemainingCount() const;

    // While an address is being edited in place: its whole text to the clipboard, or the clipboard's first
    // line as its whole text.
    void Copy();
    void Paste();

    // Begins the in-place edit of a row's address; nothing while a check run has editing switched off.
    void BeginEdit(int row);
    // The edit box of the edit in progress, or none.
    QLineEdit* EditBox() const;
    // Appends the list files in order, as a drop on the list does.
    void DropFiles(const QStringList& paths);
    // The same by the names' bytes, which a name that is not UTF-8 would lose on its way through a QString.
    void DropFiles(const std::vector<std::string>& paths);

    // Closing: stops accepting calls from the run's threads, stops the run and waits, serving the calls
    // already under way, until every run thread has ended. Never hangs on the run.
    void Shutdown();

    // The HTTPS column shows only while the HTTPS step is on, so that without it the list looks as it always has.
    void ShowHttpsColumn();
    // The kind column shows while type detection is on or a row's address carries a scheme.
    void ShowKindColumn();
    void FitAddressColumn();
    // With FollowRun set, the first row still being checked is scrolled into view.
    void FollowRun();
    // The uptime and median columns show while the settings ask for them, read afresh from the history each time
    // they come up, after each run and whenever the history file changed (a re-check round, another program, a
    // list opened since).
    void ShowHistoryColumns();
    // The window of the marked row's checks.
    void ShowCheckHistory();
    // The country and AS columns show while the settings ask for them ([Geo] Columns, the View menu).
    void ShowPlaceColumns();
    // A column for each site of [Sites] shows while the settings ask for them ([Sites] Columns, the View menu); sites
    // changed in the settings are taken first unless a run is on its way.
    void ShowSiteColumns();

    // A run switches the in-place edit off while it holds the rows' indexes; an edit open then is taken.
    void SetLabelEditing(bool enabled);

    CheckEngine& Engine() { return *m_engine; }

    // The filter over the rows, applied at once (an off one shows every row). A row whose address or result changes
    // is shown or hidden again a turn later, or, while a run holds the rows, once the run has ended (ApplyFilter), so
    // that the rows of a run stay where the user watches them.
    void SetRowFilter(const RowFilter& filter);
    bool IsFiltered() const { return m_filter.IsOn(); }
    int ShownRowCount() const;
    // The rows shown and hidden by the filter as they are now; waits while a run holds them or an address is edited.
    void ApplyFilter();

Q_SIGNALS:
    // The uptime and median columns came or went.
    void historyColumnsShown(bool shown);

public Q_SLOTS:
    // Nothing but the run changes the selection of a running list.
    void selectAll() override;

protected:
    using QTreeView::edit;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // ITimeoutTimer: the window timer, started and stopped by the run thread through the bridge.
    void Start(int periodMs, std::function<void()> onFire) override;
    void Stop() override;

    void TrustExtraCa();
    // Every check of the window goes into the history file of the settings folder.
    void RecordHistory();
    void LoadHistoryColumns();
    void FillHistoryColumns();
    void ReloadHistoryIfChanged();
    // Every check's place goes to its row while databases are named; they are opened again before a run when the
    // files named, or the files themselves, changed since.
    void RecordPlaces();
    void OpenPlacesIfChanged();
    ExportPlaces PlacesForExport();
    // The sites of [Sites] for the next run, as the console takes --site: one that cannot be fetched is told once (for
    // the settings as they are) and left out. Sites other than those the rows' classes are of clear them.
    void TakeSites(bool tell);
    void SiteColumnsShown();
    ExportSites SitesForExport() const;
    void LoadSiteUptimes();
    void ShowSiteTips();
    bool RunActive() const;
    // The first and last rows of the view (view rows) the viewport shows.
    std::pair<int, int> RowsInView() const;
    void BindCommands();
    void Follow(const ListChange& change);
    void OnListClick();
    void OnHeaderClick(int column);
    void CommitEdit(int row, const QString& text);
    void CloseEditBox();
    void WireFilter();
    void ScheduleFilter();
    // `deselect`: a row hidden leaves the selection (not during a run, whose selection shows what it has still to do).
    void FilterRows(bool deselect);

    AppSettings& m_settings;
    IListViewHost* m_host = nullptr;
    ProxyListDocument* m_document = nullptr;
    ListModel* m_model = nullptr;
    std::unique_ptr<ListRows> m_rows;
    std::unique_ptr<HistoryStore> m_history;
    std::unique_ptr<HistoryRecorder> m_historyBatches;
    std::string m_historyPath; // empty: no history in this settings folder
    std::unique_ptr<HistoryColumns> m_historyFigures;
    std::unique_ptr<HistoryLoader<std::vector<HistorySummary>>> m_historyLoader;
    std::unique_ptr<HistoryStamp> m_historyStamp;     // of the file as the figures shown were read from it
    std::shared_ptr<HistoryStamp> m_historyReadStamp; // written by the reader thread before each read
    QTimer* m_historyWatch = nullptr;
    std::unique_ptr<PlaceRecorder> m_placeRecorder;
    std::shared_ptr<const GeoLookup> m_places;
    std::string m_placesStamp;             // the files and their sizes and times as they were opened
    std::vector<std::string> m_siteUrls;   // the sites the rows' classes are of, as given
    std::vector<std::string> m_siteHeads;  // their URLs and keywords, for their columns' tips
    std::vector<SiteUptime> m_siteUptimes; // as last read from the history, by site
    std::unique_ptr<HistoryLoader<std::vector<SiteUptime>>> m_siteUptimeLoader;
    std::vector<std::string> m_sitesTold; // [Sites] as it was when its sites that cannot be fetched were told
    std::unique_ptr<CheckEngine> m_engine;
    std::unique_ptr<ListCommands> m_commands;
    CommandBindings m_commandBindings{[this] { return RunActive(); }};
    std::unique_ptr<ProxyBarCommands> m_proxyCommands;
    AddressEditDelegate* m_delegate = nullptr;
    QTimer* m_timeoutTimer = nullptr;
    QTimer* m_kindColumnCheck = nullptr;
    bool m_addressSized = false; // the user has set the address column's width
    QTimer* m_followCheck = nullptr;
    int m_followFrom = 0;
    bool m_fittingAddress = false;
    std::function<void()> m_onTimeout; // the handler of the job now timed
    RowFilter m_filter;
    QTimer* m_filterCheck = nullptr;
    bool m_rowsHidden = false;    // the filter hides some row
    bool m_filterPending = false; // rows changed while the filter had to wait
    bool m_labelEditing = true;
    // The press of the click now going on came on the current row, the only one selected: the click edits it.
    bool m_clickEdits = false;
    // Dropped files and copy need the probe to have started, as they always have.
    bool m_probeReady = false;
};

} // namespace zandel::ui
