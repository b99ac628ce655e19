// The list's filter put on the rows: the core's RowFilter decides which row passes, this hides the others and keeps
// doing so as rows come and change.

#include "ui/list/ProxyListView.h"

#include <optional>
#include <string>

#include <QTimer>

#include "core/history/HistoryColumns.h"
#include "core/settings/AppSettings.h"
#include "ui/list/AddressEditDelegate.h"
#include "ui/list/ListModel.h"
#include "ui/list/ListRows.h"
#include "ui/list/ListViewHost.h"

namespace zandel::ui {

// Rows that come or change are looked at again once per turn, however many did; a finished edit too, since the
// filter leaves the row under an edit box alone (a row just added would vanish under the user's typing).
void ProxyListView::WireFilter() {
    m_filterCheck = new QTimer(this);
    m_filterCheck->setSingleShot(true);
    m_filterCheck->setInterval(0);
    connect(m_filterCheck, &QTimer::timeout, this, [this] { ApplyFilter(); });
    const auto schedule = [this] { ScheduleFilter(); };
    connect(model(), &QAbstractItemModel::rowsInserted, this, schedule);
    connect(m_model, &ListModel::cellsChanged, this, schedule);
    connect(m_delegate, &QAbstractItemDelegate::closeEditor, this, schedule);
}

void ProxyListView::ScheduleFilter() {
    if (m_filter.IsOn() || m_rowsHidden) {
        m_filterCheck->start();
    }
}

// The user's own change shows at once, during a run as well; only the selection of a run is left as it is.
void ProxyListView::SetRowFilter(const RowFilter& filter) {
    if (filter == m_filter) {
        return;
    }
    m_filter = filter;
    FilterRows(!RunActive());
}

// MainFrame calls this when a run has ended, which is when the rows it graded are shown or hidden by their new result.
void ProxyListView::ApplyFilter() {
    if ((!m_filter.IsOn() && !m_rowsHidden) || RunActive() || EditBox() != nullptr) {
        return;
    }
    FilterRows(true);
}

void ProxyListView::FilterRows(bool deselect) {
    RowFilter filter = m_filter;
    // The uptime condition holds only while its column shows.
    const HistoryColumns* figures = m_settings.HistoryColumns ? m_historyFigures.get() : nullptr;
    if (!m_settings.HistoryColumns) {
        filter.minUptime = 0;
    }
    std::vector<bool> shown;
    if (filter.IsOn()) {
        shown.resize(static_cast<std::size_t>(m_model->Count()));
        for (int row = 0; row < m_model->Count(); ++row) {
            const std::string address = m_model->Cell(row, 0);
            const std::optional<int> uptime =
                filter.minUptime > 0 && figures != nullptr ? figures->UptimePercent(address) : std::nullopt;
            shown[static_cast<std::size_t>(row)] = filter.Passes(address, m_model->Cell(row, 1), uptime);
        }
    }
    m_rows->Show(shown, deselect);
    m_rowsHidden = m_model->Filtered();
    // Hidden rows count as unselected: the status bar's counts change with them.
    m_rows->Recount();
    if (m_host != nullptr) {
        m_host->UpdateCounts();
    }
}

int ProxyListView::ShownRowCount() const {
    return m_model->rowCount();
}

} // namespace zandel::ui
