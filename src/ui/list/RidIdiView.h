#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <QIcon>
#include <QTreeWidget>

#include "core/check/CheckEngine.h"
#include "core/list/RowStore.h"

class QLineEdit;
class QTimer;

namespace zandel {
struct AppSettings;
class CRidIdiDoc;
class ListCommands;
struct ListChange;
} // namespace zandel

namespace zandel::ui {

class AddressEditDelegate;
class IListViewHost;
class ProxyBarCommands;
class UiBridge;

// The proxy list: the upper pane of the main window. It holds the rows (the document and the check run
// reach them through IRowStore), runs the list commands and drives the check run, whose windows it reaches
// through ICheckHost. Calls from the run's threads are carried to the user-interface thread by the bridge.
class CRidIdiView final : public QTreeWidget, public IRowStore, public ICheckHost, private ITimeoutTimer {
    Q_OBJECT
public:
    explicit CRidIdiView(AppSettings& settings, QWidget* parent = nullptr);
    ~CRidIdiView() override;

    // Wiring done by the main window right after creation.
    void SetHost(IListViewHost* host);
    void SetDocument(CRidIdiDoc* document);

    // A command the list owns (its rows, the check run, the proxy commands), from whichever menu or key chose
    // it. False for any other.
    bool OnCommand(int id);

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

    // Closing: stops accepting calls from the run's threads, stops the run and waits, serving the calls
    // already under way, until every run thread has ended. Never hangs on the run.
    void Shutdown();

    // IRowStore
    int RowCount() const override;
    void InsertRow(int index, const std::string& address, int image, int tag) override;
    std::string GetCellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int GetRowImage(int row) const override;
    void SetRowImage(int row, int image) override;
    int GetRowTag(int row) const override;
    void SetRowTag(int row, int tag) override;
    void RemoveRow(int row) override;
    void RemoveAllRows() override;
    bool IsRowSelected(int row) const override;
    void SetRowSelected(int row, bool selected) override;
    void SelectAllRows() override;
    int SelectionMark() const override;
    ProxyRow GetRow(int row) const override;
    void SetRow(int row, const ProxyRow& value) override;
    void SetRowResult(int row, const ProxyRow& value) override;
    void MarkCp932Rows(int first, int count) override;
    std::vector<std::string> CellTexts(const std::vector<int>& rows, int column) const override;
    std::vector<int> SelectedRows(int limit) const override;
    // Counted once after each change of the selection or the rows, so that the status bar's idle refresh
    // costs nothing.
    int SelectedCount() const override;

    // ICheckHost
    void AppendLog(const std::string& text) override;
    std::string GetTitle() override;
    void SetTitle(const std::string& title) override;
    void SetStartStop(bool running) override;
    void SetLabelEditing(bool enabled) override;
    void StartCheckIndicator() override;
    void StopCheckIndicator() override;
    std::string GetProxyBarAddress() override;
    void Sync() override;
    void RunEnded() override;
    void SetRunningCount(int count) override;

    CheckEngine& Engine() { return *m_engine; }

public Q_SLOTS:
    // Nothing but the run changes the selection of a running list.
    void selectAll() override;

protected:
    using QTreeWidget::edit;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
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

    QTreeWidgetItem* Item(int row) const;
    void FlushLog();
    // `cp932`: the bytes are CP932 text from their file; otherwise each text is decoded by its own bytes.
    void WriteCell(QTreeWidgetItem* item, int column, const std::string& bytes, bool cp932 = false);
    void WriteImage(QTreeWidgetItem* item, int image);

    bool RunActive() const;
    void Follow(const ListChange& change);
    void OnListClick();
    void OnHeaderClick(int column);
    void CommitEdit(int row, const QString& text);
    void CloseEditBox();

    AppSettings& m_settings;
    IListViewHost* m_host = nullptr;
    CRidIdiDoc* m_document = nullptr;
    std::unique_ptr<UiBridge> m_bridge;
    std::unique_ptr<CheckEngine> m_engine;
    std::unique_ptr<ListCommands> m_commands;
    std::unique_ptr<ProxyBarCommands> m_proxyCommands;
    AddressEditDelegate* m_delegate = nullptr;
    QTimer* m_timeoutTimer = nullptr;
    QTimer* m_logFlushTimer = nullptr;
    std::function<void()> m_onTimeout; // the handler of the job now timed
    std::mutex m_pendingLogMutex;
    std::string m_pendingLog;
    std::array<QIcon, 4> m_statusIcons;
    bool m_labelEditing = true;
    mutable int m_selectedCount = -1; // -1: to be counted again
    // Dropped files and copy need the probe to have started, as they always have.
    bool m_probeReady = false;
};

} // namespace zandel::ui
