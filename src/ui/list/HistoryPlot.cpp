#include "ui/list/HistoryPlot.h"

#include <algorithm>
#include <limits>

#include <QDateTime>
#include <QLineF>
#include <QPainter>
#include <QPolygonF>

namespace zandel::ui {

namespace {

// 1, 2 or 5 times a power of ten: the axis reads at a glance.
int RoundTop(int ms) {
    for (long long step = 1;; step *= 10) {
        for (const long long factor : {1, 2, 5}) {
            if (step * factor >= ms) {
                return static_cast<int>(std::min<long long>(step * factor, std::numeric_limits<int>::max()));
            }
        }
    }
}

QString LocalTime(std::time_t when) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(when)).toString(QStringLiteral("MM/dd hh:mm"));
}

} // namespace

HistoryPlot::HistoryPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("historyPlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HistoryPlot::SetChecks(const std::vector<CheckRecord>& checks) {
    m_good.clear();
    m_failures.clear();
    int slowest = 0;
    bool any = false;
    for (const CheckRecord& check : checks) {
        const std::optional<std::time_t> when = ParseIsoUtc(check.checkedAt);
        if (!when) {
            continue;
        }
        m_first = any ? std::min(m_first, *when) : *when;
        m_last = any ? std::max(m_last, *when) : *when;
        any = true;
        if (!IsGoodResult(check.result)) {
            m_failures.push_back(*when);
        } else if (check.responseMs) {
            m_good.push_back({*when, *check.responseMs});
            slowest = std::max(slowest, *check.responseMs);
        }
    }
    std::sort(m_good.begin(), m_good.end(), [](const Point& a, const Point& b) { return a.when < b.when; });
    m_topMs = RoundTop(std::max(slowest, 1));
    update();
}

void HistoryPlot::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().text().color());
    if (m_good.empty() && m_failures.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("ﾁｪｯｸ履歴はありません"));
        return;
    }
    const QFontMetrics metrics = fontMetrics();
    const QString topLabel = QStringLiteral("%1 ms").arg(m_topMs);
    const int left = metrics.horizontalAdvance(topLabel) + 8;
    const int lineHeight = metrics.height();
    // The failures' strip lies below the value axis, the times below it.
    const QRectF area(left, lineHeight / 2.0, std::max(width() - left - 12, 1), std::max(height() - lineHeight * 3, 1));
    const double strip = lineHeight * 0.8;
    const double span = std::max<double>(static_cast<double>(m_last - m_first), 1.0);
    const auto x = [&](std::time_t when) {
        // A single instant stands in the middle.
        return m_last == m_first ? area.center().x()
                                 : area.left() + area.width() * static_cast<double>(when - m_first) / span;
    };
    const auto y = [&](int ms) { return area.bottom() - area.height() * ms / m_topMs; };

    painter.drawLine(QPointF(area.left(), area.top()), area.bottomLeft());
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawText(QRectF(0, area.top() - lineHeight / 2.0, left - 4, lineHeight), Qt::AlignRight, topLabel);
    painter.drawText(QRectF(0, area.bottom() - lineHeight / 2.0, left - 4, lineHeight), Qt::AlignRight,
                     QStringLiteral("0"));
    const double timesTop = area.bottom() + strip + 2;
    painter.drawText(QRectF(area.left(), timesTop, area.width(), lineHeight), Qt::AlignLeft, LocalTime(m_first));
    if (m_last != m_first) {
        painter.drawText(QRectF(area.left(), timesTop, area.width(), lineHeight), Qt::AlignRight, LocalTime(m_last));
    }

    // Thousands of points are drawn with the plain one-pixel pen: a wide or smoothed line over ten thousand of
    // them takes the better part of a second to stroke.
    const bool dense = m_good.size() + m_failures.size() >= 2000;
    const double penWidth = dense ? 0.0 : 1.5;
    painter.setRenderHint(QPainter::Antialiasing, !dense);
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(m_good.size()));
    for (const Point& point : m_good) {
        line << QPointF(x(point.when), y(point.ms));
    }
    painter.setPen(QPen(QColor(16, 83, 143), penWidth));
    painter.drawPolyline(line);
    if (m_good.size() <= 200) {
        painter.setBrush(QColor(16, 83, 143));
        for (const QPointF& point : line) {
            painter.drawEllipse(point, 2.5, 2.5);
        }
    }
    QVector<QLineF> marks;
    marks.reserve(static_cast<qsizetype>(m_failures.size()) * 2);
    const double markTop = area.bottom() + 2;
    const double half = (strip - 2) / 2;
    for (const std::time_t when : m_failures) {
        const double cx = x(when);
        marks << QLineF(cx - half, markTop, cx + half, markTop + 2 * half)
              << QLineF(cx - half, markTop + 2 * half, cx + half, markTop);
    }
    painter.setPen(QPen(QColor(200, 30, 30), penWidth));
    painter.drawLines(marks);
}

} // namespace zandel::ui
