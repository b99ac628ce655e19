#pragma once

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

    std::string proxyFile;
    std::vector<std::string> recentFiles;
    int countUpdates = 0;
    int changes = 0;
    int saves = 0;
    bool saveResult = true;
};

} // namespace zandel::test
