#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/app/AppLifecycle.h"
#include "core/app/InstallPaths.h"
#include "core/check/ParallelProbe.h"
#include "platform/DesktopInternetSettings.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "ui/app/MainApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zandel.png")));
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
    const zandel::StartFolder start = zandel::ChooseStartFolder(
        std::find(arguments.begin(), arguments.end(), zandel::kConfigFolderOption) != arguments.end(),
        zandel::CurrentDirectory(), zandel::ConfigFolder());
    zandel::ui::CMainApp mainApp({lock, internet, launcher, recent}, arguments, start);
    return mainApp.Run();
}
