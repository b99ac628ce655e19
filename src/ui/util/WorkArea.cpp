#include "ui/util/WorkArea.h"

#include <vector>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "core/frame/WindowPlacement.h"

namespace zandel::ui {

namespace {

QMargins FrameOf(const QWidget* window) {
    if (window == nullptr || window->windowHandle() == nullptr) {
        return {};
    }
    return window->windowHandle()->frameMargins();
}

} // namespace

std::vector<WindowRect> WorkAreas() {
    std::vector<WindowRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        areas.push_back(RectFromOuter(area.x(), area.y(), area.width(), area.height()));
    }
    return areas;
}

QMargins ExpectedFrame(const QWidget& window) {
    std::vector<const QWidget*> framed = {&window};
    if (window.parentWidget() != nullptr) {
        framed.push_back(window.parentWidget()->window());
    }
    framed.push_back(QApplication::activeWindow());
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other->isVisible()) {
            framed.push_back(other);
        }
    }
    for (const QWidget* other : framed) {
        if (const QMargins frame = FrameOf(other); !frame.isNull()) {
            return frame;
        }
    }
    return {};
}

QSize RoomOnScreen(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    return screen->availableGeometry().size().shrunkBy(ExpectedFrame(window));
}

void FitIntoWorkArea(QWidget& window) {
    const QMargins frame = ExpectedFrame(window);
    // Until the window manager has framed it, a window's position is where its frame is to go.
    const QSize outer = window.size().grownBy(frame);
    const WindowRect placed = RectFromOuter(window.x(), window.y(), outer.width(), outer.height());
    const std::optional<WindowRect> area = AreaUnder(placed, WorkAreas());
    if (!area) {
        return;
    }
    const WindowRect fitted = FitInside(placed, *area);
    if (fitted == placed) {
        return;
    }
    const ClientSize size =
        ClientSizeWithin(fitted, FrameMargins{frame.left(), frame.top(), frame.right(), frame.bottom()});
    window.resize(size.width, size.height);
    window.move(fitted.Left, fitted.Top);
}

bool DialogsOnScreen::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog != nullptr && dialog->isWindow()) {
            FitIntoWorkArea(*dialog);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zandel::ui
