#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/frame/FileDialogs.h"

namespace zandel::test {

// Answers the open, save, export, URL and login dialogs from queues (an empty queue is a cancel) and keeps the proposed
// names.
class FakeFileDialogs final : public IFileDialogs {
public:
    std::optional<std::string> GetOpenPath() override {
        ++opens;
        return Next(openAnswers);
    }
    std::optional<std::string> GetSavePath(const std::string& proposed) override {
        proposedNames.push_back(proposed);
        return Next(saveAnswers);
    }

    std::optional<std::string> GetExportPath(const std::string& proposed) override {
        proposedNames.push_back(proposed);
        return Next(exportAnswers);
    }

    std::optional<UrlChoice> GetOpenUrl(const std::string& proposed, bool viaProxy) override {
        proposedNames.push_back(proposed);
        offeredViaProxy.push_back(viaProxy);
        if (urlAnswers.empty()) {
            return std::nullopt;
        }
        UrlChoice answer = urlAnswers.front();
        urlAnswers.pop_front();
        return answer;
    }

    std::optional<UrlLogin> GetUrlLogin(const std::string& shownUrl, const std::string& user) override {
        loginAsks.push_back(shownUrl + " " + user);
        if (loginAnswers.empty()) {
            return std::nullopt;
        }
        UrlLogin answer = loginAnswers.front();
        loginAnswers.pop_front();
        return answer;
    }

    std::deque<std::string> openAnswers;
    std::deque<UrlLogin> loginAnswers;
    std::vector<std::string> loginAsks; // the URL shown and the user offered, one text each
    std::deque<UrlChoice> urlAnswers;
    std::vector<bool> offeredViaProxy;
    std::deque<std::string> exportAnswers;
    std::deque<std::string> saveAnswers;
    std::vector<std::string> proposedNames;
    int opens = 0;

private:
    static std::optional<std::string> Next(std::deque<std::string>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace zandel::test
