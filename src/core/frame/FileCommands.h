#pragma once

#include <functional>
#include <string>

#include "core/frame/CommandDispatcher.h"

namespace zandel {

class CRidIdiDoc;
class IFileDialogs;
class IRecentFiles;

// The File menu's commands over the list document: new, open, append, the saves with and without check
// results and the recent files. Each load or save names its mode; the document is back at mode 1 after it.
class FileCommands final {
public:
    // `busy`: a run holds the list, and the commands that need idle do nothing.
    FileCommands(CRidIdiDoc& document, IFileDialogs& dialogs, IRecentFiles& recent, std::function<bool()> busy = {});
    FileCommands(const FileCommands&) = delete;
    FileCommands& operator=(const FileCommands&) = delete;

    // Carries out a File menu command (the recent files included); false for any other id.
    bool OnCommand(int id);
    const CommandBindings& Bindings() const { return m_bindings; }

    void New();
    void Open();
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
    // Entry `index` of the recent-file list; an entry that cannot be opened leaves the list.
    void OpenRecent(int index);

private:
    std::string ProposedName() const;

    CRidIdiDoc& m_document;
    IFileDialogs& m_dialogs;
    IRecentFiles& m_recent;
    CommandBindings m_bindings;
};

} // namespace zandel
