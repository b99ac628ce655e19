#pragma once

#include <ctime>
#include <vector>

#include <QWidget>

#include "core/list/CheckRecord.h"

namespace zandel::ui {

// The response time of one proxy's checks over time: the good checks joined by a line, each failure marked
// below it in red. Drawn by hand rather than with a charting module: the program needs one plot of one kind.
class HistoryPlot final : public QWidget {
public:
    explicit HistoryPlot(QWidget* parent = nullptr);

    void SetChecks(const std::vector<CheckRecord>& checks);
    int GoodPointCount() const { return static_cast<int>(m_good.size()); }
    int FailureCount() const { return static_cast<int>(m_failures.size()); }

    QSize sizeHint() const override { return {640, 200}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Point {
        std::time_t when;
        int ms;
    };
    std::vector<Point> m_good;
    std::vector<std::time_t> m_failures;
    std::time_t m_first = 0;
    std::time_t m_last = 0;
    int m_topMs = 0; // the value axis's top: a round figure at or above the slowest good check
};

} // namespace zandel::ui
