#include "ui/frame/TrayStandIn.h"

#include <QLabel>
#include <QMainWindow>

#include "core/app/AppSettings.h"

namespace zandel::ui {

TrayStandIn::TrayStandIn(QMainWindow& window, AppSettings& settings, QLabel& note)
    : m_window(window), m_settings(settings), m_note(note) {
    m_note.setText(QStringLiteral("ﾌﾟﾛｷｼﾁｪｯｸ中"));
    m_note.setVisible(false);
}

void TrayStandIn::ShowInTray(bool hide) {
    if (hide) {
        m_window.showMinimized();
        m_settings.TaskTray = true;
        return;
    }
    m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
    m_settings.TaskTray = false;
}

void TrayStandIn::StartCheckIndicator() {
    m_indicating = true;
    m_note.setVisible(true);
}

void TrayStandIn::StopCheckIndicator() {
    m_indicating = false;
    m_note.setVisible(false);
}

} // namespace zandel::ui
