// The main window on an X server with a real window manager (run-on-desktop.sh starts both), which frames a
// window some time after it was shown and stacks the windows as it sees fit.

#include <functional>
#include <memory>
#include <string>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "core/settings/AppSettings.h"
#include "ui/app/MainApp.h"
#include "ui/support/AppRig.h"
#include "ui/app/SplashDlg.h"
#include "ui/frame/CheckBar.h"
#include "ui/frame/MainFrame.h"
#include "ui/list/ListRows.h"
#include "ui/list/ProxyListView.h"

namespace zandel {
namespace {

using ui::CMainApp;

constexpr int kFrameWaitMs = 10000;

// Waits until `probe` has given the same answer for half a second: the window manager has done with the window.
void WaitUntilSteady(const std::function<QRect()>& probe) {
    QElapsedTimer total;
    total.start();
    QElapsedTimer steady;
    steady.start();
    QRect last = probe();
    while (steady.elapsed() < 500 && total.elapsed() < kFrameWaitMs) {
        QTest::qWait(20);
        const QRect now = probe();
        if (now != last) {
            last = now;
            steady.restart();
        }
    }
}

QString Describe(const QRect& rect) {
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

// Whether `widget` lies wholly within `area`, on the screen.
bool LiesWithin(const QWidget& widget, const QRect& area) {
    return area.contains(QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size()));
}

// The scroll area a page's control lies in; none outside one.
QAbstractScrollArea* ScrollerOf(const QWidget& widget) {
    for (QWidget* above = widget.parentWidget(); above != nullptr; above = above->parentWidget()) {
        if (auto* scroller = qobject_cast<QAbstractScrollArea*>(above)) {
            return scroller;
        }
    }
    return nullptr;
}

// What of a dialog, once framed, lies out of the work area: the dialog itself, a button outside its pages, or
// `lastField` (a page's control) when it has taken the focus; empty when everything is within reach.
QString WhatIsOutOfReach(QDialog& dialog, const QString& lastField) {
    if (!QTest::qWaitFor([&dialog] { return !dialog.windowHandle()->frameMargins().isNull(); }, kFrameWaitMs)) {
        return QStringLiteral("the dialog was never framed");
    }
    // Its frame as the window system has it: Qt's own sum of the two is now and then caught half made.
    const auto framed = [&dialog] {
        return dialog.windowHandle()->geometry().marginsAdded(dialog.windowHandle()->frameMargins());
    };
    WaitUntilSteady(framed);
    const QRect area = dialog.screen()->availableGeometry();
    if (const QRect outer = framed(); !area.contains(outer)) {
        return Describe(outer) + QStringLiteral(" reaches out of ") + Describe(area);
    }
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->isVisible() && ScrollerOf(*button) == nullptr && !LiesWithin(*button, area)) {
            return button->text() + QStringLiteral(" lies out of ") + Describe(area);
        }
    }
    if (lastField.isEmpty()) {
        return {};
    }
    auto* field = dialog.findChild<QWidget*>(lastField);
    QAbstractScrollArea* page = field != nullptr ? ScrollerOf(*field) : nullptr;
    if (page == nullptr) {
        return lastField + QStringLiteral(" is on no page");
    }
    field->setFocus();
    const QRect shown(page->viewport()->mapToGlobal(QPoint(0, 0)), page->viewport()->size());
    if (!QTest::qWaitFor([field, shown] { return LiesWithin(*field, shown); }, kFrameWaitMs)) {
        return lastField + QStringLiteral(" took the focus out of view");
    }
    return {};
}

// How many of the splash's pixels the screen shows where the splash is.
double ShareOfSplashOnScreen(ui::CSplashDlg& splash) {
    const QImage own = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect area = splash.frameGeometry();
    const QImage shown =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    const QImage screen = shown.convertToFormat(QImage::Format_RGB32);
    if (screen.size() != own.size()) {
        return 0;
    }
    int same = 0;
    for (int y = 0; y < own.height(); ++y) {
        for (int x = 0; x < own.width(); ++x) {
            same += own.pixel(x, y) == screen.pixel(x, y) ? 1 : 0;
        }
    }
    return static_cast<double>(same) / (own.width() * own.height());
}

void OnTopRows() {
    QTest::addColumn<bool>("onTop");
    QTest::newRow("normal") << false;
    QTest::newRow("always on top") << true;
}

class DesktopTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::AppRig> m_rig;

    // Starts the program and waits for the window manager to have framed the window; none when it did not.
    std::unique_ptr<CMainApp> Start() {
        auto app = m_rig->MakeApp();
        if (app->InitInstance() != AppLifecycle::Start::Running) {
            return nullptr;
        }
        ui::CMainFrame* frame = app->MainFrame();
        const bool framed =
            QTest::qWaitFor([frame] { return !frame->windowHandle()->frameMargins().isNull(); }, kFrameWaitMs);
        return framed ? std::move(app) : nullptr;
    }

    void WriteSettings(const std::string& extra) {
        m_rig->dir.Write("PrxSet.ini", "[Window]\r\nLeft=200\r\nTop=150\r\nBottom=700\r\nRight=1000\r\n" + extra);
    }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<test::AppRig>(); }
    void cleanup() { m_rig.reset(); }

    void savedRectangleStaysTheSameStartAfterStart_data() { OnTopRows(); }

    void savedRectangleStaysTheSameStartAfterStart() {
        QFETCH(bool, onTop);
        WriteSettings(onTop ? "[ProxyForegroundWindow]\r\nForegroundWindow=1\r\n" : "");
        const QRect saved(QPoint(200, 150), QPoint(999, 699));
        for (int start = 1; start <= 3; ++start) {
            auto app = Start();
            QVERIFY(app != nullptr);
            ui::CMainFrame* frame = app->MainFrame();
            WaitUntilSteady([frame] { return frame->frameGeometry(); });
            QCOMPARE(frame->frameGeometry(), saved);
            QCOMPARE(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
            app->ExitInstance();
            AppSettings next;
            next.StartDir = m_rig->dir.Path();
            const WindowRect rect = ReadWindowRect(next);
            QCOMPARE(QRect(QPoint(rect.Left, rect.Top), QPoint(rect.Right - 1, rect.Bottom - 1)), saved);
        }
    }

    void firstStartOnTopKeepsTheTitleBarOnScreen() {
        m_rig->dir.Write("PrxSet.ini", "[ProxyForegroundWindow]\r\nForegroundWindow=1\r\n");
        auto app = Start();
        QVERIFY(app != nullptr);
        ui::CMainFrame* frame = app->MainFrame();
        WaitUntilSteady([frame] { return frame->geometry(); });
        const QMargins margins = frame->windowHandle()->frameMargins();
        QVERIFY(margins.top() > 0);
        QVERIFY2(frame->frameGeometry().top() >= 0, "the title bar is above the screen");
        QCOMPARE(frame->geometry().top() - frame->frameGeometry().top(), margins.top());
    }

    // Saved at one scale and started at twice it (QT_SCALE_FACTOR=2, a run of its own): the window lies wholly
    // inside the work area, the title bar and the edges within reach.
    void restoredWindowLiesInsideTheWorkArea() {
        WriteSettings("");
        auto app = Start();
        QVERIFY(app != nullptr);
        ui::CMainFrame* frame = app->MainFrame();
        WaitUntilSteady([frame] { return frame->frameGeometry(); });
        const QRect area = frame->screen()->availableGeometry();
        const QRect outer = frame->frameGeometry();
        QVERIFY2(area.contains(outer),
                 qPrintable(Describe(outer) + QStringLiteral(" reaches out of ") + Describe(area)));
    }

    void dialogsAndBarsStayWithinReach_data() {
        QTest::addColumn<QString>("command");   // none: a file dialog of the window's own
        QTest::addColumn<QString>("lastField"); // a page's last control, brought into view when it takes the focus
        QTest::newRow("詳細設定") << QStringLiteral("settings") << QStringLiteral("openCheckCheck");
        QTest::newRow("多段接続") << QStringLiteral("multiStage") << QString();
        // The window's own Qt file dialog, as the desktop without a platform theme shows it.
        QTest::newRow("file dialog") << QString() << QString();
    }

    // At any scale (QT_SCALE_FACTOR=2 on 1280x800 in a run of its own) the check bar's buttons stay out of the
    // bar's overflow, and a dialog lies wholly in the work area with its buttons, its pages scrolled where they
    // cannot fit.
    void dialogsAndBarsStayWithinReach() {
        QFETCH(QString, command);
        QFETCH(QString, lastField);
        auto app = Start();
        QVERIFY(app != nullptr);
        ui::CMainFrame* frame = app->MainFrame();
        WaitUntilSteady([frame] { return frame->frameGeometry(); });
        for (QWidget* button : {frame->GetCheckBar()->StartStopButton(), frame->GetCheckBar()->SkipButton()}) {
            QVERIFY2(button->isVisible() && LiesWithin(*button, frame->geometry()), qPrintable(button->objectName()));
        }

        // The dialog is looked at from within its own event loop, and closed whatever was found.
        QString outOfReach = QStringLiteral("no dialog came");
        QTimer::singleShot(0, frame, [&outOfReach, lastField] {
            if (!QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, kFrameWaitMs)) {
                return;
            }
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            outOfReach = dialog != nullptr ? WhatIsOutOfReach(*dialog, lastField) : QStringLiteral("not a dialog");
            QApplication::activeModalWidget()->close();
        });
        if (command.isEmpty()) {
            QFileDialog files(frame);
            files.setOption(QFileDialog::DontUseNativeDialog);
            files.exec();
        } else {
            test::RequireEnabledAction(frame, command)->trigger();
        }
        QVERIFY2(outOfReach.isEmpty(), qPrintable(outOfReach));
    }

    // The window's icon as X11 readers get it: every installed size, smallest first, so that a reader that takes
    // only the property's first megabyte (xprop as it is, some task bars) still gets every size but the largest.
    void windowIconCarriesEverySizeSmallestFirst() {
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty()) {
            QSKIP("xprop is not installed");
        }
        auto app = Start();
        QVERIFY(app != nullptr);
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-len"), QStringLiteral("100000000"), QStringLiteral("-id"),
                     QString::number(app->MainFrame()->winId()), QStringLiteral("-notype"), QStringLiteral("32c"),
                     QStringLiteral("_NET_WM_ICON")});
        QVERIFY(xprop.waitForFinished(kFrameWaitMs));
        const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
        const QStringList values = out.mid(out.indexOf(QLatin1Char('=')) + 1).split(QLatin1Char(','));
        const auto value = [&values](qsizetype at) { return values[at].trimmed().toInt(); };
        QList<int> sides; // each image: width, height, then its pixels
        for (qsizetype at = 0; at + 1 < values.size(); at += 2 + qsizetype{value(at)} * value(at + 1)) {
            sides << value(at);
        }
        QCOMPARE(sides, (QList<int>{16, 24, 32, 48, 64, 128, 256}));
    }

    // A later start from a terminal in another folder, naming a list: before it ends, the window is back from
    // the tray (minimized here, where there is none) and in front, and the list is added as if dropped on it.
    void laterStartBringsTheWindowBackWithItsList() {
        WriteSettings("[ProxyTaskTray]\r\nOn=1\r\n");
        auto app = Start();
        QVERIFY(app != nullptr);
        ui::CMainFrame* frame = app->MainFrame();
        QTRY_VERIFY_WITH_TIMEOUT(frame->isMinimized(), kFrameWaitMs);
        const QString elsewhere = QString::fromStdString(m_rig->dir.File("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        m_rig->dir.Write("elsewhere/given.txt", "10.0.0.8:80\r\n10.0.0.9:80\r\n");

        QProcess later;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(m_rig->dir.Path()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(m_rig->dir.File("config")));
        later.setProcessEnvironment(env);
        later.setWorkingDirectory(elsewhere);
        bool minimizedAtItsEnd = true;
        connect(&later, &QProcess::finished, this, [&] { minimizedAtItsEnd = frame->isMinimized(); });
        later.start(QStringLiteral(ZANDEL_BIN), {QStringLiteral("given.txt")});
        QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, 20000);
        QCOMPARE(later.exitStatus(), QProcess::NormalExit);
        QCOMPARE(later.exitCode(), 0);
        QVERIFY2(!minimizedAtItsEnd, "the later start ended with the window still away");
        QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), kFrameWaitMs);
        QVERIFY(!app->Settings().TaskTray);
        QTRY_COMPARE(frame->View()->Rows().RowCount(), 2);
        QCOMPARE(frame->windowTitle(), QStringLiteral("Zandel - given.txt"));
    }

    void splashShowsAboveTheMainWindow_data() { OnTopRows(); }

    void splashShowsAboveTheMainWindow() {
        QFETCH(bool, onTop);
        // The main window covers the middle of the screen, where the splash is.
        WriteSettings(onTop ? "[ProxyForegroundWindow]\r\nForegroundWindow=1\r\n" : "");
        auto app = Start();
        QVERIFY(app != nullptr);
        if (app->Splash() == nullptr) {
            QSKIP("the splash had had its second before the window manager framed the main window");
        }
        QVERIFY(app->MainFrame()->frameGeometry().contains(app->Splash()->frameGeometry()));
        // Until it closes by itself after its second.
        QTRY_VERIFY_WITH_TIMEOUT(app->Splash() == nullptr || ShareOfSplashOnScreen(*app->Splash()) > 0.95, 900);
        QVERIFY(app->Splash() != nullptr);
    }

    void minimizedInPlaceOfTheTrayAndBroughtBackByTheWindowManager() {
        // Without a tray "in the tray" is minimized; the window manager brings it back.
        WriteSettings("[ProxyTaskTray]\r\nOn=1\r\n");
        auto app = Start();
        QVERIFY(app != nullptr);
        ui::CMainFrame* frame = app->MainFrame();
        WaitUntilSteady([frame] { return frame->geometry(); });
        QVERIFY(frame->isMinimized());
        QVERIFY(app->Settings().TaskTray);

        // As a task bar or a window list asks the window manager for it.
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            QSKIP("xdotool is not installed");
        }
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("windowactivate"), QString::number(frame->winId())}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->isMinimized(), kFrameWaitMs);
        QVERIFY(!app->Settings().TaskTray);
        app->ExitInstance();
        QVERIFY(m_rig->dir.Read("PrxSet.ini").find("[ProxyTaskTray]\r\nOn=0") != std::string::npos);
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::DesktopTest)
#include "DesktopTest.moc"
