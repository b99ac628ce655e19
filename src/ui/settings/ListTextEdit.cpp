#include "ui/settings/ListTextEdit.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>

#include "core/settings/ListText.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

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

} // namespace zandel::ui
