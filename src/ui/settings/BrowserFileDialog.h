#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace zandel::ui {

inline constexpr const char* kBrowserFileFilter = "Browser File (*.exe)";
inline constexpr const char* kAllFilesFilter = "All Files (*.*)";

// The open-file dialog for the browser program: the two filter entries, no preset name, no read-only option.
// Programs on Linux have no extension, so it starts on "All Files (*.*)", which here shows every file.
void ConfigureBrowserFileDialog(QFileDialog& dialog, const QString& currentPath);

// Runs the dialog; the chosen file's full path, or an empty text when the user cancels.
QString ChooseBrowserFile(QWidget* parent, const QString& currentPath);

} // namespace zandel::ui
