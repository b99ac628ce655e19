#include "ui/frame/MainFrame.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

#include "core/fetch/ListFetcher.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"
#include "ui/util/TextCodec.h"

// The status bar: the prompt, and the panes of counts that show only while they have something to say.
namespace zandel::ui {

namespace {

// How often a long read lets the window draw itself and hear Esc.
constexpr int kReadingTurnMs = 100;

// While a list is read between turns of the event loop, a click, a key or a close would act on a list half read:
// only Esc gets through, and it stops the read.
class ReadingInput final : public QObject {
public:
    explicit ReadingInput(QWidget& window) : m_window(window) {}
    bool stopped = false;

protected:
    // Another window (a message box, say) is not the list's: its input goes through. The start's splash over the
    // window is: a list named on the command line is read while it is up, and Esc there must stop it too.
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        const QWidget* window = widget != nullptr ? widget->window() : nullptr;
        const bool splash =
            window != nullptr && window->windowType() == Qt::SplashScreen && window->parentWidget() == &m_window;
        if (window == nullptr || (window != &m_window && !splash)) {
            return QObject::eventFilter(watched, event);
        }
        switch (event->type()) {
        case QEvent::KeyPress:
            stopped = stopped || static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::ContextMenu:
        case QEvent::Drop:
        case QEvent::Close:
            event->ignore();
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    QWidget& m_window;
};

QLabel* CountPane(const QString& widest, const QString& objectName, QWidget* parent) {
    auto* pane = new QLabel(widest, parent);
    pane->setObjectName(objectName);
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(widest) + 8);
    return pane;
}

} // namespace

void CMainFrame::BuildStatusBar() {
    auto* ready = new QLabel(QStringLiteral("ﾚﾃﾞｨ"), this);
    ready->setObjectName(QStringLiteral("readyText"));
    statusBar()->addWidget(ready, 1);
    m_servePane = new QLabel(this);
    m_servePane->setObjectName(QStringLiteral("servePane"));
    m_servePane->setContentsMargins(0, 0, 12, 0);
    m_servePane->setVisible(false);
    statusBar()->addPermanentWidget(m_servePane);
    m_rowCountPane = CountPane(QStringLiteral(" ﾌﾟﾛｷｼ : 0000 "), QStringLiteral("rowCountPane"), this);
    m_selectedCountPane = CountPane(QStringLiteral(" 選択 : 0000 "), QStringLiteral("selectedCountPane"), this);
    m_progressPane = CountPane(QStringLiteral(" ﾁｪｯｸ済 : 0000/0000 "), QStringLiteral("progressPane"), this);
    m_progressPane->setVisible(false);
    statusBar()->addPermanentWidget(m_progressPane);
    m_runningCountPane = CountPane(QStringLiteral(" ﾁｪｯｸ中 : 0000 "), QStringLiteral("runningCountPane"), this);
    m_runningCountPane->setVisible(false);
    statusBar()->addPermanentWidget(m_runningCountPane);
    m_shownCountPane = CountPane(QStringLiteral(" 表示 : 0000 / 0000 "), QStringLiteral("shownCountPane"), this);
    m_shownCountPane->setVisible(false);
    statusBar()->addPermanentWidget(m_shownCountPane);
    statusBar()->addPermanentWidget(m_rowCountPane);
    statusBar()->addPermanentWidget(m_selectedCountPane);
}

void CMainFrame::ShowFetching(const std::string& url) {
    auto* ready = findChild<QLabel*>(QStringLiteral("readyText"));
    // The window stays usable while the list comes, so the cursor only says that something is under way.
    if (url.empty()) {
        ready->setText(QStringLiteral("ﾚﾃﾞｨ"));
        if (m_busyCursor) {
            QApplication::restoreOverrideCursor();
            m_busyCursor = false;
        }
        return;
    }
    m_refetching = false;
    ready->setText(QStringLiteral("ﾘｽﾄを取得しています: %1").arg(FromBytes(ShownUrl(url))));
    if (!m_busyCursor) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_busyCursor = true;
    }
}

bool CMainFrame::KeepReading(int rowsRead) {
    if (!m_reading.isValid()) {
        m_reading.start();
        return true;
    }
    if (m_reading.elapsed() < kReadingTurnMs) {
        return true;
    }
    m_reading.restart();
    if (!m_readingInput) {
        m_readingInput = std::make_unique<ReadingInput>(*this);
        QCoreApplication::instance()->installEventFilter(m_readingInput.get());
    }
    findChild<QLabel*>(QStringLiteral("readyText"))
        ->setText(QStringLiteral("ﾘｽﾄを読み込んでいます : %1 行 (Escで中止)").arg(rowsRead));
    m_rowCountPane->setText(QStringLiteral("ﾌﾟﾛｷｼ : %1").arg(rowsRead));
    QCoreApplication::processEvents();
    return !static_cast<ReadingInput*>(m_readingInput.get())->stopped;
}

void CMainFrame::ReadingEnded() {
    m_reading.invalidate();
    if (m_readingInput) {
        QCoreApplication::instance()->removeEventFilter(m_readingInput.get());
        m_readingInput.reset();
        findChild<QLabel*>(QStringLiteral("readyText"))->setText(QStringLiteral("ﾚﾃﾞｨ"));
    }
}

void CMainFrame::ShowRunningCount(int count) {
    m_runningCount = count;
    PaceRunCounts();
}

void CMainFrame::ShowRunNotice(const QString& text) {
    statusBar()->showMessage(text);
}

void CMainFrame::ShowRunProgress(int done, int total) {
    m_runDone = done;
    m_runTotal = total;
    PaceRunCounts();
}

// Shown now unless a pause is on, whose end shows the latest.
void CMainFrame::PaceRunCounts() {
    if (!m_countsPause->isActive()) {
        ShowRunCounts();
        m_countsPause->start();
    }
}

void CMainFrame::ShowRunCounts() {
    const auto show = [](QLabel& pane, const QString& text, bool shown) {
        if (pane.text() != text) {
            pane.setText(text);
        }
        pane.setVisible(shown);
    };
    show(*m_runningCountPane, QStringLiteral("ﾁｪｯｸ中 : %1").arg(m_runningCount), m_runningCount > 0);
    show(*m_progressPane, QStringLiteral("ﾁｪｯｸ済 : %1/%2").arg(m_runDone).arg(m_runTotal), m_runTotal > 0);
}

void CMainFrame::UpdateCounts() {
    const int rows = m_view->Rows().RowCount();
    m_shownCountPane->setVisible(m_view->IsFiltered());
    if (m_view->IsFiltered()) {
        m_shownCountPane->setText(QStringLiteral("表示 : %1 / %2").arg(m_view->ShownRowCount()).arg(rows));
    }
    m_rowCountPane->setText(QStringLiteral("ﾌﾟﾛｷｼ : %1").arg(rows));
    m_selectedCountPane->setText(QStringLiteral("選択 : %1  ").arg(m_view->Rows().SelectedCount()));
}

} // namespace zandel::ui
