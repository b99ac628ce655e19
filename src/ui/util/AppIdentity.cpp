#include "ui/util/AppIdentity.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QDir>
#include <QGuiApplication>
#include <QImageReader>

namespace zandel::ui {

QIcon AppIcon() {
    // The sizes the desktop's icon theme gets, built into the program as they are, smallest first: on X11 the
    // window carries them in this order, and a reader that takes only the property's first megabyte (xprop, some
    // task bars) then still gets every size up to the largest, which alone would fill most of it.
    const QDir folder(QStringLiteral(":/icons/app"));
    std::vector<std::pair<int, QString>> sizes;
    for (const QString& file : folder.entryList(QDir::Files)) {
        sizes.emplace_back(QImageReader(folder.filePath(file)).size().width(), folder.filePath(file));
    }
    std::sort(sizes.begin(), sizes.end());
    QIcon icon;
    for (const auto& [side, file] : sizes) {
        icon.addFile(file, QSize(side, side));
    }
    return icon;
}

void SetUpAppIdentity() {
    QGuiApplication::setApplicationName(QStringLiteral("Zandel"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    QGuiApplication::setWindowIcon(AppIcon());
}

} // namespace zandel::ui
