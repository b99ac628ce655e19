// What the list window shows of the history: the uptime and median columns, and the window of one row's checks.

#include "ui/list/ProxyListView.h"

#include <utility>

#include "core/settings/AppSettings.h"
#include <QTimer>

#include "core/history/HistoryColumns.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "ui/list/HistoryLoader.h"
#include "ui/list/HistoryWindow.h"
#include "ui/list/ListModel.h"
#include "ui/list/ListRows.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

// How often the history file is looked at while the columns show: what another program or a re-check round wrote
// shows within this time.
constexpr int kHistoryWatchMs = 2000;

} // namespace

void ProxyListView::ShowHistoryColumns() {
    const bool shown = m_settings.HistoryColumns;
    setColumnHidden(kUptimeColumn, !shown);
    setColumnHidden(kMedianColumn, !shown);
    if (!m_historyWatch) {
        m_historyWatch = new QTimer(this);
        m_historyWatch->setObjectName(QStringLiteral("historyWatch"));
        connect(m_historyWatch, &QTimer::timeout, this, [this] { ReloadHistoryIfChanged(); });
    }
    if (shown) {
        LoadHistoryColumns();
        m_historyWatch->start(kHistoryWatchMs);
    } else {
        m_historyWatch->stop();
    }
    Q_EMIT historyColumnsShown(shown);
    // A filter by uptime holds only while the column shows.
    ApplyFilter();
}

// Two stat() calls: the figures are read again only when some program has written since they were read.
void ProxyListView::ReloadHistoryIfChanged() {
    if (!m_settings.HistoryColumns || m_historyPath.empty() || (m_historyLoader && m_historyLoader->IsLoading())) {
        return;
    }
    if (!m_historyStamp || HistoryStampOf(m_historyPath) != *m_historyStamp) {
        LoadHistoryColumns();
    }
}

void ProxyListView::LoadHistoryColumns() {
    // Nothing is read once the window has shut down, nor where the settings folder keeps no history.
    if (!m_engine || m_historyPath.empty()) {
        return;
    }
    if (!m_historyLoader) {
        HistoryRecorder* batches = m_historyBatches.get();
        m_historyReadStamp = std::make_shared<HistoryStamp>();
        m_historyLoader = std::make_unique<HistoryLoader<std::vector<HistorySummary>>>(
            [path = m_historyPath, batches, stamp = m_historyReadStamp] {
                if (batches != nullptr) {
                    batches->Sync(); // the run's last checks are in the file before it is read
                }
                // Taken before the read: a write that comes during it is read again later, never missed.
                *stamp = HistoryStampOf(path);
                HistoryStore store;
                return store.OpenForReading(path) ? store.Summaries() : std::vector<HistorySummary>();
            },
            [this](std::vector<HistorySummary> summaries) {
                m_historyStamp = std::make_unique<HistoryStamp>(*m_historyReadStamp);
                m_historyFigures = std::make_unique<HistoryColumns>(std::move(summaries));
                FillHistoryColumns();
            });
    }
    m_historyLoader->Load();
}

void ProxyListView::FillHistoryColumns() {
    if (!m_settings.HistoryColumns || !m_historyFigures) {
        return;
    }
    m_model->SetFigures(m_historyFigures.get());
}

void ProxyListView::ShowCheckHistory() {
    const int row = m_rows->SelectionMark();
    if (row < 0 || row >= m_rows->RowCount()) {
        return;
    }
    HistoryWindow::Open(m_historyPath, HistoryAddressOf(m_rows->GetCellText(row, 0)), this);
}

} // namespace zandel::ui
