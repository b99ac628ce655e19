#include "core/frame/TrayRule.h"

#include "core/settings/AppSettings.h"

namespace zandel {

HideAction DecideHide(bool trayAvailable, bool shownButNotOnScreen) {
    if (trayAvailable) {
        return HideAction::HideToTray;
    }
    return shownButNotOnScreen ? HideAction::MinimizeWhenOnScreen : HideAction::Minimize;
}

void TrayPlace::PutAway() {
    m_settings.TaskTray = true;
    m_away = true;
}

void TrayPlace::BroughtBack() {
    m_settings.TaskTray = false;
    m_away = false;
}

void TrayPlace::ShownByWindowManager(bool minimizePending) {
    if (m_away && !minimizePending) {
        BroughtBack();
    }
}

} // namespace zandel
