#include "ui/settings/ScrollingPage.h"

#include <QApplication>

namespace zandel::ui {

ScrollingPage::ScrollingPage(QWidget* page, QWidget* parent) : QScrollArea(parent) {
    setObjectName(page->objectName() + QStringLiteral("Scroller"));
    setFrameShape(QFrame::NoFrame);
    // The tab goes from the tab bar straight to the page's first control.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setWidget(page);
    // The tab's own background shows through, as it did behind the page alone.
    viewport()->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    // A field that takes the focus comes into view, also when a refused value sends the user back to it.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* /*old*/, QWidget* now) {
        if (m_scrolls && now != nullptr && widget()->isAncestorOf(now)) {
            ensureWidgetVisible(now);
        }
    });
}

void ScrollingPage::SetScrolls(bool scrolls) {
    m_scrolls = scrolls;
    updateGeometry();
}

QSize ScrollingPage::sizeHint() const {
    // The whole page, not the area's own bound of a few dozen lines.
    return widget()->sizeHint().expandedTo(widget()->minimumSizeHint());
}

QSize ScrollingPage::minimumSizeHint() const {
    return m_scrolls ? QScrollArea::minimumSizeHint() : widget()->minimumSizeHint();
}

} // namespace zandel::ui
