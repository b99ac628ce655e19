#pragma once

#include <QObject>

#include "core/settings/AppSettings.h"

class QTimer;
class QWidget;

namespace zandel::ui {

// The main window's place on screen: the outer rectangle of [Window] restored at creation and handed to the
// settings when the window goes, and the always-on-top state.
class FramePlacement final : public QObject {
    Q_OBJECT
public:
    // How long a restored window waits for the window manager to put its frame around it.
    static constexpr int kFrameWaitMs = 5000;

    FramePlacement(QWidget& window, const AppSettings& settings);

    // Before the window is shown: the saved rectangle fitted into the screen's work area, or the default size
    // for the system to place.
    void Restore();
    // Once the window is on screen: as soon as its frame is known, the inside is made as much smaller, so
    // that the outer rectangle is the saved one again; a window placed by the system is only kept inside the
    // work area.
    void Shown();
    // The window's outer rectangle as the next start should restore it.
    WindowRect OuterRect() const;

    // Topmost or not, where and as large as it was.
    static void ApplyTopmost(QWidget& window, bool onTop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitIntoFrame();
    void StopWaiting();

    QWidget& m_window;
    const AppSettings& m_settings;
    bool m_fitOnly = false;
    bool m_shown = false;
    bool m_waiting = false;
    WindowRect m_rect;
    QTimer* m_framePoll = nullptr;
    int m_pollsLeft = 0;
};

} // namespace zandel::ui
