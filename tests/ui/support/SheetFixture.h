#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/settings/AppSettings.h"
#include "platform/ProgramLauncher.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/settings/SettingsSheet.h"
#include "ui/support/SheetDriver.h"
#include "support/RecordingServices.h"

namespace zandel::test {

// What every test of the settings sheet starts from: fresh settings, a recording launcher, answered message
// boxes and a folder for "USER.DAT". Reset from init(), Teardown from cleanup().
struct SheetFixture {
    void Reset() {
        settings = std::make_unique<AppSettings>();
        messages.Clear();
        messages.SetTakesFocus(false);
        dir = std::make_unique<TempDir>();
    }
    void Teardown() {
        driver.reset();
        sheet.reset();
        dir.reset();
    }
    // Opens the sheet (on its first tab) with "USER.DAT" in the test's folder unless told otherwise.
    void Open(const std::string& userAgentFile = {}) {
        const std::string file = userAgentFile.empty() ? dir->File("USER.DAT") : userAgentFile;
        Open(UserAgentFiles{file, file, {}});
    }
    void Open(UserAgentFiles userAgentFiles) {
        sheet = std::make_unique<ui::SettingsSheet>(*settings, launcher, std::move(userAgentFiles), nullptr);
        driver = std::make_unique<SheetDriver>(*sheet);
    }
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : messages.Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }

    std::unique_ptr<AppSettings> settings;
    RecordingLauncher launcher;
    MessageRecorder messages;
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<ui::SettingsSheet> sheet;
    std::unique_ptr<SheetDriver> driver;
};

} // namespace zandel::test
