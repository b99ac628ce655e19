#pragma once

#include <QObject>

class QMainWindow;
class QToolBar;

namespace zandel::ui {

// Two bars that share a row of the toolbar area while the window is wide enough for both. In a narrower window
// (or at a large scale) the second takes a row of its own rather than hide its buttons behind the row's overflow.
class BarRows final : public QObject {
public:
    BarRows(QMainWindow& window, QToolBar& first, QToolBar& second);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Arrange();

    QMainWindow& m_window;
    QToolBar& m_first;
    QToolBar& m_second;
    bool m_ownRow = false;
};

} // namespace zandel::ui
