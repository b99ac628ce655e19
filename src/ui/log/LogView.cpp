#include "ui/log/LogView.h"

#include <QFontDialog>
#include <QScrollBar>

#include "core/log/LogBuffer.h"
#include "core/util/Text.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

QFont LogFont() {
    QFont font;
    // The Windows program's face first; IPA Gothic has the same metrics where it is missing.
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("monospace")});
    font.setPixelSize(13);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace

CLogView::CLogView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("logView"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    // A block is a line; a text that ends in a line end counts the empty block after it, as the log does.
    setMaximumBlockCount(kMaxLogLines);
    setFont(LogFont());
    setStyleSheet(QStringLiteral("QPlainTextEdit { color: rgb(0,0,128); background-color: rgb(253,254,245); }"));
}

void CLogView::AppendText(const std::string& text) {
    if (text.empty()) {
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // The check writes CR LF; the view's lines end in LF alone.
    cursor.insertText(FromBytes(CrLfToLf(text)));
    moveCursor(QTextCursor::End);
    ensureCursorVisible();
}

void CLogView::ChooseFont() {
    bool accepted = false;
    const QFont chosen = QFontDialog::getFont(&accepted, font(), this);
    if (accepted) {
        setFont(chosen);
    }
}

void CLogView::ClearLog() {
    setPlainText(QString());
}

} // namespace zandel::ui
