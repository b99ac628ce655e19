#pragma once

#include <array>
#include <memory>
#include <string>

#include <QIcon>
#include <QTreeWidget>

#include "core/check/CheckEngine.h"
#include "core/list/RowStore.h"

class QTimer;

namespace zandel {
struct AppSettings;
class CRidIdiDoc;
} // namespace zandel

namespace zandel::ui {

class IListViewHost;
class UiBridge;

// The proxy list: the upper pane of the main window. It holds the rows (the document and the check run
// reach them through IRowStore), runs the list commands and drives the check run, whose windows it reaches
// through ICheckHost. Calls from the run's threads are carried to the user-interface thread by the bridge.
class CRidIdiView final : public QTreeWidget, public IRowStore, public ICheckHost {
    Q_OBJECT
public:
    explicit CRidIdiView(AppSettings& settings, QWidget* parent = nullptr);
    ~CRidIdiView() override;

    // Wiring done by the main window right after creation.
    void SetHost(IListViewHost* host);
    void SetDocument(CRidIdiDoc* document);

    // A command that reaches the list window (main menu routing, context menu, tray menu). False when the
    // list window does not handle it.
    bool OnCommand(int id);

    void StartCheck();
    void StartStartupCheck();
    void StopCheck();
    void SkipCheck();
    bool IsRunning() const;
    bool IsCheckBarRunning() const;
    int RemainingCount() const;

    void Copy();
    void Paste();

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
    int SelectionMark() const override;
    ProxyRow GetRow(int row) const override;
    void SetRow(int row, const ProxyRow& value) override;
    std::vector<int> SelectedRows(int limit) const override;

    // ICheckHost
    void AppendLog(const std::string& text) override;
    std::string GetTitle() override;
    void SetTitle(const std::string& title) override;
    void SetStartStop(bool running) override;
    void SetLabelEditing(bool enabled) override;
    void StartCheckIndicator() override;
    void StopCheckIndicator() override;
    void StartTimeoutTimer(int periodMs) override;
    void StopTimeoutTimer() override;
    std::string GetProxyBarAddress() override;
    void RunEnded() override;

    CheckEngine& Engine() { return *m_engine; }

private:
    QTreeWidgetItem* Item(int row) const;
    void WriteCell(QTreeWidgetItem* item, int column, const std::string& bytes);
    void WriteImage(QTreeWidgetItem* item, int image);

    AppSettings& m_settings;
    IListViewHost* m_host = nullptr;
    CRidIdiDoc* m_document = nullptr;
    std::unique_ptr<UiBridge> m_bridge;
    std::unique_ptr<CheckEngine> m_engine;
    QTimer* m_timeoutTimer = nullptr;
    std::array<QIcon, 4> m_statusIcons;
    bool m_labelEditing = true;
};

} // namespace zandel::ui
