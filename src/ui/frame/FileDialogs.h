#pragma once

#include <optional>
#include <string>

#include <QStringList>

class QWidget;

namespace zandel::ui {

// The list files' filter in the framework's notation.
inline constexpr const char* kListFileFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";

// Qt name filters for a "label|pattern|...||" filter: each label is shown as it is; "*.*" matches every file,
// as it does in the notation's home.
QStringList NameFilters(const char* filter);

// The open and save dialogs of the list files; tests answer in place of the user.
class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // A file that exists; none when the user cancels.
    virtual std::optional<std::string> GetOpenPath(QWidget* parent) = 0;
    // A file to write, "txt" added when the name has no extension, overwriting confirmed; none on cancel.
    virtual std::optional<std::string> GetSavePath(QWidget* parent, const std::string& proposed) = 0;
};

class QtFileDialogs final : public IFileDialogs {
public:
    std::optional<std::string> GetOpenPath(QWidget* parent) override;
    std::optional<std::string> GetSavePath(QWidget* parent, const std::string& proposed) override;
};

} // namespace zandel::ui
