#include "ui/frame/TrayIcon.h"

#include <QCursor>
#include <QEvent>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include "core/settings/AppSettings.h"
#include "core/util/Texts.h"

namespace zandel::ui {

namespace {

QString NormalTip() {
    return QString::fromUtf8(texts::kAppName);
}

QString CheckingTip() {
    return QStringLiteral("%1\n%2").arg(NormalTip(), QStringLiteral("ﾌﾟﾛｷｼﾁｪｯｸ中"));
}

} // namespace

TrayIcon::TrayIcon(QMainWindow& window, AppSettings& settings)
    : QObject(&window), m_window(window), m_place(settings),
      m_available([] { return QSystemTrayIcon::isSystemTrayAvailable(); }) {
    setObjectName(QStringLiteral("trayIcon"));
    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setObjectName(QStringLiteral("blinkTimer"));
    m_blinkTimer->setInterval(kBlinkMs);
    connect(m_blinkTimer, &QTimer::timeout, this, [this] { Blink(); });
    m_window.installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    RemoveTrayIcon();
}

void TrayIcon::SetUpTrayIcon() {
    if (m_icon != nullptr) {
        return;
    }
    m_iconA = QIcon(QStringLiteral(":/icons/tray-a.png"));
    m_iconB = QIcon(QStringLiteral(":/icons/tray-b.png"));
    m_icon = new QSystemTrayIcon(this);
    m_icon->setObjectName(QStringLiteral("systemTrayIcon"));
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick && m_onDoubleClick) {
            m_onDoubleClick();
        } else if (reason == QSystemTrayIcon::Context && m_onMenu) {
            m_onMenu(QCursor::pos());
        }
    });
    ShowIcon(false);
    m_icon->setToolTip(NormalTip());
    m_icon->show();
}

void TrayIcon::RemoveTrayIcon() {
    m_blinkTimer->stop();
    delete m_icon;
    m_icon = nullptr;
}

bool TrayIcon::Notify(const QString& text) {
    m_lastNotice = text;
    if (m_icon == nullptr || !m_available() || !QSystemTrayIcon::supportsMessages()) {
        return false;
    }
    m_icon->showMessage(NormalTip(), text, QSystemTrayIcon::Information);
    return true;
}

void TrayIcon::StartCheckIndicator() {
    if (m_icon == nullptr) {
        return;
    }
    m_icon->setToolTip(CheckingTip());
    m_blinkTimer->start();
}

void TrayIcon::StopCheckIndicator() {
    m_blinkTimer->stop();
    if (m_icon == nullptr) {
        return;
    }
    // A run may end while the second frame shows: the normal icon comes back whatever the timer last did.
    ShowIcon(false);
    m_icon->setToolTip(NormalTip());
}

void TrayIcon::Blink() {
    if (m_icon != nullptr) {
        ShowIcon(!m_showsB);
    }
}

void TrayIcon::ShowIcon(bool iconB) {
    m_showsB = iconB;
    m_icon->setIcon(iconB ? m_iconB : m_iconA);
}

void TrayIcon::ShowInTray(bool hide) {
    if (hide) {
        QWindow* handle = m_window.windowHandle();
        const bool notOnScreen = m_window.isVisible() && handle != nullptr && !handle->isExposed();
        switch (DecideHide(m_icon != nullptr && m_available(), notOnScreen)) {
        case HideAction::HideToTray:
            m_window.hide();
            break;
        case HideAction::MinimizeWhenOnScreen:
            m_minimizeWhenExposed = true;
            handle->installEventFilter(this);
            break;
        case HideAction::Minimize:
            m_window.showMinimized();
            break;
        }
        m_place.PutAway();
        return;
    }
    m_minimizeWhenExposed = false;
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    m_place.BroughtBack();
}

// A minimized window (no tray) comes back through the window manager, not through ShowInTray: once it shows
// again it is no longer in the tray, and the next start must not open it there.
bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (m_minimizeWhenExposed && event->type() == QEvent::Expose && watched == m_window.windowHandle() &&
        m_window.windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            if (m_minimizeWhenExposed) {
                m_minimizeWhenExposed = false;
                m_window.showMinimized();
            }
        });
    }
    if (watched == &m_window && (event->type() == QEvent::WindowStateChange || event->type() == QEvent::Show) &&
        m_window.isVisible() && !m_window.isMinimized()) {
        m_place.ShownByWindowManager(m_minimizeWhenExposed);
    }
    return QObject::eventFilter(watched, event);
}

bool TrayIcon::IsPresent() const {
    return m_icon != nullptr && m_icon->isVisible();
}

QString TrayIcon::ToolTip() const {
    return m_icon != nullptr ? m_icon->toolTip() : QString();
}

QIcon TrayIcon::CurrentIcon() const {
    return m_icon != nullptr ? m_icon->icon() : QIcon();
}

} // namespace zandel::ui
