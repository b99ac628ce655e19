#include "platform/KdeInternetSettings.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include <gio/gio.h>
#include <sys/stat.h>

#include "core/app/AppSettings.h"
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

std::vector<std::string> SplitLines(const std::string& file) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < file.size()) {
        const auto end = file.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(file.substr(start));
            break;
        }
        lines.push_back(file.substr(start, end - start));
        start = end + 1;
    }
    return lines;
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

} // namespace

KdeInternetSettings::KdeInternetSettings(const std::string& configDir) : m_path(PathInDir(configDir, "kioslaverc")) {}

std::string KdeInternetSettings::DefaultConfigDir() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return config;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::string KdeInternetSettings::WithProxy(const std::string& file, bool useProxy, const std::string& proxyServer) {
    const ProxyServerParts parts = ParseProxyServer(proxyServer);
    std::string address;
    if (!parts.host.empty()) {
        address = "http://" + parts.host + (parts.port != 0 ? " " + std::to_string(parts.port) : "");
    }
    std::array<std::pair<std::string, std::string>, 4> keys = {{
        {"ProxyType", useProxy ? "1" : "0"},
        {"httpProxy", EscapeValue(address)},
        {"httpsProxy", EscapeValue(address)},
        {"ftpProxy", EscapeValue(address)},
    }};
    std::array<bool, keys.size()> written{};

    std::vector<std::string> lines = SplitLines(file);
    std::vector<std::string> out;
    out.reserve(lines.size() + keys.size() + 2);
    bool inGroup = false;
    bool sawGroup = false;
    auto addMissing = [&] {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (!written[k]) {
                out.push_back(keys[k].first + "=" + keys[k].second);
                written[k] = true;
            }
        }
    };
    for (const std::string& line : lines) {
        if (IsGroupLine(line)) {
            if (inGroup) {
                // The new keys go right after the group's own lines, before the blank lines that part it from
                // the next group.
                std::vector<std::string> blanks;
                while (!out.empty() && Trimmed(out.back()).empty()) {
                    blanks.push_back(out.back());
                    out.pop_back();
                }
                addMissing();
                out.insert(out.end(), blanks.rbegin(), blanks.rend());
            }
            inGroup = Trimmed(line) == kGroup;
            sawGroup = sawGroup || inGroup;
            out.push_back(line);
            continue;
        }
        if (inGroup) {
            const std::string key = KeyOf(line);
            bool replaced = false;
            for (std::size_t k = 0; k < keys.size() && !replaced; ++k) {
                if (key == keys[k].first) {
                    if (!written[k]) {
                        out.push_back(keys[k].first + "=" + keys[k].second);
                        written[k] = true;
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
        if (!out.empty() && !Trimmed(out.back()).empty()) {
            out.emplace_back();
        }
        out.emplace_back(kGroup);
        addMissing();
    }
    std::string text;
    for (const std::string& line : out) {
        text += line;
        text += '\n';
    }
    return text;
}

void KdeInternetSettings::SetOption(int option, const InternetOptionList& list) {
    if (option == kOptionSettingsChanged) {
        // Without a session bus there is nobody to tell; never start one for this.
        const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (address == nullptr || address[0] == '\0') {
            return;
        }
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (bus == nullptr) {
            g_clear_error(&error);
            return;
        }
        g_dbus_connection_emit_signal(bus, nullptr, "/KIO/Scheduler", "org.kde.KIO.Scheduler",
                                      "reparseSlaveConfiguration", g_variant_new("(s)", ""), nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
        return;
    }
    if (option != kOptionPerConnection || list.connection) {
        return;
    }
    struct stat st {};
    std::string file;
    if (::stat(m_path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes || !ReadWholeFile(m_path, file).ok) {
            return; // what cannot be read whole must not be replaced by a part of it
        }
    }
    WriteFileAtomically(m_path, WithProxy(file, list.flags == kProxyTypeProxy, list.proxyServer));
}

} // namespace zandel
