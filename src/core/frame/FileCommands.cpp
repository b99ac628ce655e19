#include "core/frame/FileCommands.h"

#include <utility>

#include "core/app/Texts.h"
#include "core/frame/CommandIds.h"
#include "core/frame/FileDialogs.h"
#include "core/history/CheckExport.h"
#include "core/frame/RecentFiles.h"
#include "core/list/ListDocument.h"
#include "core/list/ListFile.h"
#include "core/util/Text.h"

namespace zandel {

FileCommands::FileCommands(CRidIdiDoc& document, IFileDialogs& dialogs, IRecentFiles& recent,
                           std::function<bool()> busy)
    : m_document(document), m_dialogs(dialogs), m_recent(recent), m_bindings(std::move(busy)) {
    m_bindings.Bind(cmd::kFileNew, [this] { New(); });
    m_bindings.Bind(cmd::kFileOpen, [this] { Open(); });
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
    if (m_document.NewList()) {
        m_document.SetTitle(texts::kUntitled);
    }
}

void FileCommands::Open() {
    if (!m_document.AskSaveChanges()) {
        return;
    }
    if (const auto path = m_dialogs.GetOpenPath()) {
        m_document.OpenListFile(*path, OpenReplace);
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
    return m_document.OpenListFile(path, OpenReplace);
}

void FileCommands::OpenRecent(int index) {
    const auto& entries = m_recent.Entries();
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) {
        return;
    }
    const std::string path = entries[static_cast<std::size_t>(index)];
    if (!m_document.AskSaveChanges()) {
        return;
    }
    if (!m_document.OpenListFile(path, OpenReplace)) {
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
