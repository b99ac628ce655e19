#pragma once

#include <optional>
#include <string>

#include "core/proxy/InternetSettings.h"

namespace zandel {

// The browser's proxy on KDE Plasma: the [Proxy Settings] group of "kioslaverc" in the user's config folder,
// which KDE programs and the Chromium-based browsers follow, in the form KDE's own proxy page writes it
// ("http://host port"). Every other group, key, comment and blank line of the file stays as it was. The
// settings-changed option tells running KDE programs to read the file again (a signal on the session bus).
// A file that cannot be read or written as a whole leaves everything as it was and says nothing.
class KdeInternetSettings final : public IInternetSettings {
public:
    // `configDir` is where "kioslaverc" lies ($XDG_CONFIG_HOME, else ~/.config).
    explicit KdeInternetSettings(const std::string& configDir = DefaultConfigDir());

    void SetOption(int option, const InternetOptionList& list) override;
    std::optional<std::string> ReadDialUpProfileName() override { return std::nullopt; }

    const std::string& FilePath() const { return m_path; }

    static std::string DefaultConfigDir();
    // The file's bytes with the proxy keys set: ProxyType 1 (manual) or 0 (none), httpProxy, httpsProxy and
    // ftpProxy from the "host:port" text. The keys are replaced where they stand, or added to the group,
    // which is added at the end when the file has none.
    static std::string WithProxy(const std::string& file, bool useProxy, const std::string& proxyServer);

private:
    std::string m_path;
};

} // namespace zandel
