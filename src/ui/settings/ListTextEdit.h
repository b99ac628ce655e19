#pragma once

#include <functional>
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
    // A note in a margin at the right of each line, from the line's text (the favourites' uptime); none when
    // `note` is empty, as by default. Not part of the text: it is never read back as an entry.
    void SetLineNotes(std::function<QString(const QString& line)> note);
    // The note shown beside line `line` (0-based); empty without one.
    QString LineNote(int line) const;

Q_SIGNALS:
    // Any change to the text other than SetEntries.
    void Edited();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PaintNotes(QPaintEvent* event);
    void PlaceNotes();

    bool m_filling = false;
    std::function<QString(const QString&)> m_note;
    QWidget* m_notes = nullptr;
};

} // namespace zandel::ui
