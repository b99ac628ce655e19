#pragma once

#include <QScrollArea>

namespace zandel::ui {

// A settings page in a scroll area: at the page's own size where the screen has room for the sheet, scrolled
// where it has not (a small screen, a large scale), so that the sheet's buttons stay within reach.
class ScrollingPage final : public QScrollArea {
public:
    explicit ScrollingPage(QWidget* page, QWidget* parent = nullptr);

    // Without scrolling the page asks for its whole minimum size, as it did before it had a scroll area.
    void SetScrolls(bool scrolls);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    bool m_scrolls = false;
};

} // namespace zandel::ui
