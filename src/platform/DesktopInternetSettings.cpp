#include "platform/DesktopInternetSettings.h"

#include <sstream>

#include <unistd.h>

namespace zandel {

DesktopInternetSettings::DesktopInternetSettings(const char* currentDesktop, const std::string& kdeConfigDir)
    : m_targets(TargetsFor(currentDesktop)), m_kde(kdeConfigDir) {}

DesktopInternetSettings::Targets DesktopInternetSettings::TargetsFor(const char* currentDesktop) {
    std::istringstream names(currentDesktop != nullptr ? currentDesktop : "");
    std::string name;
    bool gnome = false;
    bool kde = false;
    while (std::getline(names, name, ':')) {
        kde = kde || name == "KDE";
        gnome = gnome || name == "GNOME" || name == "GNOME-Flashback" || name == "Unity" || name == "X-Cinnamon" ||
                name == "Cinnamon" || name == "MATE" || name == "Budgie" || name == "Pantheon" || name == "XFCE";
    }
    if (kde && !gnome) {
        return Targets::Kde;
    }
    if (gnome && !kde) {
        return Targets::Gnome;
    }
    return Targets::Both;
}

bool DesktopInternetSettings::SetOption(int option, const InternetOptionList& list) {
    bool changed = true;
    const bool perConnection = option == kOptionPerConnection && !list.connection;
    if (perConnection) {
        m_fate = {};
    }
    const auto heard = [this, perConnection](const IInternetSettings& desktop) {
        if (perConnection) {
            m_fate.keptByGnome = m_fate.keptByGnome || desktop.LoginFate().keptByGnome;
            m_fate.leftOut = m_fate.leftOut || desktop.LoginFate().leftOut;
        }
    };
    if (m_targets != Targets::Kde) {
        changed = m_gnome.SetOption(option, list); // without the schema this does nothing
        heard(m_gnome);
    }
    if (m_targets == Targets::Kde || ::access(m_kde.FilePath().c_str(), F_OK) == 0) {
        changed = m_kde.SetOption(option, list) && changed;
        heard(m_kde);
    }
    return changed;
}

} // namespace zandel
