#include <memory>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "core/settings/AppSettings.h"
#include "platform/ProgramLauncher.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/settings/SettingsSheet.h"
#include "ui/support/SheetDriver.h"
#include "ui/support/SheetFixture.h"
#include "ui/util/TextCodec.h"

namespace zandel {
namespace {

using test::Child;

constexpr int kUserAgentTab = 2;
constexpr const char* kLimitMessage = "100個のUser-Agentが追加されました\nこれ以上は追加できません";

std::string Lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "agent " + std::to_string(i) + "\r\n";
    }
    return text;
}

// The User-Agent tab and its list file "USER.DAT".
class UserAgentPageTest : public QObject {
    Q_OBJECT

private:
    void Open(const std::string& listPath = {}) {
        m_fx.Open(listPath);
        m_fx.driver->ClickTab(kUserAgentTab);
        QCOMPARE(m_fx.driver->CurrentTab(), kUserAgentTab);
    }
    void Open(UserAgentFiles files) {
        m_fx.Open(std::move(files));
        m_fx.driver->ClickTab(kUserAgentTab);
        QCOMPARE(m_fx.driver->CurrentTab(), kUserAgentTab);
    }
    QListWidget* List() const { return Child<QListWidget>(m_fx.sheet.get(), "userAgentList"); }
    QPushButton* Button(const char* name) const {
        return Child<QPushButton>(Child<QWidget>(m_fx.sheet.get(), "prop2"), name);
    }
    QLineEdit* NewEntry() const { return Child<QLineEdit>(m_fx.sheet.get(), "newUserAgentEdit"); }
    QString Current() const { return Child<QLineEdit>(m_fx.sheet.get(), "currentUserAgentEdit")->text(); }
    void Add(const QString& entry) {
        test::TypeText(NewEntry(), entry);
        Button("addButton")->click();
    }

    test::SheetFixture m_fx;

private Q_SLOTS:
    void init() { m_fx.Reset(); }
    void cleanup() { m_fx.Teardown(); }

    void withoutAFileTheListStartsEmptyAndIsWrittenOnClose() {
        Open();
        QCOMPARE(List()->count(), 0);
        QVERIFY(!Button("setButton")->isEnabled());
        QVERIFY(!Button("deleteButton")->isEnabled());
        QCOMPARE(Current(), QString::fromUtf8(kDefaultUserAgent));

        Add(QStringLiteral("Agent/1.0"));
        QCOMPARE(List()->count(), 1);
        QCOMPARE(List()->currentRow(), 0);
        QVERIFY(Button("setButton")->isEnabled());
        QVERIFY(Button("deleteButton")->isEnabled());
        QVERIFY(NewEntry()->text().isEmpty());
        QVERIFY(m_fx.driver->ApplyEnabled());
        QVERIFY(!m_fx.dir->Exists("USER.DAT"));
        m_fx.driver->ClickOk();
        QCOMPARE(m_fx.dir->Read("USER.DAT"), std::string("Agent/1.0\r\n"));
    }

    void fullFileIsCutToAHundredAndTheUserTold_data() {
        QTest::addColumn<int>("lines");
        QTest::newRow("120 lines") << 120;
        QTest::newRow("100 lines") << 100;
    }
    void fullFileIsCutToAHundredAndTheUserTold() {
        QFETCH(int, lines);
        m_fx.dir->Write("USER.DAT", Lines(lines));
        Open();
        QCOMPARE(List()->count(), 100);
        QCOMPARE(m_fx.messages.Boxes().size(), 1U);
        QCOMPARE(m_fx.messages.Boxes()[0].text, std::string(kLimitMessage));
        QCOMPARE(List()->currentRow(), 0);

        Add(QStringLiteral("one more"));
        QCOMPARE(m_fx.messages.Boxes().size(), 2U);
        QCOMPARE(m_fx.messages.Boxes()[1].text, std::string(kLimitMessage));
        QCOMPARE(List()->count(), 100);
        m_fx.driver->ClickCancel();
        QCOMPARE(m_fx.dir->Read("USER.DAT"), Lines(100));
    }

    // Entries the Windows program wrote (Shift-JIS, empty lines) go back byte for byte.
    void foreignEntriesAreWrittenBackUnchanged() {
        const std::string file = "Mozilla/4.0 (\x83\x65\x83\x58\x83\x67)\r\n\r\nplain\r\n";
        m_fx.dir->Write("USER.DAT", file);
        Open();
        QCOMPARE(List()->count(), 3);
        QCOMPARE(List()->item(0)->text(), QStringLiteral("Mozilla/4.0 (テスト)"));
        m_fx.driver->ClickOk();
        QCOMPARE(m_fx.dir->Read("USER.DAT"), file);
    }

    void longEntriesSurviveAReopen() {
        Open();
        const QString ascii(258, QLatin1Char('L'));
        const QString japanese(86, QChar(0x3042));
        Add(ascii);
        Add(japanese);
        m_fx.driver->ClickOk();
        m_fx.sheet.reset();
        Open();
        QCOMPARE(List()->count(), 2);
        QCOMPARE(List()->item(0)->text(), ascii);
        QCOMPARE(List()->item(1)->text(), japanese);
    }

    void cancelKeepsTheListButNotTheChoice() {
        S().UserAgent = "Stored/1.0";
        Open();
        Add(QStringLiteral("Registered/2.0"));
        Button("setButton")->click();
        QCOMPARE(Current(), QStringLiteral("Registered/2.0"));
        m_fx.driver->ClickCancel();
        QCOMPARE(m_fx.dir->Read("USER.DAT"), std::string("Registered/2.0\r\n"));
        QCOMPARE(S().UserAgent, std::string("Stored/1.0"));
    }

    void setStoresTheEntryAndClearsTheBrowserFlag_data() {
        QTest::addColumn<bool>("useBrowser");
        QTest::newRow("flag off") << false;
        QTest::newRow("flag on") << true;
    }
    void setStoresTheEntryAndClearsTheBrowserFlag() {
        QFETCH(bool, useBrowser);
        S().UserAgentOn = useBrowser;
        m_fx.dir->Write("USER.DAT", "First/1.0\r\nSecond/2.0\r\n");
        Open();
        test::TypeText(NewEntry(), QStringLiteral("half typed"));
        List()->setCurrentRow(1);
        Button("setButton")->click();
        QCOMPARE(NewEntry()->text(), QStringLiteral("half typed"));
        m_fx.driver->ClickOk();
        QCOMPARE(S().UserAgent, std::string("Second/2.0"));
        QVERIFY(!S().UserAgentOn);
    }

    void browserFlagShowsTheDefault() {
        S().UserAgentOn = true;
        S().UserAgent = "Stored/1.0";
        Open();
        QCOMPARE(Current(), QString::fromUtf8(kDefaultUserAgent));
        m_fx.driver->ClickOk();
        QCOMPARE(S().UserAgent, std::string(kDefaultUserAgent));
        QVERIFY(S().UserAgentOn);
    }

    void defaultAloneLeavesApplyDisabledButOkStoresIt() {
        S().UserAgent = "Stored/1.0";
        Open();
        QCOMPARE(Current(), QStringLiteral("Stored/1.0"));
        Button("defaultButton")->click();
        QCOMPARE(Current(), QString::fromUtf8(kDefaultUserAgent));
        QVERIFY(!m_fx.driver->ApplyEnabled());
        m_fx.driver->ClickOk();
        QCOMPARE(S().UserAgent, std::string(kDefaultUserAgent));
    }

    void deletingSelectsTheNeighbour() {
        m_fx.dir->Write("USER.DAT", "a\r\nb\r\nc\r\n");
        Open();
        List()->setCurrentRow(2);
        Button("deleteButton")->click();
        QCOMPARE(List()->count(), 2);
        QCOMPARE(List()->currentRow(), 1);
        List()->setCurrentRow(0);
        Button("deleteButton")->click();
        QCOMPARE(List()->currentItem()->text(), QStringLiteral("b"));
        Button("deleteButton")->click();
        QVERIFY(!Button("deleteButton")->isEnabled());
        QVERIFY(!Button("setButton")->isEnabled());
        QVERIFY(m_fx.driver->ApplyEnabled());
        m_fx.driver->ClickCancel();
        QCOMPARE(m_fx.dir->Read("USER.DAT"), std::string());
    }

    // The list added on the page would be gone at the next start: the user is told which file failed.
    void unwritableFileIsReportedByName() {
        const std::string path = m_fx.dir->File("missing-folder/USER.DAT");
        Open(path);
        Add(QStringLiteral("Agent/1.0"));
        m_fx.driver->ClickOk();
        QCOMPARE(m_fx.messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_fx.messages.Boxes()[0].text, path + " を保存できませんでした。保存先のﾌｫﾙﾀﾞが見つかりません。");
        QVERIFY(!m_fx.driver->IsOpen());
    }

    // A list that cannot be written where it lies (a read-only program folder) is shown as it is. Looking makes no
    // copy; its first change is said once and, when there is somewhere to keep it, copies it whole there.
    void readOnlyListIsShownAndCopiedOnItsFirstChange_data() {
        QTest::addColumn<bool>("keptSomewhere");
        QTest::newRow("settings folder") << true;
        QTest::newRow("nowhere") << false;
    }
    void readOnlyListIsShownAndCopiedOnItsFirstChange() {
        QFETCH(bool, keptSomewhere);
        const std::string old = m_fx.dir->Write("USER.DAT", "Old/1.0\r\n");
        const UserAgentFiles files{old, keptSomewhere ? m_fx.dir->File("kept.DAT") : std::string(), "moved"};
        Open(files);
        QCOMPARE(List()->count(), 1);
        m_fx.driver->ClickCancel();
        QCOMPARE(m_fx.dir->Listing(), std::string("USER.DAT"));
        QVERIFY(m_fx.messages.Boxes().empty());

        m_fx.sheet.reset();
        Open(files);
        Add(QStringLiteral("New/2.0"));
        QCOMPARE(m_fx.MessageTexts(), std::vector<std::string>{"moved"});
        Add(QStringLiteral("More/3.0"));
        Button("deleteButton")->click();
        QCOMPARE(m_fx.messages.Boxes().size(), std::size_t{1});
        m_fx.driver->ClickOk();
        QCOMPARE(m_fx.messages.Boxes().size(), std::size_t{1});
        QCOMPARE(m_fx.dir->Read("USER.DAT"), std::string("Old/1.0\r\n"));
        if (keptSomewhere) {
            QCOMPARE(m_fx.dir->Read("kept.DAT"), std::string("Old/1.0\r\nNew/2.0\r\n"));
        } else {
            QCOMPARE(m_fx.dir->Listing(), std::string("USER.DAT"));
        }
    }

    void pageNeverOpenedLeavesTheFileAlone() {
        m_fx.dir->Write("USER.DAT", "kept\n");
        m_fx.sheet = std::make_unique<ui::SettingsSheet>(
            *m_fx.settings, m_fx.launcher, UserAgentFiles{m_fx.dir->File("USER.DAT"), m_fx.dir->File("USER.DAT"), {}},
            nullptr);
        m_fx.driver = std::make_unique<test::SheetDriver>(*m_fx.sheet);
        m_fx.driver->ClickOk();
        QCOMPARE(m_fx.dir->Read("USER.DAT"), std::string("kept\n"));
    }

private:
    AppSettings& S() { return *m_fx.settings; }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::UserAgentPageTest)
#include "UserAgentPageTest.moc"
