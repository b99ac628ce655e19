#pragma once

#include <functional>
#include <string>

#include "core/frame/CommandDispatcher.h"

namespace zandel {

class ProxyListDocument;
class IFileDialogs;
class IMessageService;
class IRecentFiles;
class IUrlFetcher;
struct FetchResult;

// What opening a list from the web needs of the window around the file commands.
struct UrlServices {
    IUrlFetcher& fetcher;
    IMessageService& messages;
    // The remembered choice of fetching through the desktop's current proxy; the dialog changes it.
    bool& viaProxy;
    // The desktop's current proxy as the proxy bar holds it, or "" while the bar's proxy is off.
    std::function<std::string()> currentProxy;
    // False while the list may not be replaced (a check is running).
    std::function<bool()> canReplace;
};

// The File menu's commands over the list document: new, open, append, the saves with and without check
// results and the recent files. Each load or save names its mode; the document is back at mode 1 after it.
class FileCommands final {
public:
    // Without `urls` the commands that open a list from the web do nothing. `busy`: a run holds the list, and
    // the commands that need idle do nothing.
    FileCommands(ProxyListDocument& document, IFileDialogs& dialogs, IRecentFiles& recent, UrlServices* urls = nullptr,
                 std::function<bool()> busy = {});
    FileCommands(const FileCommands&) = delete;
    FileCommands& operator=(const FileCommands&) = delete;

    // Carries out a File menu command (the recent files included); false for any other id.
    bool OnCommand(int id);
    const CommandBindings& Bindings() const { return m_bindings; }

    void New();
    void Open();
    // Asks for a URL, then fetches the list off the user-interface thread and opens it as Open does; the
    // document has no file name afterwards and the URL becomes a recent file.
    void OpenUrl();
    // Whether a list is being fetched; another open, New or closing the window gives it up.
    bool FetchPending() const { return !m_pendingUrl.empty(); }
    void CancelFetch();
    // For a schedule: fetches the URL the list came from once more and merges what comes (see MergeListText),
    // telling the user nothing; `done` hears how it went. False, with nothing started, when the list came from
    // no URL or a fetch is under way.
    using RefetchDone = std::function<void(bool merged, const std::string& why)>;
    bool RefetchUrl(RefetchDone done = {});
    // The URL the list was opened from, "" for a file or a new list.
    const std::string& ListUrl() const { return m_listUrl; }
    // Adds another file's rows; the document keeps its own name and becomes modified.
    void Append();
    // The framework's Save: a document without a name is saved through Save As.
    bool Save();
    bool SaveAs();
    // One of the saves without check results (save modes 2 to 5); name and title stay.
    void SaveWithoutResults(int saveMode);
    // The list with its results as CSV or JSON, chosen by the extension of the name the user gives.
    void Export();
    // A list named on the command line or kept from the last run: no question, replacing the list.
    bool OpenPath(const std::string& path);
    // Entry `index` of the recent-file list; a file that cannot be opened leaves the list, a URL is fetched
    // again and stays whatever comes of it, the web being down for a while as often as gone.
    void OpenRecent(int index);

private:
    std::string ProposedName() const;
    bool FetchList(const std::string& url, bool viaProxy, RefetchDone refetched = {});
    void Fetched(const std::string& url, const FetchResult& result);
    void Refetched(const std::string& url, const FetchResult& result, const RefetchDone& done);

    ProxyListDocument& m_document;
    IFileDialogs& m_dialogs;
    IRecentFiles& m_recent;
    UrlServices* m_urls;
    std::string m_pendingUrl;
    std::string m_lastUrl; // offered again by the URL dialog
    std::string m_listUrl;
    CommandBindings m_bindings;
};

} // namespace zandel
