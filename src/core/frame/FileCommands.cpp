#include "core/frame/FileCommands.h"

#include <utility>

#include "core/util/MessageService.h"
#include "core/util/Texts.h"
#include "core/fetch/ListFetcher.h"
#include "core/frame/CommandIds.h"
#include "core/frame/FileDialogs.h"
#include "core/frame/ListUrl.h"
#include "core/frame/RecentFiles.h"
#include "core/list/CheckExport.h"
#include "core/list/ProxyListDocument.h"
#include "core/list/ListFile.h"
#include "core/util/Text.h"

namespace zandel {

namespace {

constexpr long kHttpUnauthorized = 401;

// A URL pasted from a page often brings a blank or a line end along.
std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

FileCommands::FileCommands(ProxyListDocument& document, IFileDialogs& dialogs, IRecentFiles& recent, UrlServices* urls,
                           std::function<bool()> busy)
    : m_document(document), m_dialogs(dialogs), m_recent(recent), m_urls(urls), m_bindings(std::move(busy)) {
    m_bindings.Bind(cmd::kFileNew, [this] { New(); });
    m_bindings.Bind(cmd::kFileOpen, [this] { Open(); });
    m_bindings.Bind(cmd::kOpenUrl, [this] { OpenUrl(); });
    m_bindings.Bind(cmd::kAppendFile, [this] { Append(); });
    m_bindings.Bind(cmd::kFileSave, [this] { Save(); });
    m_bindings.Bind(cmd::kFileSaveAs, [this] { SaveAs(); });
    for (const auto& [id, saveMode] : {std::pair{cmd::kSaveAllAddresses, SaveAllAddresses},
                                       {cmd::kSaveNotNG, SaveNotNG},
                                       {cmd::kSaveAnonymous, SaveAnonymousOnly},
                                       {cmd::kSaveNonAnonymous, SaveNonAnonymousOnly},
                                       {cmd::kSaveHttps, SaveHttpsOnly},
                                       {cmd::kSaveHttpProxies, SaveHttpProxiesOnly},
                                       {cmd::kSaveSocksProxies, SaveSocksProxiesOnly}}) {
        m_bindings.Bind(id, [this, mode = saveMode] { SaveWithoutResults(mode); });
    }
    m_bindings.Bind(cmd::kExport, [this] { Export(); });
    m_bindings.BindRange(cmd::kFileMru1, cmd::kFileMru1 + IRecentFiles::kSize - 1, [this](int id) {
        OpenRecent(id - cmd::kFileMru1);
        return true;
    });
}

bool FileCommands::OnCommand(int id) {
    return m_bindings.Run(id);
}

void FileCommands::New() {
    CancelFetch();
    if (m_document.NewList()) {
        m_listUrl.clear();
        m_document.SetTitle(texts::kUntitled);
    }
}

void FileCommands::Open() {
    if (!m_document.AskSaveChanges()) {
        return;
    }
    if (const auto path = m_dialogs.GetOpenPath()) {
        CancelFetch();
        if (m_document.OpenListFile(*path, OpenReplace)) {
            m_listUrl.clear();
        }
    }
}

void FileCommands::OpenUrl() {
    if (m_urls == nullptr || !m_document.AskSaveChanges()) {
        return;
    }
    const auto choice = m_dialogs.GetOpenUrl(m_lastUrl, m_urls->viaProxy);
    if (!choice) {
        return;
    }
    m_urls->viaProxy = choice->viaProxy;
    const std::string url = Trimmed(choice->url);
    // Offered again without its login, which is asked for again when the server wants it.
    m_lastUrl = ShownUrl(url);
    FetchList(url, choice->viaProxy);
}

void FileCommands::CancelFetch() {
    if (m_urls != nullptr && FetchPending()) {
        m_urls->fetcher.Cancel();
        m_pendingUrl.clear();
    }
}

bool FileCommands::FetchList(const std::string& url, bool viaProxy, RefetchDone refetched) {
    const bool quiet = static_cast<bool>(refetched);
    const auto fail = [this, quiet, &refetched](const std::string& message) {
        quiet ? refetched(false, message) : static_cast<void>(ShowOk(m_urls->messages, message));
        return false;
    };
    CancelFetch();
    if (!IsListUrl(url)) {
        return fail(NotListUrlMessage(url));
    }
    FetchOptions options;
    if (viaProxy) {
        // Asked to go through the proxy, the list is never fetched directly behind the user's back.
        const std::string current = m_urls->currentProxy ? m_urls->currentProxy() : std::string();
        options.proxy = FetchProxyOf(current);
        if (!options.proxy) {
            return fail(NoProxyMessage(url));
        }
    }
    m_pendingUrl = url;
    if (quiet) {
        m_urls->fetcher.Start(url, options,
                              [this, url, refetched](const FetchResult& result) { Refetched(url, result, refetched); });
    } else {
        m_urls->fetcher.Start(url, options, [this, url](const FetchResult& result) { Fetched(url, result); });
    }
    return true;
}

bool FileCommands::RefetchUrl(RefetchDone done) {
    if (m_urls == nullptr || m_listUrl.empty() || FetchPending()) {
        return false;
    }
    if (!done) {
        done = [](bool, const std::string&) {};
    }
    return FetchList(m_listUrl, m_urls->viaProxy, std::move(done));
}

void FileCommands::Refetched(const std::string& url, const FetchResult& result, const RefetchDone& done) {
    if (url != m_pendingUrl) {
        return;
    }
    m_pendingUrl.clear();
    if (!result.ok) {
        done(false, FetchFailureMessage(url, result));
    } else if (url != m_listUrl || (m_urls->canReplace && !m_urls->canReplace())) {
        done(false, RunningMessage(url));
    } else {
        done(m_document.MergeListText(result.body), {});
    }
}

void FileCommands::Fetched(const std::string& url, const FetchResult& result) {
    if (url != m_pendingUrl) {
        return;
    }
    m_pendingUrl.clear();
    if (!result.ok && result.failure == FetchFailure::HttpStatus && result.status == kHttpUnauthorized) {
        // The login is kept nowhere (a recent URL comes back without it): asked for here, when the server wants it.
        if (const auto login = m_dialogs.GetUrlLogin(ShownUrl(url), UrlUser(url))) {
            FetchList(UrlWithLogin(url, login->user, login->password), m_urls->viaProxy);
        }
        return;
    }
    if (!result.ok) {
        if (const std::string message = FetchFailureMessage(url, result); !message.empty()) {
            ShowOk(m_urls->messages, message);
        }
        return;
    }
    // A check started while the list was on its way: its results belong to the rows it is checking.
    if (m_urls->canReplace && !m_urls->canReplace()) {
        ShowOk(m_urls->messages, RunningMessage(url));
        return;
    }
    if (m_document.OpenListText(result.body, ShownUrl(url), ListUrlTitle(url))) {
        m_listUrl = url;
    }
}

void FileCommands::Append() {
    const std::string path = m_document.PathName();
    const std::string title = m_document.Title();
    const auto other = m_dialogs.GetOpenPath();
    if (!other) {
        return;
    }
    const bool loaded = m_document.OpenListFile(*other, OpenAppend);
    // The load named the document after the appended file; it stays the list it was.
    if (!path.empty()) {
        m_document.SetPathName(path);
    } else {
        m_document.ClearPathName();
        m_document.SetTitle(title);
    }
    if (loaded) {
        m_document.SetModified(true);
    }
}

bool FileCommands::Save() {
    if (m_document.PathName().empty()) {
        return SaveAs();
    }
    return m_document.SaveListFile(m_document.PathName(), SaveWithResults);
}

bool FileCommands::SaveAs() {
    const auto path = m_dialogs.GetSavePath(ProposedName());
    if (!path) {
        return false;
    }
    if (!m_document.SaveListFile(*path, SaveWithResults)) {
        return false;
    }
    m_document.SetPathName(*path);
    return true;
}

void FileCommands::SaveWithoutResults(int saveMode) {
    const auto path = m_dialogs.GetSavePath(ProposedName());
    if (!path) {
        return;
    }
    m_document.SaveListFile(*path, saveMode);
}

void FileCommands::Export() {
    std::string proposed = ProposedName();
    proposed.resize(proposed.size() - FileExtension(proposed).size());
    const auto path = m_dialogs.GetExportPath(proposed + ".csv");
    if (!path) {
        return;
    }
    // Any name not ending in .json is CSV, the type that opens in the most programs.
    const ExportFormat format = EqualsNoCase(FileExtension(*path), ".json") ? ExportFormat::Json : ExportFormat::Csv;
    m_document.ExportListFile(*path, format);
}

bool FileCommands::OpenPath(const std::string& path) {
    if (!m_document.OpenListFile(path, OpenReplace)) {
        return false;
    }
    m_listUrl.clear();
    return true;
}

void FileCommands::OpenRecent(int index) {
    const auto& entries = m_recent.Entries();
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) {
        return;
    }
    const std::string path = entries[static_cast<std::size_t>(index)];
    if (IsListUrl(path)) {
        if (m_urls != nullptr && m_document.AskSaveChanges()) {
            m_lastUrl = path;
            FetchList(path, m_urls->viaProxy);
        }
        return;
    }
    if (!m_document.AskSaveChanges()) {
        return;
    }
    CancelFetch();
    if (m_document.OpenListFile(path, OpenReplace)) {
        m_listUrl.clear();
    } else {
        for (std::size_t i = 0; i < m_recent.Entries().size(); ++i) {
            if (m_recent.Entries()[i] == path) {
                m_recent.Remove(static_cast<int>(i));
                break;
            }
        }
    }
}

std::string FileCommands::ProposedName() const {
    if (!m_document.PathName().empty()) {
        return m_document.PathName();
    }
    std::string name = m_document.Title().empty() ? std::string(texts::kUntitled) : m_document.Title();
    if (FileExtension(name).empty()) {
        name += ".txt";
    }
    return name;
}

} // namespace zandel
