#include "core/list/ProxyListDocument.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/util/MessageService.h"
#include "core/util/Texts.h"
#include "core/list/RowStore.h"
#include "core/util/FileIo.h"
#include "core/util/Text.h"
#include "core/util/UniqueFd.h"

namespace zandel {

namespace {

constexpr std::size_t kAppendBatch = 4096;
constexpr const char* kAskSaveChanges = "%1 への変更を保存しますか?";
// The extension was split into a ten-byte field; a longer one never names a list file.
constexpr std::size_t kMaxExtension = 10;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string WithName(const std::string& pattern, const std::string& name) {
    std::string text = pattern;
    const auto at = text.find("%1");
    if (at != std::string::npos) {
        text.replace(at, 2, name);
    }
    return text;
}

// Paths are kept whole, so that the recent files and the list reopened at the next start do not depend on
// the folder the program was started from.
std::string FullPath(const std::string& path) {
    if (path.empty() || path.front() == '/') {
        return path;
    }
    char folder[4096];
    if (::getcwd(folder, sizeof folder) == nullptr) {
        return path;
    }
    return std::string(folder) + "/" + path;
}

// For reading only: a list the user may not write (or that another program holds) still loads. Only a regular file
// is a list: a pipe or a device under the name would hold the window until someone wrote to it, or never end, so
// the open does not wait, and what it opened is looked at before a byte is read.
FilePtr OpenForReading(const std::string& path, int& error) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0) {
        error = errno;
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd.Get(), "r");
    if (file == nullptr) {
        error = errno;
        return nullptr;
    }
    fd.Release(); // the stream closes it now
    return FilePtr(file);
}

// The addresses of rows `first` to `last` (the end when -1).
std::set<std::string> AddressesOf(const IRowStore& rows, int first, int last = -1) {
    std::set<std::string> addresses;
    const int end = last < 0 ? rows.RowCount() : last;
    for (int row = first; row < end; ++row) {
        addresses.insert(rows.GetCellText(row, 0));
    }
    return addresses;
}

} // namespace

ProxyListDocument::ProxyListDocument(IRowStore& rows, IMessageService& messages, IDocumentHost& host)
    : m_rows(rows), m_messages(messages), m_host(host) {}

bool ProxyListDocument::OpenListFile(const std::string& path, int mode) {
    m_openMode = mode;
    const bool loaded = LoadList(path);
    m_openMode = OpenReplace;
    return loaded;
}

bool ProxyListDocument::SaveListFile(const std::string& path, int mode) {
    m_saveMode = mode;
    const bool written = WriteList(path);
    m_saveMode = SaveWithResults;
    return written;
}

bool ProxyListDocument::ExportListFile(const std::string& path, ExportFormat format) {
    const RowReason reason = [this](int row) { return m_rows.GetRow(row).reason; };
    const ExportPlaces places = m_exportPlaces ? m_exportPlaces() : ExportPlaces{};
    const ExportPlaces* withPlaces = places.country || places.asn ? &places : nullptr;
    const ExportSites sites = m_exportSites ? m_exportSites() : ExportSites{};
    const ExportSites* withSites = sites.urls.empty() ? nullptr : &sites;
    const FileResult result =
        WriteFileAtomically(path, [this, format, &reason, withPlaces, withSites](const ByteSink& sink) {
            return StreamExport(m_rows, SaveWithResults, format, reason, sink, withPlaces, {}, withSites);
        });
    if (!result.ok) {
        ShowOk(m_messages, FileErrorMessage(FullPath(path), result.error, true));
        return false;
    }
    return true;
}

bool ProxyListDocument::OpenListText(std::string text, const std::string& source, const std::string& title) {
    // Read with the file's own reader, so that a list from the web reads exactly as the same file would.
    FilePtr file;
    if (!text.empty()) {
        file.reset(::fmemopen(text.data(), text.size(), "r"));
        if (!file) {
            ShowOk(m_messages, FileErrorMessage(source, errno, false));
            return false;
        }
    }
    if (m_rows.RowCount() > 0) {
        m_rows.RemoveAllRows();
    }
    if (file) {
        ReadRows(file.get());
    }
    m_fetchedAddresses = AddressesOf(m_rows, 0);
    if (m_rows.RowCount() > 0) {
        m_rows.SetRowSelected(0, true);
    }
    // No file of its own: a plain Save asks for a name rather than writing anywhere the user did not choose.
    ClearPathName();
    SetTitle(title);
    m_host.AddToRecentFiles(source);
    SetModified(false);
    m_host.UpdateCounts();
    return true;
}

bool ProxyListDocument::MergeListText(std::string text) {
    FilePtr file;
    if (!text.empty()) {
        file.reset(::fmemopen(text.data(), text.size(), "r"));
        if (!file) {
            return false;
        }
    }
    const int firstNew = m_rows.RowCount();
    if (file) {
        ReadRows(file.get());
    }
    std::set<std::string> fetched = AddressesOf(m_rows, firstNew);
    const std::set<std::string> kept = AddressesOf(m_rows, 0, firstNew);
    bool changed = false;
    // From the bottom, so that the rows still to be looked at keep their numbers.
    for (int row = m_rows.RowCount() - 1; row >= 0; --row) {
        const std::string address = m_rows.GetCellText(row, 0);
        const bool isNew = row >= firstNew;
        // A new row already in the list stays where it is with its results; an old one the list no longer has
        // goes, unless the user added it.
        const bool drop =
            isNew ? kept.count(address) != 0 : m_fetchedAddresses.count(address) != 0 && fetched.count(address) == 0;
        if (drop) {
            m_rows.RemoveRow(row);
        }
        changed = changed || (isNew != drop);
    }
    // A row the user had before the source listed it stays the user's.
    for (const std::string& address : kept) {
        if (m_fetchedAddresses.count(address) == 0) {
            fetched.erase(address);
        }
    }
    m_fetchedAddresses = std::move(fetched);
    if (changed) {
        SetModified(true);
    }
    m_host.UpdateCounts();
    return true;
}

bool ProxyListDocument::LoadList(const std::string& path) {
    const std::string extension = FileExtension(path);
    if (extension.size() >= kMaxExtension) {
        return false;
    }
    if (!EqualsNoCase(extension, ".txt")) {
        ShowOk(m_messages, texts::kBadListFormat);
        return false;
    }
    const std::string fullPath = FullPath(path);
    // Opened before anything changes, so that a file that cannot be read leaves the list and the document's
    // name as they were.
    int openError = 0;
    const FilePtr file = OpenForReading(fullPath, openError);
    if (!file) {
        ShowOk(m_messages, FileErrorMessage(fullPath, openError, false));
        return false;
    }
    SetPathName(fullPath);
    if (m_openMode == OpenReplace) {
        m_fetchedAddresses.clear();
    }
    if (m_openMode == OpenReplace && m_rows.RowCount() > 0) {
        m_rows.RemoveAllRows();
    }
    if (m_openMode == OpenReplace) {
        m_cp932 = false;
    }

    const int readError = ReadRows(file.get());
    if (m_rows.RowCount() > 0) {
        m_rows.SetRowSelected(0, true);
    }
    if (readError != 0) {
        // A read the user stopped needs no message: the status bar said how to stop it.
        if (readError != ECANCELED) {
            ShowOk(m_messages, FileErrorMessage(fullPath, readError, false));
        }
        // The rows read so far stay, but they are not the file: a plain Save must not cut the file down to
        // them, so a replaced list becomes an unnamed, modified one.
        if (m_openMode == OpenReplace) {
            ClearPathName();
            SetTitle(texts::kUntitled);
        }
        SetModified(true);
        m_host.UpdateCounts();
        return false;
    }
    SetModified(false);
    m_host.SetProxyFile(fullPath);
    m_host.UpdateCounts();
    return true;
}

int ProxyListDocument::ReadRows(std::FILE* file) {
    ListLineReader reader(file);
    const int firstRow = m_rows.RowCount();
    int count = firstRow;
    int readError = 0;
    // The rows go to the list a batch at a time: a window hears of a million rows a few hundred times.
    std::vector<ProxyRow> batch;
    const auto flush = [&] {
        m_rows.AppendRows(batch);
        batch.clear();
    };
    for (;;) {
        if (count >= m_maxRows) {
            flush();
            // The message box must hear the user: the reading is over before it shows.
            m_host.ReadingEnded();
            // A larger limit asked for on the console's command line is the user's own and goes unsaid.
            if (m_tellRowLimit) {
                ShowOk(m_messages, texts::RowLimitMessage(m_maxRows));
            }
            break;
        }
        const std::optional<std::string> piece = reader.Next();
        if (!piece) {
            readError = reader.Failed() ? (errno != 0 ? errno : EIO) : 0;
            break;
        }
        const std::optional<ProxyRow> row = ParseListLine(*piece, reader.EndedLine());
        if (!row) {
            continue;
        }
        batch.push_back(*row);
        batch.back().tag = count;
        ++count;
        if (batch.size() == kAppendBatch) {
            flush();
            // The user may stop a long read (the rows read so far stay).
            if (!m_host.KeepReading(count)) {
                readError = ECANCELED;
                break;
            }
        }
    }
    flush();
    m_host.ReadingEnded();

    if (!reader.AllUtf8()) {
        m_cp932 = true;
        m_rows.MarkCp932Rows(firstRow, count - firstRow);
    }
    return readError;
}

bool ProxyListDocument::WriteList(const std::string& path) {
    // The list goes to the file writer a piece at a time; the writer still puts a new file in place only once
    // it is whole, so that a failed write leaves the old list on disk. The length of the extension plays no
    // part; a long one is still a name.
    const int mode = m_saveMode;
    const FileResult result = WriteFileAtomically(
        path, [this, mode](const ByteSink& sink) { return StreamList(m_rows, mode, sink, {}, m_cp932); });
    if (!result.ok) {
        ShowOk(m_messages, FileErrorMessage(FullPath(path), result.error, true));
        return false;
    }
    SetModified(false);
    return true;
}

bool ProxyListDocument::NewList() {
    if (!AskSaveChanges()) {
        return false;
    }
    m_rows.RemoveAllRows();
    m_fetchedAddresses.clear();
    ClearPathName();
    SetModified(false);
    m_host.UpdateCounts();
    return true;
}

bool ProxyListDocument::AskSaveChanges() {
    if (!m_modified) {
        return true;
    }
    std::string name = texts::kUntitled;
    if (!m_pathName.empty()) {
        name = FileNameOf(m_pathName);
    } else if (!m_title.empty()) {
        name = m_title;
    }
    switch (m_messages.Show(WithName(kAskSaveChanges, name), MbButtons::YesNoCancel, MbIcon::Warning)) {
    case MbResult::Yes:
        return m_host.SaveDocument();
    case MbResult::No:
        return true;
    default:
        return false;
    }
}

void ProxyListDocument::SetModified(bool modified) {
    if (m_modified != modified) {
        m_modified = modified;
        m_host.DocumentChanged();
    }
}

void ProxyListDocument::SetPathName(const std::string& path, bool addToRecent) {
    m_pathName = FullPath(path);
    m_title = FileNameOf(m_pathName);
    if (addToRecent) {
        m_host.AddToRecentFiles(m_pathName);
    }
    m_host.DocumentChanged();
}

void ProxyListDocument::ClearPathName() {
    m_pathName.clear();
    m_host.DocumentChanged();
}

void ProxyListDocument::SetTitle(const std::string& title) {
    m_title = title;
    m_host.DocumentChanged();
}

std::string FileErrorMessage(const std::string& path, int error, bool writing) {
    if (error == EINVAL && !writing) {
        return WithName("%1 は通常のﾌｧｲﾙではないため開けませんでした。", path);
    }
    const char* pattern = nullptr;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        pattern =
            writing ? "%1 を保存できませんでした。保存先のﾌｫﾙﾀﾞが見つかりません。" : "%1 が見つかりませんでした。";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        pattern = "%1 へのｱｸｾｽは拒否されました。";
        break;
    case EISDIR:
        pattern = writing ? "%1 はﾌｫﾙﾀﾞなので保存できませんでした。" : "%1 はﾌｫﾙﾀﾞなので開けませんでした。";
        break;
    case ENOSPC:
    case EDQUOT:
        pattern = "%1 を保存できませんでした。ﾃﾞｨｽｸがいっぱいです。";
        break;
    case ENAMETOOLONG:
        pattern = "%1 の名前が長すぎます。";
        break;
    case EMFILE:
    case ENFILE:
        pattern = "開いているﾌｧｲﾙが多すぎるため、%1 を開けませんでした。";
        break;
    case EIO:
        pattern = "%1 へのｱｸｾｽ中にﾊｰﾄﾞｳｪｱ I/O ｴﾗｰが発生しました。";
        break;
    default:
        return WithName(writing ? "%1 の保存中に予期しないｴﾗｰが発生しました。"
                                : "%1 の読み込み中に予期しないｴﾗｰが発生しました。",
                        path) +
               "\n(" + std::strerror(error) + ")";
    }
    return WithName(pattern, path);
}

} // namespace zandel
