#pragma once

#include <string>

class QWidget;

namespace zandel {
class CRidIdiDoc;
class RecentFileList;
} // namespace zandel

namespace zandel::ui {

class IFileDialogs;

// The File menu's commands over the list document: new, open, append, the saves with and without check
// results and the recent files. The document's open and save modes are set right before a load or save and
// put back to 1 right after it.
class FileCommands final {
public:
    FileCommands(CRidIdiDoc& document, IFileDialogs& dialogs, RecentFileList& recent, QWidget& parent);
    FileCommands(const FileCommands&) = delete;
    FileCommands& operator=(const FileCommands&) = delete;

    void New();
    void Open();
    // Adds another file's rows; the document keeps its own name and becomes modified.
    void Append();
    // The framework's Save: a document without a name is saved through Save As.
    bool Save();
    bool SaveAs();
    // One of the saves without check results (save modes 2 to 5); name and title stay.
    void SaveWithoutResults(int saveMode);
    // A list named on the command line or kept from the last run: no question, replacing the list.
    bool OpenPath(const std::string& path);
    // Entry `index` of the recent-file list; an entry that cannot be opened leaves the list.
    void OpenRecent(int index);

private:
    std::string ProposedName() const;

    CRidIdiDoc& m_document;
    IFileDialogs& m_dialogs;
    RecentFileList& m_recent;
    QWidget& m_parent;
};

} // namespace zandel::ui
