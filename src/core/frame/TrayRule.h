#pragma once

namespace zandel {

struct AppSettings;

// How the main window goes away when the user sends it to the tray. A hidden window with no tray to bring it
// back from would be lost, so without a tray it is only minimized; a window manager ignores a request to
// minimize a window it has not yet put on screen (as at start-up), so that request waits until it has.
enum class HideAction { HideToTray, MinimizeWhenOnScreen, Minimize };
HideAction DecideHide(bool trayAvailable, bool shownButNotOnScreen);

// Where the window is, kept in TaskTray so that the next start opens it the same way.
class TrayPlace final {
public:
    explicit TrayPlace(AppSettings& settings) : m_settings(settings) {}

    void PutAway();
    void BroughtBack();
    // The window shows again by the window manager's hand (a minimized window restored from the task bar):
    // it is no longer away, unless its own minimizing is still to come.
    void ShownByWindowManager(bool minimizePending);
    bool Away() const { return m_away; }

private:
    AppSettings& m_settings;
    bool m_away = false;
};

} // namespace zandel
