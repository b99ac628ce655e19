#include "ui/settings/BrowserFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>

namespace zandel::ui {

namespace {

// "*.*" would hide every name without a dot, and so nearly every program on Linux.
void ShowEveryFileFor(QFileDialog& dialog, const QString& filter) {
    if (filter != QLatin1String(kAllFilesFilter)) {
        return;
    }
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        model->setNameFilters({QStringLiteral("*")});
    }
}

} // namespace

void ConfigureBrowserFileDialog(QFileDialog& dialog, const QString& currentPath) {
    // Qt's own dialog, so that the filter above can be applied whatever the desktop's theme.
    dialog.setOptions(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.resize(720, 460);
    dialog.setNameFilters({QLatin1String(kBrowserFileFilter), QLatin1String(kAllFilesFilter)});
    const QFileInfo current(currentPath);
    if (!currentPath.isEmpty() && current.absoluteDir().exists()) {
        dialog.setDirectory(current.absoluteDir());
    }
    dialog.selectNameFilter(QLatin1String(kAllFilesFilter));
    ShowEveryFileFor(dialog, QLatin1String(kAllFilesFilter));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) { ShowEveryFileFor(dialog, filter); });
}

QString ChooseBrowserFile(QWidget* parent, const QString& currentPath) {
    QFileDialog dialog(parent);
    ConfigureBrowserFileDialog(dialog, currentPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

} // namespace zandel::ui
