#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/app/AppLifecycle.h"
#include "core/app/CommandLine.h"
#include "core/app/InstallPaths.h"
#include "core/check/ParallelProbe.h"
#include "platform/DesktopInternetSettings.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "ui/util/AppIdentity.h"
#include "ui/app/MainApp.h"

namespace {

// The text of --help or --version on standard output; false when it could not be written whole.
bool Print(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before the window system is reached: these work without a display.
    const zandel::CommandLine early = zandel::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (early.help || early.version) {
        return Print(early.help ? zandel::UsageText() : zandel::VersionText("zandel")) ? 0 : 1;
    }

    QApplication app(argc, argv);
    zandel::ui::SetUpAppIdentity();
    // The standard buttons and dialogs speak Japanese with the rest of the program.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    zandel::RaiseOpenFileLimit();
    zandel::InstanceLock lock;
    zandel::DesktopInternetSettings internet(std::getenv("XDG_CURRENT_DESKTOP"));
    zandel::SpawnLauncher launcher;
    zandel::RecentFileList recent;
    // Qt has taken its own options out of argv by now; what is left keeps its bytes.
    const std::vector<std::string> arguments(argv, argv + argc);
    // Started from the desktop's menu the working folder is the home folder: the settings go to the user's settings
    // folder instead. From a terminal they stay in the working folder.
    const zandel::StartFolder start = zandel::ChooseStartFolder(zandel::ParseCommandLine(arguments).configFolder,
                                                                zandel::CurrentDirectory(), zandel::ConfigFolder());
    zandel::ui::CMainApp mainApp({lock, internet, launcher, recent}, arguments, start);
    return mainApp.Run();
}
