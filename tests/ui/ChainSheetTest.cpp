#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "core/settings/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "platform/ProgramLauncher.h"
#include "ui/UiTestSupport.h"
#include "ui/multistage/ChainSheet.h"
#include "ui/support/SheetDriver.h"
#include "support/RecordingServices.h"

namespace zandel {
namespace {

using test::Child;

constexpr const char* kNoBrowser =
    "ブラウザのパスが指定されていません。\n設定ダイアログを開いて、ブラウザを指定してください。";

void StoreList(AppSettings& settings, SettingsList list, const std::vector<std::string>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SetListEntry(settings, list, entries[i], static_cast<int>(i));
    }
}

std::vector<std::string> Proxies(int count) {
    std::vector<std::string> proxies;
    for (int i = 0; i < count; ++i) {
        proxies.push_back("10.0.0." + std::to_string(i) + ":3128");
    }
    return proxies;
}

// Multi-stage browsing: the browsing tab, the composed URL, and the two list tabs.
class ChainSheetTest : public QObject {
    Q_OBJECT

private:
    AppSettings& S() { return *m_settings; }
    void Open() {
        m_sheet = std::make_unique<ui::ChainSheet>(S(), m_launcher, nullptr);
        m_driver = std::make_unique<test::SheetDriver>(*m_sheet);
    }
    QComboBox* Box(const char* name) const { return Child<QComboBox>(m_sheet.get(), name); }
    QPushButton* Button(const char* name) const {
        return Child<QPushButton>(Child<QWidget>(m_sheet.get(), "delegate1"), name);
    }
    QPlainTextEdit* ListText(const char* page) const {
        return Child<QPlainTextEdit>(Child<QWidget>(m_sheet.get(), page), "listEdit");
    }
    QString Count(const char* page) const {
        return Child<QLabel>(Child<QWidget>(m_sheet.get(), page), "countLabel")->text();
    }
    std::string Launched() const {
        return m_launcher.launches.empty() ? std::string("<none>") : m_launcher.launches.back().parameter;
    }

    std::unique_ptr<AppSettings> m_settings;
    RecordingLauncher m_launcher;
    test::MessageRecorder m_messages;
    std::unique_ptr<ui::ChainSheet> m_sheet;
    std::unique_ptr<test::SheetDriver> m_driver;

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<AppSettings>();
        m_launcher.launches.clear();
        m_launcher.starts = true;
        m_messages.Clear();
    }
    void cleanup() {
        m_driver.reset();
        m_sheet.reset();
    }

    void opensOnTheBrowsingTab() {
        Open();
        QCOMPARE(m_sheet->windowTitle(), QStringLiteral("多段接続を使ってﾌﾞﾗｳｼﾞﾝｸﾞ"));
        QCOMPARE(m_driver->Tabs()->tabText(0), QStringLiteral("ﾌﾞﾗｳｼﾞﾝｸﾞ"));
        QCOMPARE(m_driver->Tabs()->tabText(1), QStringLiteral("多段接続用ﾌﾟﾛｷｼﾘｽﾄ"));
        QCOMPARE(m_driver->Tabs()->tabText(2), QStringLiteral("接続先URLﾘｽﾄ"));
        QVERIFY(Button("browseButton")->isDefault());
    }

    void typedValuesComposeAndLaunch_data() {
        QTest::addColumn<QStringList>("typed"); // proxy 1, 2, 3, destination
        QTest::addColumn<QString>("composed");
        QTest::newRow("all") << QStringList{QStringLiteral("p1"), QStringLiteral("p2"), QStringLiteral("p3"),
                                            QStringLiteral("u")}
                             << QStringLiteral("http://p1/-_-http://p2/-_-http://p3/-_-http://u");
        QTest::newRow("no proxy 2") << QStringList{QStringLiteral("p1"), QStringLiteral(""), QStringLiteral("p3"),
                                                   QStringLiteral("u")}
                                    << QStringLiteral("http://p1/-_-http://p3/-_-http://u");
        QTest::newRow("own scheme") << QStringList{QStringLiteral(""), QStringLiteral(""), QStringLiteral(""),
                                                   QStringLiteral("http://u.invalid/")}
                                    << QStringLiteral("http://http://u.invalid/");
    }
    void typedValuesComposeAndLaunch() {
        QFETCH(QStringList, typed);
        QFETCH(QString, composed);
        S().BwPath = "/opt/browser";
        Open();
        QCOMPARE(Box("proxy1Combo")->count(), 0);
        QCOMPARE(Box("urlCombo")->count(), 0);
        const char* boxes[] = {"proxy1Combo", "proxy2Combo", "proxy3Combo", "urlCombo"};
        for (int i = 0; i < 4; ++i) {
            test::TypeText(Box(boxes[i]), typed[i]);
        }
        QTest::keyClick(Box("urlCombo")->lineEdit(), Qt::Key_Return);
        QCOMPARE(m_launcher.launches.size(), 1U);
        QCOMPARE(m_launcher.launches[0].program, std::string("/opt/browser"));
        QCOMPARE(Launched(), composed.toStdString());
        QVERIFY(m_driver->IsOpen());
        QCOMPARE(Box("urlCombo")->count(), 0); // typing never adds to the list
        QVERIFY(!m_driver->ApplyEnabled());
    }

    void browserThatCannotStartIsReported_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("launches");
        QTest::newRow("no path") << QString() << true << QString::fromUtf8(kNoBrowser) << 0;
        QTest::newRow("cannot start") << QStringLiteral("no-such-browser") << false
                                      << QString::fromStdString(LaunchFailedText("no-such-browser")) << 1;
    }
    void browserThatCannotStartIsReported() {
        QFETCH(QString, path);
        QFETCH(bool, starts);
        QFETCH(QString, message);
        QFETCH(int, launches);
        S().BwPath = path.toStdString();
        m_launcher.starts = starts;
        Open();
        test::TypeText(Box("urlCombo"), QStringLiteral("u"));
        Button("browseButton")->click();
        QCOMPARE(m_messages.Boxes().size(), 1U);
        QCOMPARE(m_messages.Boxes()[0].text, message.toStdString());
        QCOMPARE(m_messages.Boxes()[0].icon, MbIcon::Warning);
        QCOMPARE(static_cast<int>(m_launcher.launches.size()), launches);
        QVERIFY(m_driver->IsOpen());
    }

    void storedChoicesPickTheirEntries() {
        StoreList(S(), SettingsList::ChainProxies, {"10.0.0.1:3128", "10.0.0.2:3128", "10.0.0.1:31280"});
        StoreList(S(), SettingsList::ChainUrls, {"www.example.com/", "www.example.org/"});
        S().Addr1 = "10.0.0.1:3128"; // the search starts at the second entry
        S().Addr2 = "192.0.2.1:80";  // in no entry
        S().Addr3 = "10.0.0.2";
        S().AccessUrl = "WWW.EXAMPLE.ORG";
        Open();
        QCOMPARE(Box("proxy1Combo")->count(), 3);
        QCOMPARE(Box("proxy1Combo")->currentText(), QStringLiteral("10.0.0.1:31280"));
        QCOMPARE(Box("proxy2Combo")->currentText(), QString());
        QCOMPARE(Box("proxy3Combo")->currentText(), QStringLiteral("10.0.0.2:3128"));
        QCOMPARE(Box("urlCombo")->currentText(), QStringLiteral("www.example.org/"));
        m_driver->ClickOk();
        QCOMPARE(S().Addr1, std::string("10.0.0.1:31280"));
        QCOMPARE(S().Addr2, std::string());
        QCOMPARE(S().AccessUrl, std::string("www.example.org/"));
    }

    void returningToTheBrowsingTabBringsBackWhatWasTyped() {
        StoreList(S(), SettingsList::ChainProxies, Proxies(3));
        StoreList(S(), SettingsList::ChainUrls, {"www.example.com/a", "www.example.com/b"});
        S().Addr1 = Proxies(3)[2];
        Open();
        Box("proxy1Combo")->setCurrentIndex(1);
        test::ReplaceText(Box("proxy2Combo"), QStringLiteral("typed.invalid:8080"));
        test::ReplaceText(Box("urlCombo"), QStringLiteral("www.example.com/B"));
        m_driver->ClickTab(1);
        QCOMPARE(m_driver->CurrentTab(), 1);
        m_driver->ClickTab(0);
        QCOMPARE(Box("proxy1Combo")->currentText(), QString::fromStdString(Proxies(3)[1]));
        QCOMPARE(Box("proxy2Combo")->currentText(), QStringLiteral("typed.invalid:8080"));
        QCOMPARE(Box("proxy3Combo")->currentText(), QString());
        // The typed text is shown as the entry it begins, letter case ignored.
        QCOMPARE(Box("urlCombo")->currentText(), QStringLiteral("www.example.com/b"));
        QCOMPARE(Box("urlCombo")->currentIndex(), 1);
    }

    void appliedProxyListIsOfferedAtOnce() {
        StoreList(S(), SettingsList::ChainProxies, Proxies(1));
        Open();
        m_driver->ClickTab(1);
        QCOMPARE(ListText("delegate2")->toPlainText(), QString::fromStdString(Proxies(1)[0]) + QLatin1Char('\n'));
        QCOMPARE(Count("delegate2"), QStringLiteral("1件"));
        QPlainTextEdit* text = ListText("delegate2");
        text->moveCursor(QTextCursor::End);
        test::TypeText(text, QStringLiteral("new.invalid:8080"));
        QCOMPARE(Count("delegate2"), QStringLiteral("2件"));
        QVERIFY(m_driver->ApplyEnabled());

        m_driver->ClickTab(0); // not applied yet: the old list
        QCOMPARE(Box("proxy3Combo")->count(), 1);
        m_driver->ClickTab(1);
        m_driver->ClickApply();
        QVERIFY(!m_driver->ApplyEnabled());
        m_driver->ClickTab(0);
        for (const char* box : {"proxy1Combo", "proxy2Combo", "proxy3Combo"}) {
            QCOMPARE(Box(box)->count(), 2);
            QCOMPARE(Box(box)->itemText(1), QStringLiteral("new.invalid:8080"));
        }
    }

    void cancelStoresNoList() {
        StoreList(S(), SettingsList::ChainUrls, {"www.example.com/"});
        Open();
        m_driver->ClickTab(2);
        ListText("delegate3")->setPlainText(QStringLiteral("www.example.net/"));
        test::TypeText(Box("urlCombo"), QString());
        m_driver->ClickCancel();
        QCOMPARE(ListEntries(S(), SettingsList::ChainUrls), std::vector<std::string>{"www.example.com/"});
    }

    void listLinesAreStoredWholeUpToFifty_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("message");
        QTest::newRow("50") << 50 << false;
        QTest::newRow("51") << 51 << true;
    }
    void listLinesAreStoredWholeUpToFifty() {
        QFETCH(int, lines);
        QFETCH(bool, message);
        StoreList(S(), SettingsList::ChainProxies, Proxies(50));
        Open();
        m_driver->ClickTab(1);
        QVERIFY(!ListText("delegate2")->toPlainText().endsWith(QLatin1Char('\n')));
        std::vector<std::string> typed = Proxies(lines);
        typed[0] = "  10.0.0.1:3128 x";
        QStringList text;
        for (const std::string& line : typed) {
            text.append(QString::fromStdString(line));
        }
        ListText("delegate2")->setPlainText(text.join(QLatin1Char('\n')));
        m_driver->ClickOk();
        QCOMPARE(m_messages.Boxes().size(), message ? 1U : 0U);
        if (message) {
            QCOMPARE(m_messages.Boxes()[0].text,
                     std::string("50件以上登録されました.\n50件以降のアドレスは無視されます"));
        }
        typed.resize(50);
        QCOMPARE(ListEntries(S(), SettingsList::ChainProxies), typed);
    }

    void clearEmptiesOnlyItsProxy() {
        StoreList(S(), SettingsList::ChainProxies, Proxies(3));
        S().Addr1 = Proxies(3)[0];
        S().Addr2 = Proxies(3)[1];
        Open();
        test::ReplaceText(Box("proxy3Combo"), QStringLiteral("typed.invalid:1"));
        Button("clear2Button")->click();
        QCOMPARE(Box("proxy1Combo")->currentText(), QString::fromStdString(Proxies(3)[0]));
        QCOMPARE(Box("proxy2Combo")->currentText(), QString());
        QCOMPARE(Box("proxy3Combo")->currentText(), QStringLiteral("typed.invalid:1"));
    }

    void overlongTypedProxyKeepsTheTab() {
        Open();
        Box("proxy2Combo")->setEditText(QString(257, QLatin1Char('p')));
        m_driver->ClickTab(2);
        QCOMPARE(m_messages.Boxes().size(), 1U);
        QCOMPARE(m_messages.Boxes()[0].text, std::string("256 文字以内で入力してください。"));
        QCOMPARE(m_driver->CurrentTab(), 0);
        QTRY_VERIFY(Box("proxy2Combo")->hasFocus());
        QCOMPARE(Box("proxy2Combo")->lineEdit()->selectedText().size(), 257);
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::ChainSheetTest)
#include "ChainSheetTest.moc"
