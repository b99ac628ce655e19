#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/SettingRanges.h"
#include "core/settings/TimeOut.h"
#include "core/util/FileIo.h"

namespace zandel {

class IniFile;

inline constexpr int kListSlots = 50;
inline constexpr const char* kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)";
// The desktop's URL opener starts the user's preferred browser.
inline constexpr const char* kDefaultBrowserPath = "/usr/bin/xdg-open";

// The four access URLs offered when the user has none of their own. Hosts reserved for documentation:
// the user points Zandel at a judge of their own (res/envchk.cgi) on the access URL page.
inline constexpr std::array<const char*, 4> kDefaultAccessUrls = {
    "http://www.example.com/index.html",
    "http://www.example.org/index.html",
    "http://judge.example.net/cgi-bin/envchk.cgi",
    "http://judge.example.com/envchk.cgi",
};
inline constexpr const char* kDefaultWebPage = kDefaultAccessUrls[2];

inline constexpr const char* kSettingsFileName = "PrxSet.ini";
inline constexpr const char* kChainFileName = "Access.ini";
inline constexpr const char* kFavouritesFileName = "USER2.DAT";
inline constexpr const char* kUserAgentFileName = "USER.DAT";
inline constexpr int kMaxUserAgents = 100;

enum class SettingsList { Favourites, ChainProxies, ChainUrls, WebPageList };

// Proxies checked at once by zandel-check's --jobs, which may go further than the window's setting
// (ParallelChecks) for the long lists of a server.
inline constexpr int kMaxConsoleParallelChecks = 10000;
// The rows the list holds unless the user raises it ([List] MaxRows), and while it is not raised the most proxies
// checked at once.
inline constexpr int kListRowsDefault = 1000;
inline constexpr int kParallelChecksSmallList = 1000;

// The main window's outer rectangle in screen pixels; [Window] of "PrxSet.ini".
struct WindowRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    // A rectangle of zero or negative width or height means that no placement was saved.
    // Compared, not subtracted: a file may hold values whose difference overflows an int.
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const WindowRect&) const = default;
};

// The one settings record. Fields are named after their keys; texts are bytes (Shift-JIS from the Windows
// program, UTF-8 from ours) of at most 259 bytes once they have passed through a file. The fields kept in
// "PrxSet.ini" take their defaults, keys and bounds from its row in the settings table (SettingsTable.h).
struct AppSettings {
    AppSettings();

    int TimeOut{};
    int ParallelChecks{}; // proxies checked at once
    std::string HttpVer;
    std::string BwPath;
    bool BwUrlOn{};
    std::string BwUrl;
    bool TaskTray{};
    bool TaskTrayOpen{};
    bool FavoOn{};
    bool FavoSel{};
    bool OpenCheck{};
    bool ProxyOn{};
    std::string ProxyAddr;
    bool ForegroundWindow{};
    std::string ProxyFile;
    bool UserAgentOn{};
    std::string UserAgent;
    std::string WebPage;
    std::string AccessUrl;
    std::string Addr1;
    std::string Addr2;
    std::string Addr3;
    // The HTTPS step of a check: a TLS connection through the proxy's CONNECT tunnel to HttpsTarget
    // (host:port; empty for the access URL's host on port 443).
    bool HttpsCheckOn{};
    std::string HttpsTarget;
    // Strict grading against a direct request to the judge, and the signed judge's key. The key is a secret shared
    // with the judge and never shown in the transcript.
    bool JudgeStrict{};
    std::string JudgeKey;
    // Every run asks the judge directly first and looks for our address by value in every page; off, it grades by
    // the header names alone.
    bool JudgeBaseline{};
    // A second judge the run moves to when the first stops answering.
    std::string JudgeFallback;
    // A plain "host:port" entry that does not answer as an HTTP proxy is tried as SOCKS5, then SOCKS4.
    bool DetectProxyType{};
    // A list opened from a URL is fetched through the desktop's current proxy rather than directly.
    bool ListUrlViaProxy{};
    // Re-checks of the desktop's proxy and the favourites every AutoRecheckMinutes, and the switch to a live
    // favourite when the desktop's proxy dies; with RefetchList a list opened from a URL is fetched again and
    // checked in the same rounds. How many days the history keeps.
    bool AutoRecheck{};
    int AutoRecheckMinutes{};
    bool Failover{};
    bool RefetchList{};
    int HistoryKeepDays{};
    // The list's uptime and median columns.
    bool HistoryColumns{};
    // While a run goes, the list keeps its first running row in view.
    bool FollowRun{};
    // The most rows the list takes; raised, a run may also check up to kMaxConsoleParallelChecks at once.
    int MaxRows{};
    // The address column's width as the user last set it; 0 while the column fits itself to the addresses.
    int AddressColumnWidth{};
    // The local proxy ([Serve]): where it listens, whose rows it carries clients through ("live": the list's live
    // rows, "favourites": the live favourites), how it chooses an upstream and how often it tries another, and the
    // login its clients give, kept as the judge's key is, in a file that is the user's alone.
    std::string ServeListen;
    std::string ServePoolRows;
    std::string ServeStrategyName;
    int ServeTries{};
    int ServeSticky{};
    int ServeMaxClients{};
    std::string ServePorts;
    bool ServeAllowLeaky{};
    std::string ServeUser;
    std::string ServePassword;
    // The offline databases of where a proxy leaves to the Internet (files, and where each is fetched from), how
    // many days old they may grow before they are fetched again, when they last were (UTC, ISO 8601), the hosting
    // networks behind the data-centre mark (empty: the program's own list) and whether the list shows the columns.
    std::string GeoCountryFile;
    std::string GeoAsnFile;
    std::string GeoCountryUrl;
    std::string GeoAsnUrl;
    int GeoRefreshDays{};
    std::string GeoDatacenterFile;
    std::string GeoLastDownload;
    bool GeoColumns{};
    // A second look at every proxy that passed, TwicePause seconds after the run's checks.
    bool TwiceOn{};
    int TwicePause{};
    // The sites fetched through each proxy that passes, each "URL[=KEYWORD]" as the user wrote it ([Sites] Site0, …,
    // the same texts as zandel-check's --site), and whether the list shows a column for each.
    std::vector<std::string> Sites;
    bool SiteColumns{};
    const std::string DefaultUserAgent = kDefaultUserAgent;
    // The working directory at start-up: "PrxSet.ini", "Access.ini" and "USER2.DAT" lie here.
    std::string StartDir = ".";
    // False when StartDir is a settings folder of another user: none of its files is read or written.
    bool UsesStartDirFiles = true;
    // The main window's outer rectangle, handed over when the window goes; SaveSettings writes it as [Window].
    std::optional<WindowRect> Window;

    std::array<std::string, kListSlots> Favourites;
    std::array<std::string, kListSlots> ChainProxies;
    std::array<std::string, kListSlots> ChainUrls;
    std::array<std::string, kListSlots> WebPageList;

    std::array<std::string, kListSlots>& List(SettingsList list);
    const std::array<std::string, kListSlots>& List(SettingsList list) const;
};

// Slot i of a list, or the empty text when i is outside 0..49.
std::string GetListEntry(const AppSettings& settings, SettingsList list, int index);
// Copies the value (cut to 259 bytes) into slot i; nothing when i is outside 0..49.
void SetListEntry(AppSettings& settings, SettingsList list, const std::string& value, int index);
// A list's entries are the slots from 0 up to the first empty one.
int CountListEntries(const AppSettings& settings, SettingsList list);
std::vector<std::string> ListEntries(const AppSettings& settings, SettingsList list);
void ClearList(AppSettings& settings, SettingsList list);

// The list loaded last becomes `ProxyFile`. A name "PrxSet.ini" cannot hold (a line feed, more than 259
// bytes) would come back as another name, so none is kept then.
void RecordProxyFile(AppSettings& settings, const std::string& path);

// `dir` joined with a file name.
std::string PathInDir(const std::string& dir, const std::string& fileName);
// A settings file in StartDir, or nothing when the files there are not to be used. Every reader and writer of
// StartDir's files below asks here, so that all of them leave a settings folder of another user alone.
std::optional<std::string> StartDirFile(const AppSettings& settings, const char* fileName);

// The most proxies the window checks at once for a list of at most `maxRows` rows.
inline int MostParallelChecks(int maxRows) {
    return maxRows > kListRowsDefault ? kMaxConsoleParallelChecks : kParallelChecksSmallList;
}

// "PrxSet.ini" in StartDir, every section but [Window]. A missing file or key keeps the field as it is.
bool LoadSettings(AppSettings& settings);
// Replaces "PrxSet.ini" in StartDir, in one step, with [Window] from `Window` followed by every other section,
// so that no key of an earlier run survives and a failed write leaves the old file whole. Without a window
// rectangle the old file's [Window] is kept. False when the file cannot be written.
bool SaveSettings(const AppSettings& settings);

// [Sites] Site0, Site1, …: the first empty or missing key ends them, and no more than kListSlots are read (a site
// that cannot be fetched, or one past kMaxSites, is left out where the sites are used, which says so). Written only
// while there are sites, so that a file of a user who names none stays as it always was.
void ReadSites(const IniFile& ini, AppSettings& settings);
void WriteSites(IniFile& ini, const AppSettings& settings);

// Indexed keys prefix0, prefix1, ... of one section; the first empty or missing key ends the list.
void ReadIniList(const std::string& path, const std::string& section, const std::string& prefix, AppSettings& settings,
                 SettingsList list);
bool WriteIniList(const std::string& path, const std::string& section, const std::string& prefix,
                  const AppSettings& settings, SettingsList list);
// The same on a document in memory. Reading clears the list first; writing also drops indexed keys beyond
// the list's end, so that a shorter list never reads back with the tail of an older one.
void ReadIniList(const IniFile& ini, const std::string& section, const std::string& prefix, AppSettings& settings,
                 SettingsList list);
void WriteIniList(IniFile& ini, const std::string& section, const std::string& prefix, const AppSettings& settings,
                  SettingsList list);

// "Access.ini" [ADDR1] and [ADDR2] with prefix "No".
void ReadChainLists(AppSettings& settings);
// Replaces "Access.ini" with both lists, nothing of the old file kept; no file when both are empty. The old
// file stays whole until the new one is on disk.
bool WriteChainLists(const AppSettings& settings);

// "USER2.DAT" in StartDir, one favourite per line. Reading clears the 50 slots first and passes over empty
// lines, since an empty slot would end the list there.
void ReadFavourites(AppSettings& settings);
bool WriteFavourites(const AppSettings& settings);

// Line-per-entry list files ("USER2.DAT", "USER.DAT"). Entries may be empty and may repeat. A line ends at LF
// (a CR before it is dropped); a last line without one still counts; a longer line keeps its first 259 bytes.
// Like every settings file, one of another user (root aside) reads as missing and is never written over.
struct LineListReadResult {
    std::vector<std::string> entries;
    bool hitLimit = false; // reading stopped because `limit` entries were held
};
LineListReadResult ReadLineListFile(const std::string& path, int limit);
// Writes every entry followed by CR LF, replacing the file only once the whole text is on disk.
FileResult WriteLineListFile(const std::string& path, const std::vector<std::string>& entries);

// [Window] of "PrxSet.ini" in StartDir; an empty rectangle when there is none to read.
WindowRect ReadWindowRect(const AppSettings& settings);
// [Window] Left, Top, Bottom, Right into the document.
void WriteWindowRect(IniFile& ini, const WindowRect& rect);

} // namespace zandel
