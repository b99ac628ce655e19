#include "ui/frame/FramePlacement.h"

#include <vector>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "core/app/WindowPlacement.h"

namespace zandel::ui {

namespace {

constexpr int kDefaultWidth = 760;
constexpr int kDefaultHeight = 560;

} // namespace

FramePlacement::FramePlacement(QWidget& window, std::string startDir)
    : m_window(window), m_startDir(std::move(startDir)) {}

void FramePlacement::Restore() {
    std::vector<WindowRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->geometry();
        screens.push_back(RectFromOuter(area.x(), area.y(), area.width(), area.height()));
    }
    const auto placement = PlacementToRestore(ReadWindowRect(m_startDir), screens);
    if (!placement) {
        m_window.resize(kDefaultWidth, kDefaultHeight);
        return;
    }
    m_rect = *placement;
    m_restored = true;
    m_window.move(m_rect.Left, m_rect.Top);
    m_window.resize(m_rect.Right - m_rect.Left, m_rect.Bottom - m_rect.Top);
}

void FramePlacement::Shown() {
    if (!m_restored || m_window.windowHandle() == nullptr) {
        return;
    }
    m_restored = false;
    // Before the window was shown its frame was unknown and the outer size was taken for the inner one.
    const QMargins frame = m_window.windowHandle()->frameMargins();
    if (!frame.isNull()) {
        m_window.resize(m_rect.Right - m_rect.Left - frame.left() - frame.right(),
                        m_rect.Bottom - m_rect.Top - frame.top() - frame.bottom());
        m_window.move(m_rect.Left, m_rect.Top);
    }
}

WindowRect FramePlacement::OuterRect() const {
    QRect outer = m_window.frameGeometry();
    if (m_window.isMinimized()) {
        // A minimized window's rectangle is its icon's; the next start wants the window.
        const QRect normal = m_window.normalGeometry();
        const QMargins frame =
            m_window.windowHandle() != nullptr ? m_window.windowHandle()->frameMargins() : QMargins();
        outer = normal.marginsAdded(frame);
    }
    return RectFromOuter(outer.x(), outer.y(), outer.width(), outer.height());
}

void FramePlacement::ApplyTopmost(QWidget& window, bool onTop) {
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) {
        return;
    }
    const QRect geometry = window.geometry();
    const bool visible = window.isVisible();
    // Changing the flag takes the window off the screen; it comes back where and as large as it was.
    window.setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    window.setGeometry(geometry);
    if (visible) {
        window.show();
    }
}

} // namespace zandel::ui
