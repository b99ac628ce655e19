#pragma once

#include <string>

#include <QPlainTextEdit>

namespace zandel::ui {

// The check log below the proxy list: read-only, navy on cream in the log font, the last 1000 lines.
class CLogView final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CLogView(QWidget* parent = nullptr);

    // Appends at the end (CR LF line ends as the check writes them) and keeps the last 1000 lines.
    void AppendText(const std::string& text);
    void ChooseFont(); // command 32819
    void ClearLog();   // command 32820
};

} // namespace zandel::ui
