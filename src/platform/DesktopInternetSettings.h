#pragma once

#include <optional>
#include <string>

#include "core/proxy/InternetSettings.h"
#include "platform/GnomeInternetSettings.h"
#include "platform/KdeInternetSettings.h"

namespace zandel {

// The browser's proxy on the desktop the user runs, by `XDG_CURRENT_DESKTOP`: KDE's settings on KDE, GNOME's
// on GNOME and its kin; on any other desktop both, where they are present (GNOME's schema installed, KDE's
// "kioslaverc" already there).
class DesktopInternetSettings final : public IInternetSettings {
public:
    enum class Targets { Gnome, Kde, Both };

    explicit DesktopInternetSettings(const char* currentDesktop,
                                     const std::string& kdeConfigDir = KdeInternetSettings::DefaultConfigDir());

    bool SetOption(int option, const InternetOptionList& list) override;
    std::optional<std::string> ReadDialUpProfileName() override { return std::nullopt; }
    // Of the settings written last, GNOME's and KDE's together.
    ProxyLoginFate LoginFate() const override { return m_fate; }

    // Which settings a desktop list ("KDE", "ubuntu:GNOME", ...) asks for.
    static Targets TargetsFor(const char* currentDesktop);

private:
    Targets m_targets;
    GnomeInternetSettings m_gnome;
    KdeInternetSettings m_kde;
    ProxyLoginFate m_fate;
};

} // namespace zandel
