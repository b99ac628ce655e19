#include "ui/settings/ListTextEdit.h"

#include <utility>

#include <QPainter>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>

#include "core/settings/ListText.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

// The margin that shows the notes: paints through its box, which knows the lines.
class NoteMargin final : public QWidget {
public:
    NoteMargin(QWidget* parent, std::function<void(QPaintEvent*)> paint) : QWidget(parent), m_paint(std::move(paint)) {
        setObjectName(QStringLiteral("lineNotes"));
    }

protected:
    void paintEvent(QPaintEvent* event) override { m_paint(event); }

private:
    std::function<void(QPaintEvent*)> m_paint;
};

} // namespace

ListTextEdit::ListTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling) {
            Q_EMIT Edited();
        }
    });
}

void ListTextEdit::SetEntries(const std::vector<std::string>& entries) {
    // Each entry is decoded on its own: a list may mix entries of the Windows program and of ours.
    QStringList lines;
    for (const std::string& line : ListEditLines(entries)) {
        lines.append(FromBytes(line));
    }
    m_filling = true;
    setPlainText(lines.join(QLatin1Char('\n')));
    m_filling = false;
    moveCursor(QTextCursor::Start);
    ensureCursorVisible();
}

std::vector<std::string> ListTextEdit::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(document()->blockCount()));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines.push_back(ToBytes(block.text()));
    }
    return lines;
}

int ListTextEdit::LineCount() const {
    return document()->blockCount();
}

void ListTextEdit::SetLineNotes(std::function<QString(const QString& line)> note) {
    m_note = std::move(note);
    if (!m_note) {
        delete m_notes;
        m_notes = nullptr;
        setViewportMargins(0, 0, 0, 0);
        return;
    }
    if (m_notes == nullptr) {
        m_notes = new NoteMargin(this, [this](QPaintEvent* event) { PaintNotes(event); });
        connect(this, &QPlainTextEdit::updateRequest, m_notes, [this](const QRect& rect, int dy) {
            if (dy != 0) {
                m_notes->scroll(0, dy);
            } else {
                m_notes->update(0, rect.y(), m_notes->width(), rect.height());
            }
        });
    }
    setViewportMargins(0, 0, fontMetrics().horizontalAdvance(QStringLiteral("(100%)")) + 8, 0);
    PlaceNotes();
    m_notes->show();
    m_notes->update();
}

QString ListTextEdit::LineNote(int line) const {
    const QTextBlock block = document()->findBlockByNumber(line);
    return m_note && block.isValid() ? m_note(block.text()) : QString();
}

void ListTextEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    PlaceNotes();
}

void ListTextEdit::PlaceNotes() {
    if (m_notes != nullptr) {
        const QRect text = viewport()->geometry();
        m_notes->setGeometry(text.right() + 1, text.top(), viewportMargins().right(), text.height());
    }
}

void ListTextEdit::PaintNotes(QPaintEvent* event) {
    QPainter painter(m_notes);
    painter.fillRect(event->rect(), palette().window());
    painter.setPen(palette().placeholderText().color());
    const int lineHeight = fontMetrics().height();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF shape = blockBoundingGeometry(block).translated(contentOffset());
        if (shape.top() > event->rect().bottom()) {
            break;
        }
        // Beside the line's first row on screen, however the line wraps.
        const QRect row(0, static_cast<int>(shape.top()), m_notes->width() - 4, lineHeight);
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, m_note(block.text()));
    }
}

} // namespace zandel::ui
