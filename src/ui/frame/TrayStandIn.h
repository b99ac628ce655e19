#pragma once

class QLabel;
class QMainWindow;

namespace zandel {
struct AppSettings;
}

namespace zandel::ui {

// What the notification-area icon offers the rest of the program, until the icon itself is there: hiding
// minimizes the window (so that it can always be got back) and the checking indication is a note in the
// status bar.
class TrayStandIn final {
public:
    TrayStandIn(QMainWindow& window, AppSettings& settings, QLabel& note);
    TrayStandIn(const TrayStandIn&) = delete;
    TrayStandIn& operator=(const TrayStandIn&) = delete;

    // Hides (true) or restores (false); the state is remembered in TaskTray for the next start.
    void ShowInTray(bool hide);
    void StartCheckIndicator();
    void StopCheckIndicator();
    bool IsIndicating() const { return m_indicating; }

private:
    QMainWindow& m_window;
    AppSettings& m_settings;
    QLabel& m_note;
    bool m_indicating = false;
};

} // namespace zandel::ui
