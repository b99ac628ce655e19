#include "ui/log/LogView.h"

#include <QFontDialog>
#include <QTextBlock>
#include <QTextDocument>

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
    setFont(LogFont());
    setStyleSheet(QStringLiteral("QPlainTextEdit { color: rgb(0,0,128); background-color: rgb(253,254,245); }"));
}

// A block is a line, and a text that ends in a line end counts the empty block after it, as the log does.
// The trim removes the oldest blocks in one step by position: the view's own block limit walks the blocks
// it removes one by one and lays each out first, which made a long run's log the slowest part of it.
void CLogView::AppendText(const std::string& text) {
    if (text.empty()) {
        return;
    }
    // The check writes CR LF; the view's lines end in LF alone.
    QString added = FromBytes(CrLfToLf(text));
    QTextDocument* log = document();
    const qsizetype breaks = added.count(u'\n');
    if (breaks >= kMaxLogLines) {
        // Everything shown now and the start of the new text would be trimmed at once: never laid out.
        qsizetype cut = -1;
        for (qsizetype skip = breaks - (kMaxLogLines - 1); skip > 0; --skip) {
            cut = added.indexOf(u'\n', cut + 1);
        }
        added = added.mid(cut + 1);
        log->clear();
    }
    QTextCursor end(log);
    end.setPosition(log->characterCount() - 1);
    end.insertText(added);

    const int excess = log->blockCount() - kMaxLogLines;
    if (excess > 0) {
        QTextCursor head(log);
        head.setPosition(0);
        head.setPosition(log->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
        head.removeSelectedText();
    }
    QTextCursor caret(log);
    caret.setPosition(log->characterCount() - 1);
    setTextCursor(caret);
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
