#include "platform/KdeInternetSettings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include <gio/gio.h>
#include <sys/stat.h>

#include "core/settings/AppSettings.h"
#include "core/proxy/ProxyServerText.h"
#include "core/util/FileIo.h"

namespace zandel {

namespace {

constexpr const char* kGroup = "[Proxy Settings]";
// A config file is a few kilobytes; one far past that is not one we should rewrite.
constexpr off_t kMaxFileBytes = off_t{16} * 1024 * 1024;

// KConfig's escapes, so that whatever the proxy bar holds reads back as the same text.
std::string EscapeValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == ' ' && (i == 0 || i + 1 == value.size())) {
            out += "\\s";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A line without its line end, and that end: LF, CR LF, or nothing for a last line without one.
struct Line {
    std::string text;
    std::string end;
};

std::vector<Line> SplitLines(const std::string& file) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < file.size()) {
        const auto lf = file.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back({file.substr(start), {}});
            break;
        }
        const bool crlf = lf > start && file[lf - 1] == '\r';
        lines.push_back({file.substr(start, lf - start - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        start = lf + 1;
    }
    return lines;
}

// The file's own line end, from its first line: a file written on Windows stays CR LF throughout.
std::string LineEndOf(const std::string& file) {
    const auto lf = file.find('\n');
    return lf != std::string::npos && lf > 0 && file[lf - 1] == '\r' ? "\r\n" : "\n";
}

bool IsGroupLine(const std::string& line) {
    const std::string t = Trimmed(line);
    return !t.empty() && t.front() == '[';
}

// The key a line sets, without KConfig's flags or locale ("key[$i]"): those variants are left alone.
std::string KeyOf(const std::string& line) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) {
        return {};
    }
    return Trimmed(line.substr(0, eq));
}

constexpr std::array<const char*, 5> kProxyKeys = {"ProxyType", "httpProxy", "httpsProxy", "ftpProxy", "socksProxy"};
constexpr std::size_t kSocksKey = 4;

// "httpProxy[$i]=...", also with a locale or other flags: KConfig takes every "[$...]" after the name as flags.
bool IsLockedProxyKey(const std::string& line) {
    const std::string key = KeyOf(line);
    const auto bracket = key.find('[');
    if (bracket == std::string::npos ||
        std::find(kProxyKeys.begin(), kProxyKeys.end(), key.substr(0, bracket)) == kProxyKeys.end()) {
        return false;
    }
    for (auto open = bracket; open != std::string::npos; open = key.find('[', open + 1)) {
        const auto close = key.find(']', open);
        if (close == std::string::npos) {
            break;
        }
        const std::string part = key.substr(open + 1, close - open - 1);
        if (!part.empty() && part[0] == '$' && part.find('i') != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The whole file, or nothing when it is missing; none when it cannot be taken in whole.
std::optional<std::string> ReadConfigFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    std::string file;
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes || !ReadWholeFile(path, file).ok) {
        return std::nullopt;
    }
    return file;
}

} // namespace

KdeInternetSettings::KdeInternetSettings(const std::string& configDir, std::vector<std::string> systemDirs)
    : m_path(PathInDir(configDir, "kioslaverc")), m_systemDirs(std::move(systemDirs)) {}

std::string KdeInternetSettings::DefaultConfigDir() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return config;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::vector<std::string> KdeInternetSettings::DefaultSystemDirs() {
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::vector<std::string> found;
    std::istringstream names(dirs != nullptr && dirs[0] != '\0' ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(names, dir, ':');) {
        if (!dir.empty() && dir[0] == '/') {
            found.push_back(dir);
        }
    }
    return found;
}

bool KdeInternetSettings::LocksProxy(const std::string& file) {
    bool inGroup = false;
    for (const Line& line : SplitLines(file)) {
        const std::string t = Trimmed(line.text);
        if (t.empty() || t[0] == '#') {
            continue;
        }
        if (t[0] == '[') {
            // KConfig takes a "[$i]" line as the whole file's mark wherever it stands, not only on the first line.
            if (t == "[$i]" || t == std::string(kGroup) + "[$i]") {
                return true;
            }
            inGroup = t == kGroup;
            continue;
        }
        if (inGroup && IsLockedProxyKey(t)) {
            return true;
        }
    }
    return false;
}

std::string KdeInternetSettings::WithProxy(const std::string& file, bool useProxy, const std::string& proxyServer,
                                           bool socksToo) {
    const ProxyServerParts parts = ParseProxyServer(proxyServer);
    const bool socks = IsSocks(parts.kind);
    std::string address;
    if (!parts.host.empty()) {
        address = std::string(socks ? "socks://" : "http://") + parts.host +
                  (parts.port != 0 ? " " + std::to_string(parts.port) : "");
    }
    const std::string http = socks ? std::string() : EscapeValue(address);
    // In the order of kProxyKeys. A SOCKS proxy carries every protocol, so the HTTP keys go empty; an HTTP proxy
    // empties a SOCKS key set before it, and adds none where there was none; one that speaks SOCKS too is both.
    const bool socksKey = socks || socksToo;
    const std::string socksAddress =
        socksKey && !parts.host.empty()
            ? "socks://" + parts.host + (parts.port != 0 ? " " + std::to_string(parts.port) : "")
            : std::string();
    const std::array<std::string, kProxyKeys.size()> values = {useProxy ? "1" : "0", http, http, http,
                                                               EscapeValue(socksAddress)};
    std::array<bool, kProxyKeys.size()> written{};
    written[kSocksKey] = !socksKey;
    bool socksReplaced = false;

    const std::string lineEnd = LineEndOf(file);
    std::vector<Line> out;
    bool inGroup = false;
    bool sawGroup = false;
    auto addMissing = [&] {
        for (std::size_t k = 0; k < kProxyKeys.size(); ++k) {
            if (!written[k]) {
                out.push_back({std::string(kProxyKeys[k]) + "=" + values[k], lineEnd});
                written[k] = true;
            }
        }
    };
    for (const Line& line : SplitLines(file)) {
        if (IsGroupLine(line.text)) {
            if (inGroup) {
                // The new keys go right after the group's own lines, before the blank lines that part it from
                // the next group.
                std::vector<Line> blanks;
                while (!out.empty() && Trimmed(out.back().text).empty()) {
                    blanks.push_back(out.back());
                    out.pop_back();
                }
                addMissing();
                out.insert(out.end(), blanks.rbegin(), blanks.rend());
            }
            inGroup = Trimmed(line.text) == kGroup;
            sawGroup = sawGroup || inGroup;
            out.push_back(line);
            continue;
        }
        if (inGroup) {
            const std::string key = KeyOf(line.text);
            bool replaced = false;
            for (std::size_t k = 0; k < kProxyKeys.size() && !replaced; ++k) {
                if (key == kProxyKeys[k]) {
                    if (!written[k] || (k == kSocksKey && !socksReplaced)) {
                        out.push_back({std::string(kProxyKeys[k]) + "=" + values[k], line.end});
                        written[k] = true;
                        socksReplaced = socksReplaced || k == kSocksKey;
                    }
                    replaced = true; // a second line for the same key would override ours: drop it
                }
            }
            if (replaced) {
                continue;
            }
        }
        out.push_back(line);
    }
    if (inGroup) {
        addMissing();
    }
    if (!sawGroup) {
        if (!out.empty() && !Trimmed(out.back().text).empty()) {
            out.push_back({{}, lineEnd});
        }
        out.push_back({kGroup, lineEnd});
        addMissing();
    }
    std::string text;
    for (const Line& line : out) {
        text += line.text;
        text += line.end.empty() ? lineEnd : line.end;
    }
    return text;
}

bool KdeInternetSettings::SetOption(int option, const InternetOptionList& list) {
    if (option == kOptionSettingsChanged) {
        // Without a session bus there is nobody to tell; never start one for this.
        const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (address == nullptr || address[0] == '\0') {
            return true;
        }
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (bus == nullptr) {
            g_clear_error(&error);
            return true;
        }
        g_dbus_connection_emit_signal(bus, nullptr, "/KIO/Scheduler", "org.kde.KIO.Scheduler",
                                      "reparseSlaveConfiguration", g_variant_new("(s)", ""), nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
        return true;
    }
    if (option != kOptionPerConnection || list.connection) {
        return true;
    }
    m_fate = {};
    // What an administrator locked system-wide, KDE takes from there whatever the user's file says.
    for (const std::string& dir : m_systemDirs) {
        const auto system = ReadConfigFile(PathInDir(dir, "kioslaverc"));
        if (system && LocksProxy(*system)) {
            return false;
        }
    }
    // What cannot be read whole must not be replaced by a part of it; what KDE keeps as it is, neither.
    const auto file = ReadConfigFile(m_path);
    if (!file || LocksProxy(*file)) {
        return false;
    }
    const bool use = list.flags == kProxyTypeProxy;
    if (!WriteFileAtomically(m_path, WithProxy(*file, use, list.proxyServer, list.socksToo)).ok) {
        return false;
    }
    // KDE keeps no proxy login: the proxy is used without it.
    m_fate.leftOut = use && ParseProxyServer(list.proxyServer).login;
    return true;
}

} // namespace zandel
