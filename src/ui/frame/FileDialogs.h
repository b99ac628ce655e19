#pragma once

#include <optional>
#include <string>

#include <QStringList>

#include "core/frame/FileDialogs.h"

class QWidget;

namespace zandel::ui {

// The list files' filter in the framework's notation.
inline constexpr const char* kListFileFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";
// The export's types; the file's extension decides which is written.
inline constexpr const char* kExportFileFilter = "CSV (*.csv)|*.csv|JSON (*.json)|*.json||";

// Qt name filters for a "label|pattern|...||" filter: each label is shown as it is; "*.*" matches every file,
// as it does in the notation's home.
QStringList NameFilters(const char* filter);

// The Qt file dialogs, each over the window given at construction.
class QtFileDialogs final : public IFileDialogs {
public:
    explicit QtFileDialogs(QWidget& parent) : m_parent(parent) {}

    std::optional<std::string> GetOpenPath() override;
    std::optional<std::string> GetSavePath(const std::string& proposed) override;
    std::optional<std::string> GetExportPath(const std::string& proposed) override;
    std::optional<UrlChoice> GetOpenUrl(const std::string& proposed, bool viaProxy) override;
    std::optional<UrlLogin> GetUrlLogin(const std::string& shownUrl, const std::string& user) override;

private:
    QWidget& m_parent;
};

} // namespace zandel::ui
