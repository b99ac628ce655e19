#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/list/ProxyListDocument.h"

namespace zandel::test {

// Records what the list document asks of the program around it; the framework's Save answers `saveResult`.
class FakeDocumentHost final : public IDocumentHost {
public:
    void SetProxyFile(const std::string& path) override { proxyFile = path; }
    void UpdateCounts() override { ++countUpdates; }
    void AddToRecentFiles(const std::string& path) override { recentFiles.push_back(path); }
    void DocumentChanged() override { ++changes; }
    bool SaveDocument() override {
        ++saves;
        return saveResult;
    }
    // The first end of a read counts the messages shown until then (a message box shown while the read still holds
    // the window's input could not be answered).
    void ReadingEnded() override {
        if (messagesAtReadingEnd < 0) {
            messagesAtReadingEnd = messagesShown ? static_cast<int>(messagesShown().size()) : 0;
        }
    }

    std::string proxyFile;
    std::vector<std::string> recentFiles;
    int countUpdates = 0;
    int changes = 0;
    int saves = 0;
    bool saveResult = true;
    std::function<std::vector<std::string>()> messagesShown;
    int messagesAtReadingEnd = -1;
};

} // namespace zandel::test
