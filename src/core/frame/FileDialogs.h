#pragma once

#include <optional>
#include <string>

namespace zandel {

// A list to open from the web, and whether to fetch it through the desktop's current proxy.
struct UrlChoice {
    std::string url;
    bool viaProxy = false;
};

// The login a list's server asks for.
struct UrlLogin {
    std::string user;
    std::string password;
};

// The open and save dialogs of the list files, each over the main window; tests answer in place of the user.
class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // A file that exists; none when the user cancels.
    virtual std::optional<std::string> GetOpenPath() = 0;
    // A file to write, "txt" added when the name has no extension, overwriting confirmed; none on cancel.
    virtual std::optional<std::string> GetSavePath(const std::string& proposed) = 0;
    // A file to export to, offering CSV and JSON: the chosen type's extension is added when the name has none.
    virtual std::optional<std::string> GetExportPath(const std::string& proposed) = 0;
    // A URL to open a list from, starting from `proposed` and the proxy choice `viaProxy`; none on cancel.
    virtual std::optional<UrlChoice> GetOpenUrl(const std::string& proposed, bool viaProxy) = 0;
    // The login for `shownUrl`, whose server asked for one, starting from `user`; none on cancel.
    virtual std::optional<UrlLogin> GetUrlLogin(const std::string& shownUrl, const std::string& user) = 0;
};

} // namespace zandel
