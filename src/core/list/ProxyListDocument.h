#pragma once

#include <cstdio>
#include <functional>
#include <set>
#include <string>

#include "core/list/CheckExport.h"
#include "core/list/ListFile.h"

namespace zandel {

class IMessageService;
class IRowStore;

// What the list document needs of the program around it: the framework's side of a document.
class IDocumentHost {
public:
    virtual ~IDocumentHost() = default;
    // The list loaded last becomes `ProxyFile`.
    virtual void SetProxyFile(const std::string& path) = 0;
    virtual void UpdateCounts() = 0;
    virtual void AddToRecentFiles(const std::string& path) = 0;
    // The document's path name, title or modified mark changed: refresh the window caption.
    virtual void DocumentChanged() = 0;
    // The framework's Save: asks for a name when the document has none, then saves with mode 1.
    virtual bool SaveDocument() = 0;
    // Called as a long list is read, after each batch of rows: false when the user has asked to stop reading.
    virtual bool KeepReading(int /*rowsRead*/) { return true; }
    // The reading has ended, however it ended.
    virtual void ReadingEnded() {}
};

// The list document. It keeps no rows of its own: it reads and writes them through the row store.
class ProxyListDocument final {
public:
    ProxyListDocument(IRowStore& rows, IMessageService& messages, IDocumentHost& host);
    ProxyListDocument(const ProxyListDocument&) = delete;
    ProxyListDocument& operator=(const ProxyListDocument&) = delete;

    // Loads with the open mode `mode` (OpenReplace or OpenAppend); the open mode is 1 again afterwards. False
    // on a refused extension or an unreadable file (with its message).
    bool OpenListFile(const std::string& path, int mode);
    // Writes with the save mode `mode` (1 to 5), replacing the file only when the whole list is on disk; the
    // save mode is 1 again afterwards.
    bool SaveListFile(const std::string& path, int mode);
    // Writes every row with its results as CSV or JSON, no password, the same way the console tool exports;
    // the document's name and modified state stay. False after its message when the file cannot be written.
    bool ExportListFile(const std::string& path, ExportFormat format);
    // Where the rows' proxies left, for the exports' place columns (none: the exports carry none).
    void SetExportPlaces(std::function<ExportPlaces()> places) { m_exportPlaces = std::move(places); }
    // The sites the rows' proxies were asked for, for the exports' site fields (none named: the exports carry none).
    void SetExportSites(std::function<ExportSites()> sites) { m_exportSites = std::move(sites); }
    // Replaces the rows with those of a list held in memory (fetched from `source`, a URL): the document has no
    // path name afterwards and goes by `title`; `source` becomes a recent file. False, after its message, when
    // the text cannot be read.
    bool OpenListText(std::string text, const std::string& source, const std::string& title);
    // The list from the same source once more: rows it no longer has go, rows new to it are added at the end,
    // and rows in both, or added by the user since, stay with their results. Name and title stay.
    bool MergeListText(std::string text);
    bool NewList();
    // "%1 への変更を保存しますか?": true when the caller may go on.
    bool AskSaveChanges();

    bool IsModified() const { return m_modified; }
    void SetModified(bool modified);

    const std::string& PathName() const { return m_pathName; }
    // The list was read from a file in CP932 (not UTF-8 as a whole): its saves write a check's texts in it too.
    bool IsCp932() const { return m_cp932; }
    // Takes a path as the document's own: the title becomes the file's name and the path a recent file.
    void SetPathName(const std::string& path, bool addToRecent = true);
    void ClearPathName();
    const std::string& Title() const { return m_title; }
    void SetTitle(const std::string& title);

    // The modes of the load or save under way; 1 outside one.
    int m_openMode = OpenReplace;
    int m_saveMode = SaveWithResults;
    // The most rows a load takes: the list window's limit; the console tool may take more.
    int m_maxRows = MaxListRows;
    bool m_tellRowLimit = true;
    bool m_cp932 = false;

private:
    bool LoadList(const std::string& path);
    bool WriteList(const std::string& path);
    // Adds the rows of an open list after the last; the read error, 0 when none.
    int ReadRows(std::FILE* file);

    IRowStore& m_rows;
    std::function<ExportPlaces()> m_exportPlaces;
    std::function<ExportSites()> m_exportSites;
    IMessageService& m_messages;
    IDocumentHost& m_host;
    std::string m_pathName;
    std::string m_title;
    bool m_modified = false;
    // The addresses the list held when it was last fetched, so that a new fetch can tell the user's own rows.
    std::set<std::string> m_fetchedAddresses;
};

// The framework's file-error message for a failed open, read or write, naming the file and the cause.
std::string FileErrorMessage(const std::string& path, int error, bool writing);

} // namespace zandel
