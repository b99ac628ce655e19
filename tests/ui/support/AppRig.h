#pragma once

#include <memory>

#include <string>
#include <vector>

#include "core/proxy/InternetSettings.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/app/MainApp.h"
#include "support/FakeFileDialogs.h"
#include "support/RecordingServices.h"

namespace zandel::test {

// The program over recording services, started in a temporary folder that holds its settings files, its
// lock and its recent-file list.
class AppRig final {
public:
    AppRig();
    AppRig(const AppRig&) = delete;
    AppRig& operator=(const AppRig&) = delete;

    // Started in `dir` unless told otherwise.
    std::unique_ptr<ui::CMainApp> MakeApp(const std::vector<std::string>& arguments = {"zandel"});
    std::unique_ptr<ui::CMainApp> MakeAppIn(StartFolder start, const std::vector<std::string>& arguments = {"zandel"});

    TempDir dir;
    MessageRecorder messages;
    InstanceLock lock;
    RecordingInternetSettings internet;
    RecordingLauncher launcher;
    RecentFileList recent;
    FakeFileDialogs dialogs;
};

} // namespace zandel::test
