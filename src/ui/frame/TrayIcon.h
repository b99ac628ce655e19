#pragma once

#include <functional>

#include <QIcon>
#include <QObject>
#include <QString>

#include "core/frame/TrayRule.h"

class QMainWindow;
class QPoint;
class QSystemTrayIcon;
class QTimer;

namespace zandel {
struct AppSettings;
}

namespace zandel::ui {

// The main window's icon in the notification area: there from the window's creation to its end, blinking
// between icons A and B with a two-line tip while a check runs, hiding the window into the tray and bringing
// it back. Where the desktop has no tray, hiding minimizes the window instead, so that it can always be got
// back.
class TrayIcon final : public QObject {
    Q_OBJECT
public:
    static constexpr int kBlinkMs = 700;

    TrayIcon(QMainWindow& window, AppSettings& settings);
    ~TrayIcon() override;

    void SetUpTrayIcon();
    void RemoveTrayIcon();
    void StartCheckIndicator();
    void StopCheckIndicator();
    // One tick of the blink timer.
    void Blink();
    // Hides the window into the tray (true) or brings it back (false); TaskTray remembers it for the next start.
    void ShowInTray(bool hide);
    // A notice in the tray's balloon; false where the desktop has no tray or no balloons to show it in.
    bool Notify(const QString& text);
    // The last notice the tray was asked to show, shown or not.
    QString LastNotice() const { return m_lastNotice; }

    // Whether the desktop offers a tray at the moment of hiding (tests put a stand-in here).
    void SetTrayAvailable(std::function<bool()> available) { m_available = std::move(available); }
    // A double-click on the icon, and the right button with the cursor's position for the menu.
    void OnDoubleClick(std::function<void()> handler) { m_onDoubleClick = std::move(handler); }
    void OnMenuRequested(std::function<void(const QPoint&)> handler) { m_onMenu = std::move(handler); }

    bool IsPresent() const;
    bool ShowsIconB() const { return m_showsB; }
    QString ToolTip() const;
    QIcon CurrentIcon() const;
    QTimer* BlinkTimer() const { return m_blinkTimer; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowIcon(bool iconB);

    QMainWindow& m_window;
    TrayPlace m_place;
    QSystemTrayIcon* m_icon = nullptr;
    QTimer* m_blinkTimer = nullptr;
    QIcon m_iconA;
    QIcon m_iconB;
    bool m_showsB = false;
    QString m_lastNotice;
    // Hidden or minimized by ShowInTray, until the window shows again by whatever way.
    bool m_minimizeWhenExposed = false;
    std::function<bool()> m_available;
    std::function<void()> m_onDoubleClick;
    std::function<void(const QPoint&)> m_onMenu;
};

} // namespace zandel::ui
