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

// A block is a line, and a text that ends in a line end counts the empty block after it, so the log's own
// trim applies to blocks. The oldest blocks go in one step by position: the view's own block limit walks the
// blocks it removes one by one and lays each out first, which made a long run's log the slowest part of it.
void CLogView::AppendText(const std::string& text) {
    if (text.empty()) {
        return;
    }
    // The check writes CR LF; the view's lines end in LF alone.
    QString added = FromBytes(CrLfToLf(text));
    QTextDocument* log = document();
    const LogTrim incoming = PlanLogTrim(log->blockCount(), static_cast<std::size_t>(added.count(u'\n')));
    if (incoming.clearShown) {
        // What is cut here is never laid out.
        qsizetype cut = -1;
        for (std::size_t skip = incoming.addedBreaks; skip > 0; --skip) {
            cut = added.indexOf(u'\n', cut + 1);
        }
        added = added.mid(cut + 1);
        log->clear();
    }
    QTextCursor end(log);
    end.setPosition(log->characterCount() - 1);
    end.insertText(added);

    // Counted again once inserted: a lone CR ends a block too.
    const LogTrim trim = PlanLogTrim(log->blockCount(), 0);
    if (trim.shownLines > 0) {
        QTextCursor head(log);
        head.setPosition(0);
        head.setPosition(log->findBlockByNumber(trim.shownLines).position(), QTextCursor::KeepAnchor);
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
