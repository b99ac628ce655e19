#include "ui/frame/FramePlacement.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "core/frame/WindowPlacement.h"
#include "ui/util/WorkArea.h"

namespace zandel::ui {

namespace {

constexpr int kDefaultWidth = 760;
constexpr int kDefaultHeight = 560;
constexpr int kFramePollMs = 50;

} // namespace

FramePlacement::FramePlacement(QWidget& window, const AppSettings& settings) : m_window(window), m_settings(settings) {
    m_framePoll = new QTimer(this);
    m_framePoll->setInterval(kFramePollMs);
    connect(m_framePoll, &QTimer::timeout, this, [this] {
        FitIntoFrame();
        if (m_waiting && --m_pollsLeft <= 0) {
            StopWaiting();
        }
    });
}

void FramePlacement::Restore() {
    m_fitOnly = false;
    const auto placement = PlacementToRestore(ReadWindowRect(m_settings), WorkAreas());
    if (!placement) {
        // The window manager places it; once framed, it is only kept inside the work area.
        m_window.resize(kDefaultWidth, kDefaultHeight);
        m_fitOnly = true;
        return;
    }
    m_rect = *placement;
    // The frame is not known before the window is on screen: for now the outer size stands for the inner one.
    const ClientSize size = ClientSizeWithin(m_rect, FrameMargins{});
    m_window.move(m_rect.Left, m_rect.Top);
    m_window.resize(size.width, size.height);
}

// A window manager frames the window some time after it was shown: every move or resize until then, and a
// timer besides, looks whether the frame is there yet.
void FramePlacement::Shown() {
    if (m_shown) {
        return;
    }
    m_shown = true;
    m_waiting = true;
    m_window.installEventFilter(this);
    m_pollsLeft = kFrameWaitMs / kFramePollMs;
    m_framePoll->start();
    FitIntoFrame();
}

bool FramePlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_window && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        FitIntoFrame();
    }
    return QObject::eventFilter(watched, event);
}

void FramePlacement::FitIntoFrame() {
    QWindow* handle = m_window.windowHandle();
    if (!m_waiting || handle == nullptr) {
        return;
    }
    const QMargins frame = handle->frameMargins();
    if (frame.isNull()) {
        return;
    }
    StopWaiting();
    if (m_fitOnly) {
        const QRect outer = m_window.frameGeometry();
        const WindowRect placed = RectFromOuter(outer.x(), outer.y(), outer.width(), outer.height());
        const std::optional<WindowRect> area = AreaUnder(placed, WorkAreas());
        m_rect = area ? FitInside(placed, *area) : placed;
        if (m_rect == placed) {
            return;
        }
    }
    const ClientSize size =
        ClientSizeWithin(m_rect, FrameMargins{frame.left(), frame.top(), frame.right(), frame.bottom()});
    m_window.resize(size.width, size.height);
    m_window.move(m_rect.Left, m_rect.Top);
}

void FramePlacement::StopWaiting() {
    m_waiting = false;
    m_framePoll->stop();
    m_window.removeEventFilter(this);
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
    Qt::WindowFlags flags = window.windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    QWindow* handle = window.windowHandle();
    if (handle == nullptr) {
        window.setWindowFlags(flags);
        return;
    }
    // Only the window system is told: setting the flag on the widget would rebuild the window and put it
    // back by its inner rectangle, a title bar's height higher each time.
    window.overrideWindowFlags(flags);
    handle->setFlags(flags);
}

} // namespace zandel::ui
