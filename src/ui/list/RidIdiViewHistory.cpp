// What the list window shows of the history: the uptime and median columns, and the window of one row's checks.

#include "ui/list/RidIdiView.h"

#include <utility>

#include "core/settings/AppSettings.h"
#include "core/history/HistoryColumns.h"
#include "core/history/HistoryRecorder.h"
#include "core/history/HistoryStore.h"
#include "ui/list/HistoryLoader.h"
#include "ui/list/HistoryWindow.h"
#include "ui/list/ListRows.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

void CRidIdiView::ShowHistoryColumns() {
    const bool shown = m_settings.HistoryColumns;
    setColumnHidden(kUptimeColumn, !shown);
    setColumnHidden(kMedianColumn, !shown);
    if (shown) {
        LoadHistoryColumns();
    }
}

void CRidIdiView::LoadHistoryColumns() {
    // Nothing is read once the window has shut down, nor where the settings folder keeps no history.
    if (!m_engine || m_historyPath.empty()) {
        return;
    }
    if (!m_historyLoader) {
        HistoryRecorder* batches = m_historyBatches.get();
        m_historyLoader = std::make_unique<HistoryLoader>(
            [path = m_historyPath, batches] {
                if (batches != nullptr) {
                    batches->Sync(); // the run's last checks are in the file before it is read
                }
                HistoryStore store;
                return store.OpenForReading(path) ? store.Summaries() : std::vector<HistorySummary>();
            },
            [this](std::vector<HistorySummary> summaries) {
                m_historyFigures = std::make_unique<HistoryColumns>(std::move(summaries));
                FillHistoryColumns();
            });
    }
    m_historyLoader->Load();
}

void CRidIdiView::FillHistoryColumns() {
    if (!m_settings.HistoryColumns || !m_historyFigures) {
        return;
    }
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = topLevelItem(row);
        const std::string entry = m_rows->GetCellText(row, 0);
        for (const int column : {kUptimeColumn, kMedianColumn}) {
            const QString text = FromBytes(m_historyFigures->Cell(column, entry));
            if (item->text(column) != text) {
                item->setText(column, text);
            }
        }
    }
}

void CRidIdiView::ShowCheckHistory() {
    const int row = m_rows->SelectionMark();
    if (row < 0 || row >= m_rows->RowCount()) {
        return;
    }
    HistoryWindow::Open(m_historyPath, HistoryAddressOf(m_rows->GetCellText(row, 0)), this);
}

} // namespace zandel::ui
