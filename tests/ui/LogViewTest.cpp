#include "ui/log/LogView.h"

#include <QTest>
#include <QTextBlock>

#include "core/log/LogBuffer.h"

namespace zandel {

class LogViewTest final : public QObject {
    Q_OBJECT

private:
    static std::string Lines(int from, int count) {
        std::string text;
        for (int i = from; i < from + count; ++i) {
            text += "line " + std::to_string(i) + "\r\n";
        }
        return text;
    }

private Q_SLOTS:
    void keepsTheLastThousandLinesWithTheCaretAtTheEnd() {
        ui::CLogView log;
        log.AppendText(Lines(0, 999));
        // 999 line ends: 1000 lines, the empty one after the last end included.
        QCOMPARE(log.document()->blockCount(), kMaxLogLines);
        QCOMPARE(log.document()->firstBlock().text(), QStringLiteral("line 0"));

        log.AppendText(Lines(999, 3));
        QCOMPARE(log.document()->blockCount(), kMaxLogLines);
        QCOMPARE(log.document()->firstBlock().text(), QStringLiteral("line 3"));
        QCOMPARE(log.document()->lastBlock().previous().text(), QStringLiteral("line 1001"));
        QCOMPARE(log.textCursor().position(), log.document()->characterCount() - 1);
    }

    // A batch longer than the log itself leaves just its own last lines, as appending them one by one would.
    void aBatchLongerThanTheLogKeepsItsLastLines() {
        ui::CLogView log;
        log.AppendText(Lines(0, 10));
        log.AppendText(Lines(10, 2500));
        LogBuffer expected;
        expected.AppendText(Lines(0, 10));
        expected.AppendText(Lines(10, 2500));
        std::string shown = expected.Text();
        for (auto at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n", at)) {
            shown.erase(at, 1);
        }
        QCOMPARE(log.toPlainText(), QString::fromStdString(shown));
        QCOMPARE(log.document()->blockCount(), kMaxLogLines);
    }

    void clearingThenAppendingShowsOnlyTheNewText() {
        ui::CLogView log;
        log.AppendText("old\r\n");
        log.ClearLog();
        log.AppendText("新しい行\r\n");
        QCOMPARE(log.toPlainText(), QStringLiteral("新しい行\n"));
        QVERIFY(log.isReadOnly());
    }
};

} // namespace zandel

QTEST_MAIN(zandel::LogViewTest)
#include "LogViewTest.moc"
