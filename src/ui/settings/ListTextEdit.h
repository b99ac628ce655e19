#pragma once

#include <string>
#include <vector>

#include <QPlainTextEdit>

namespace zandel::ui {

// The multi-line box of a list page: one entry per line, Enter starts a new line, long lines wrap on screen
// but are read as the lines the user typed.
class ListTextEdit final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ListTextEdit(QWidget* parent = nullptr);

    // The entries as the page opens with them, caret at the start; not an edit of the user's.
    void SetEntries(const std::vector<std::string>& entries);
    std::vector<std::string> Lines() const;
    // An empty box has one line, and a final line end is followed by one more, empty line.
    int LineCount() const;

Q_SIGNALS:
    // Any change to the text other than SetEntries.
    void Edited();

private:
    bool m_filling = false;
};

} // namespace zandel::ui
