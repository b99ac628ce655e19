// The settings files besides the main record: the chain lists, the favourites, the User-Agent list and the
// window rectangle.

#include "core/settings/AppSettings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "core/settings/IniFile.h"
#include "core/util/FileIo.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Hands each line of the file to `take` (line end removed, cut to 259 bytes) until it returns false. The file
// is read in pieces and a long line is never held whole, so a huge or binary file costs no more than its
// first entries. A last line without a line end counts like any other. False when the file cannot be read; another
// user's file is not read at all.
bool ForEachLine(const std::string& path, const std::function<bool(std::string)>& take) {
    int error = 0;
    UniqueFd fd = OpenTrustedFile(path, error);
    if (!fd.IsOpen()) {
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd.Get(), "rb"));
    if (!file) {
        return false;
    }
    fd.Release();
    std::string piece;        // the line's first bytes, at most 259
    std::size_t lineSize = 0; // the whole line so far
    char lastByte = '\0';
    const auto endLine = [&]() {
        // A CR before the LF belongs to the line end, not to the entry.
        const std::size_t contentSize = lineSize - (lastByte == '\r' ? 1 : 0);
        std::string entry = piece.substr(0, std::min(contentSize, piece.size()));
        piece.clear();
        lineSize = 0;
        lastByte = '\0';
        return take(std::move(entry));
    };

    char buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        const char* cursor = buffer;
        const char* const end = buffer + n;
        while (cursor < end) {
            const auto* lf =
                static_cast<const char*>(std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor)));
            const char* segmentEnd = lf != nullptr ? lf : end;
            const auto segmentSize = static_cast<std::size_t>(segmentEnd - cursor);
            if (segmentSize > 0) {
                piece.append(cursor, std::min(segmentSize, kMaxFieldText - piece.size()));
                lineSize += segmentSize;
                lastByte = segmentEnd[-1];
            }
            if (lf == nullptr) {
                break;
            }
            if (!endLine()) {
                return true;
            }
            cursor = lf + 1;
        }
        if (n < sizeof buffer) {
            break;
        }
    }
    if (lineSize > 0) {
        endLine();
    }
    return std::ferror(file.get()) == 0;
}

constexpr const char* kChainProxiesSection = "ADDR1";
constexpr const char* kChainUrlsSection = "ADDR2";
constexpr const char* kChainPrefix = "No";
constexpr const char* kWindowSection = "Window";

} // namespace

void ReadChainLists(AppSettings& settings) {
    const auto path = StartDirFile(settings, kChainFileName);
    const IniFile ini = path ? IniFile::Load(*path) : IniFile();
    ReadIniList(ini, kChainProxiesSection, kChainPrefix, settings, SettingsList::ChainProxies);
    ReadIniList(ini, kChainUrlsSection, kChainPrefix, settings, SettingsList::ChainUrls);
}

bool WriteChainLists(const AppSettings& settings) {
    const auto file = StartDirFile(settings, kChainFileName);
    if (!file) {
        return false;
    }
    const std::string& path = *file;
    // A fresh document stands for deleting the file first: no key of an earlier run survives, yet the old
    // file stays whole until the new one is on disk.
    IniFile ini;
    WriteIniList(ini, kChainProxiesSection, kChainPrefix, settings, SettingsList::ChainProxies);
    WriteIniList(ini, kChainUrlsSection, kChainPrefix, settings, SettingsList::ChainUrls);
    if (ini.Text().empty()) {
        return RemoveTrustedFile(path);
    }
    return ini.Save(path);
}

void ReadFavourites(AppSettings& settings) {
    ClearList(settings, SettingsList::Favourites);
    const auto path = StartDirFile(settings, kFavouritesFileName);
    if (!path) {
        return;
    }
    int slot = 0;
    ForEachLine(*path, [&](const std::string& entry) {
        if (entry.empty()) {
            return true;
        }
        SetListEntry(settings, SettingsList::Favourites, entry, slot++);
        return slot < kListSlots;
    });
}

bool WriteFavourites(const AppSettings& settings) {
    const auto path = StartDirFile(settings, kFavouritesFileName);
    return path && WriteLineListFile(*path, ListEntries(settings, SettingsList::Favourites)).ok;
}

LineListReadResult ReadLineListFile(const std::string& path, int limit) {
    LineListReadResult result;
    if (limit <= 0) {
        return result;
    }
    const auto size = static_cast<std::size_t>(limit);
    ForEachLine(path, [&](std::string entry) {
        result.entries.push_back(std::move(entry));
        return result.entries.size() < size;
    });
    result.hitLimit = result.entries.size() == size;
    return result;
}

FileResult WriteLineListFile(const std::string& path, const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        // A line feed inside an entry would read back as two entries.
        text.append(entry, 0, entry.find('\n'));
        text += "\r\n";
    }
    return WriteTrustedFile(path, text);
}

WindowRect ReadWindowRect(const AppSettings& settings) {
    const auto path = StartDirFile(settings, kSettingsFileName);
    const IniFile ini = path ? IniFile::Load(*path) : IniFile();
    WindowRect rect;
    rect.Left = ini.GetInt(kWindowSection, "Left", 0);
    rect.Top = ini.GetInt(kWindowSection, "Top", 0);
    rect.Right = ini.GetInt(kWindowSection, "Right", 0);
    rect.Bottom = ini.GetInt(kWindowSection, "Bottom", 0);
    return rect;
}

void WriteWindowRect(IniFile& ini, const WindowRect& rect) {
    ini.Set(kWindowSection, "Left", std::to_string(rect.Left));
    ini.Set(kWindowSection, "Top", std::to_string(rect.Top));
    ini.Set(kWindowSection, "Bottom", std::to_string(rect.Bottom));
    ini.Set(kWindowSection, "Right", std::to_string(rect.Right));
}

} // namespace zandel
