#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "core/list/CheckRecord.h"

class QTableView;

namespace zandel::ui {

class HistoryPlot;

// One proxy's kept checks: a plot of its response time over time above a table of the checks, newest first.
// A window of its own beside the list, resizable, closed with Esc.
class HistoryWindow final : public QDialog {
public:
    // The checks of `address` in the history file at `path` (none when it is empty or unreadable).
    HistoryWindow(const std::string& path, const std::string& address, QWidget* parent = nullptr);
    HistoryWindow(std::vector<CheckRecord> checks, const std::string& address, QWidget* parent = nullptr);

    // Opens the window, which deletes itself when closed.
    static HistoryWindow* Open(const std::string& path, const std::string& address, QWidget* parent);

    QTableView* Table() const { return m_table; }
    HistoryPlot* Plot() const { return m_plot; }

private:
    HistoryPlot* m_plot = nullptr;
    QTableView* m_table = nullptr;
};

} // namespace zandel::ui
