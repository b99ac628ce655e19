#include <cstdlib>

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/DesktopInternetSettings.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramLauncher.h"
#include "platform/RecentFileList.h"
#include "ui/app/MainApp.h"
#include "ui/frame/FileDialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zandel.png")));
    // The standard buttons and dialogs speak Japanese with the rest of the program.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    zandel::InstanceLock lock;
    zandel::DesktopInternetSettings internet(std::getenv("XDG_CURRENT_DESKTOP"));
    zandel::SpawnLauncher launcher;
    zandel::RecentFileList recent;
    zandel::ui::QtFileDialogs dialogs;
    zandel::ui::CMainApp mainApp({lock, internet, launcher, recent, dialogs}, QApplication::arguments());
    return mainApp.Run();
}
