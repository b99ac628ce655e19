#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/proxy/InternetSettings.h"

namespace zandel {

// The browser's proxy on KDE Plasma: the [Proxy Settings] group of "kioslaverc" in the user's config folder,
// which KDE programs and the Chromium-based browsers follow, in the form KDE's own proxy page writes it
// ("http://host port"). Every other group, key, comment and blank line of the file stays as it was, and so does
// its line end. The settings-changed option tells running KDE programs to read the file again (a signal on the
// session bus). A file that cannot be read or written as a whole, and one where KDE would not let the proxy
// change (marked immutable, "[$i]", here or in a system-wide file), is left as it was and the change fails.
class KdeInternetSettings final : public IInternetSettings {
public:
    // `configDir` is where "kioslaverc" lies ($XDG_CONFIG_HOME, else ~/.config); `systemDirs` hold the
    // system-wide files that KDE reads first and an administrator locks settings in ($XDG_CONFIG_DIRS, else
    // /etc/xdg).
    explicit KdeInternetSettings(const std::string& configDir = DefaultConfigDir(),
                                 std::vector<std::string> systemDirs = DefaultSystemDirs());

    bool SetOption(int option, const InternetOptionList& list) override;
    std::optional<std::string> ReadDialUpProfileName() override { return std::nullopt; }
    ProxyLoginFate LoginFate() const override { return m_fate; }

    const std::string& FilePath() const { return m_path; }

    static std::string DefaultConfigDir();
    static std::vector<std::string> DefaultSystemDirs();
    // Whether KDE keeps the proxy as this file has it, by its immutability marks: "[$i]" on a line of its own
    // (the whole file; KDE's own writer then leaves the file alone), "[Proxy Settings][$i]" (the group), or a
    // proxy key marked "key[$i]=" (also with other flags, "[$ie]").
    static bool LocksProxy(const std::string& file);
    // The file's bytes with the proxy keys set: ProxyType 1 (manual) or 0 (none), httpProxy, httpsProxy and
    // ftpProxy from the "host:port" text. The keys are replaced where they stand, or added to the group,
    // which is added at the end when the file has none. Lines written end as the file's lines do (CR LF when its
    // first line does).
    // `socksToo`: the SOCKS key names the same proxy as the HTTP ones (a proxy that speaks both).
    static std::string WithProxy(const std::string& file, bool useProxy, const std::string& proxyServer,
                                 bool socksToo = false);

private:
    std::string m_path;
    std::vector<std::string> m_systemDirs;
    ProxyLoginFate m_fate;
};

} // namespace zandel
