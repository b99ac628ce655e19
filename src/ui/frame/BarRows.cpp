#include "ui/frame/BarRows.h"

#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QToolBar>

namespace zandel::ui {

BarRows::BarRows(QMainWindow& window, QToolBar& first, QToolBar& second)
    : QObject(&window), m_window(window), m_first(first), m_second(second) {
    m_window.installEventFilter(this);
    m_second.installEventFilter(this);
}

bool BarRows::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((watched == &m_window && type == QEvent::Resize) || (watched == &m_second && type == QEvent::LayoutRequest)) {
        Arrange();
    }
    return QObject::eventFilter(watched, event);
}

void BarRows::Arrange() {
    // Bars the user has moved elsewhere are where the user wants them.
    if (m_window.toolBarArea(&m_first) != m_window.toolBarArea(&m_second) || m_first.isFloating() ||
        m_second.isFloating()) {
        return;
    }
    const int spacing = m_window.layout() != nullptr ? m_window.layout()->spacing() : 0;
    const bool fits = m_first.sizeHint().width() + spacing + m_second.sizeHint().width() <= m_window.width();
    if (fits == !m_ownRow) {
        return;
    }
    if (fits) {
        m_window.removeToolBarBreak(&m_second);
    } else {
        m_window.insertToolBarBreak(&m_second);
    }
    m_ownRow = !fits;
}

} // namespace zandel::ui
