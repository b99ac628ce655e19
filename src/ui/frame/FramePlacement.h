#pragma once

#include <string>

#include "core/app/AppSettings.h"

class QWidget;

namespace zandel::ui {

// The main window's place on screen: the outer rectangle of [Window] restored at creation and handed to the
// settings when the window goes, and the always-on-top state.
class FramePlacement final {
public:
    FramePlacement(QWidget& window, std::string startDir);

    // Before the window is shown: the saved rectangle, or the default size for the system to place.
    void Restore();
    // Once the window is on screen and its frame known: the saved rectangle was the outer one.
    void Shown();
    // The window's outer rectangle as the next start should restore it.
    WindowRect OuterRect() const;

    // Topmost or not, re-shown where and as large as it was.
    static void ApplyTopmost(QWidget& window, bool onTop);

private:
    QWidget& m_window;
    std::string m_startDir;
    bool m_restored = false;
    WindowRect m_rect;
};

} // namespace zandel::ui
