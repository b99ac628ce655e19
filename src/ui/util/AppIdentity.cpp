#include "ui/util/AppIdentity.h"

#include <QDir>
#include <QGuiApplication>

namespace zandel::ui {

QIcon AppIcon() {
    // The sizes the desktop's icon theme gets, built into the program as they are.
    const QDir sizes(QStringLiteral(":/icons/app"));
    QIcon icon;
    for (const QString& file : sizes.entryList(QDir::Files)) {
        icon.addFile(sizes.filePath(file));
    }
    return icon;
}

void SetUpAppIdentity() {
    QGuiApplication::setApplicationName(QStringLiteral("Zandel"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    QGuiApplication::setWindowIcon(AppIcon());
}

} // namespace zandel::ui
