#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/settings/AppSettings.h"
#include "core/proxy/InternetSettings.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/frame/MainFrame.h"
#include "support/FakeFileDialogs.h"
#include "support/RecordingServices.h"

namespace zandel::test {

// A main window over recording services: the desktop's proxy settings, program launches, file dialogs and
// message boxes are kept for the test instead of reaching the desktop. Settings files go to a temporary folder.
class FrameRig final {
public:
    FrameRig();
    ~FrameRig();
    FrameRig(const FrameRig&) = delete;
    FrameRig& operator=(const FrameRig&) = delete;

    // Builds and shows the window from the settings as they are now.
    ui::CMainFrame& Make();
    ui::CMainFrame& Frame() { return *m_frame; }
    // The window closed and gone, the settings it handed over kept.
    void Destroy() { m_frame.reset(); }
    void AddRows(const std::vector<std::string>& addresses);
    void SetList(SettingsList list, const std::vector<std::string>& entries);

    TempDir dir;
    AppSettings settings;
    MessageRecorder messages;
    RecordingInternetSettings internet;
    RecordingLauncher launcher;
    RecentFileList recent;
    FakeFileDialogs dialogs;

private:
    std::unique_ptr<ui::CMainFrame> m_frame;
};

} // namespace zandel::test
