#pragma once

#include <vector>

#include <QMargins>
#include <QObject>
#include <QSize>

class QWidget;

namespace zandel {
struct WindowRect;
}

namespace zandel::ui {

// The work area of each screen, as the placement rules take them.
std::vector<WindowRect> WorkAreas();

// The frame the window manager puts around `window`: its own once it has one, else that of the window it
// belongs to or of another framed window of the program, since one window manager frames them all alike.
QMargins ExpectedFrame(const QWidget& window);

// The inside that `window`, framed, may take on the work area of its screen (the screen less its panels).
QSize RoomOnScreen(const QWidget& window);

// Moves a window, and makes it smaller only where it must, so that it lies wholly inside the work area it is on.
void FitIntoWorkArea(QWidget& window);

// Installed on the application: every dialog, box and file dialog is fitted into the work area as it is shown,
// whatever the scale, the screen or the size it remembered, so that its buttons stay within reach.
class DialogsOnScreen final : public QObject {
public:
    explicit DialogsOnScreen(QObject* parent = nullptr) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace zandel::ui
