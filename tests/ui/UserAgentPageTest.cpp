#include <memory>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "core/app/AppSettings.h"
#include "platform/ProgramLauncher.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/settings/PropSheet.h"
#include "ui/support/SheetDriver.h"
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
        const std::string path = listPath.empty() ? m_dir->File("USER.DAT") : listPath;
        m_sheet = std::make_unique<ui::CPropSheet>(*m_settings, m_launcher, path, nullptr);
        m_driver = std::make_unique<test::SheetDriver>(*m_sheet);
        m_driver->ClickTab(kUserAgentTab);
        QCOMPARE(m_driver->CurrentTab(), kUserAgentTab);
    }
    QListWidget* List() const { return Child<QListWidget>(m_sheet.get(), "userAgentList"); }
    QPushButton* Button(const char* name) const {
        return Child<QPushButton>(Child<QWidget>(m_sheet.get(), "prop2"), name);
    }
    QLineEdit* NewEntry() const { return Child<QLineEdit>(m_sheet.get(), "newUserAgentEdit"); }
    QString Current() const { return Child<QLineEdit>(m_sheet.get(), "currentUserAgentEdit")->text(); }
    void Add(const QString& entry) {
        test::TypeText(NewEntry(), entry);
        Button("addButton")->click();
    }

    std::unique_ptr<AppSettings> m_settings;
    RecordingLauncher m_launcher;
    test::MessageRecorder m_messages;
    std::unique_ptr<test::TempDir> m_dir;
    std::unique_ptr<ui::CPropSheet> m_sheet;
    std::unique_ptr<test::SheetDriver> m_driver;

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<AppSettings>();
        m_messages.Clear();
        m_dir = std::make_unique<test::TempDir>();
    }
    void cleanup() {
        m_driver.reset();
        m_sheet.reset();
        m_dir.reset();
    }

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
        QVERIFY(m_driver->ApplyEnabled());
        QVERIFY(!m_dir->Exists("USER.DAT"));
        m_driver->ClickOk();
        QCOMPARE(m_dir->Read("USER.DAT"), std::string("Agent/1.0\r\n"));
    }

    void fullFileIsCutToAHundredAndTheUserTold_data() {
        QTest::addColumn<int>("lines");
        QTest::newRow("120 lines") << 120;
        QTest::newRow("100 lines") << 100;
    }
    void fullFileIsCutToAHundredAndTheUserTold() {
        QFETCH(int, lines);
        m_dir->Write("USER.DAT", Lines(lines));
        Open();
        QCOMPARE(List()->count(), 100);
        QCOMPARE(m_messages.Boxes().size(), 1U);
        QCOMPARE(m_messages.Boxes()[0].text, std::string(kLimitMessage));
        QCOMPARE(List()->currentRow(), 0);

        Add(QStringLiteral("one more"));
        QCOMPARE(m_messages.Boxes().size(), 2U);
        QCOMPARE(m_messages.Boxes()[1].text, std::string(kLimitMessage));
        QCOMPARE(List()->count(), 100);
        m_driver->ClickCancel();
        QCOMPARE(m_dir->Read("USER.DAT"), Lines(100));
    }

    // Entries the Windows program wrote (Shift-JIS, empty lines) go back byte for byte.
    void foreignEntriesAreWrittenBackUnchanged() {
        const std::string file = "Mozilla/4.0 (\x83\x65\x83\x58\x83\x67)\r\n\r\nplain\r\n";
        m_dir->Write("USER.DAT", file);
        Open();
        QCOMPARE(List()->count(), 3);
        QCOMPARE(List()->item(0)->text(), QStringLiteral("Mozilla/4.0 (テスト)"));
        m_driver->ClickOk();
        QCOMPARE(m_dir->Read("USER.DAT"), file);
    }

    void longEntriesSurviveAReopen() {
        Open();
        const QString ascii(258, QLatin1Char('L'));
        const QString japanese(86, QChar(0x3042));
        Add(ascii);
        Add(japanese);
        m_driver->ClickOk();
        m_sheet.reset();
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
        m_driver->ClickCancel();
        QCOMPARE(m_dir->Read("USER.DAT"), std::string("Registered/2.0\r\n"));
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
        m_dir->Write("USER.DAT", "First/1.0\r\nSecond/2.0\r\n");
        Open();
        test::TypeText(NewEntry(), QStringLiteral("half typed"));
        List()->setCurrentRow(1);
        Button("setButton")->click();
        QCOMPARE(NewEntry()->text(), QStringLiteral("half typed"));
        m_driver->ClickOk();
        QCOMPARE(S().UserAgent, std::string("Second/2.0"));
        QVERIFY(!S().UserAgentOn);
    }

    void browserFlagShowsTheDefault() {
        S().UserAgentOn = true;
        S().UserAgent = "Stored/1.0";
        Open();
        QCOMPARE(Current(), QString::fromUtf8(kDefaultUserAgent));
        m_driver->ClickOk();
        QCOMPARE(S().UserAgent, std::string(kDefaultUserAgent));
        QVERIFY(S().UserAgentOn);
    }

    void defaultAloneLeavesApplyDisabledButOkStoresIt() {
        S().UserAgent = "Stored/1.0";
        Open();
        QCOMPARE(Current(), QStringLiteral("Stored/1.0"));
        Button("defaultButton")->click();
        QCOMPARE(Current(), QString::fromUtf8(kDefaultUserAgent));
        QVERIFY(!m_driver->ApplyEnabled());
        m_driver->ClickOk();
        QCOMPARE(S().UserAgent, std::string(kDefaultUserAgent));
    }

    void deletingSelectsTheNeighbour() {
        m_dir->Write("USER.DAT", "a\r\nb\r\nc\r\n");
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
        QVERIFY(m_driver->ApplyEnabled());
        m_driver->ClickCancel();
        QCOMPARE(m_dir->Read("USER.DAT"), std::string());
    }

    void unwritableFileIsSilent() {
        Open(m_dir->File("missing-folder/USER.DAT"));
        Add(QStringLiteral("Agent/1.0"));
        m_driver->ClickOk();
        QVERIFY(m_messages.Boxes().empty());
        QVERIFY(!m_driver->IsOpen());
    }

    void pageNeverOpenedLeavesTheFileAlone() {
        m_dir->Write("USER.DAT", "kept\n");
        m_sheet = std::make_unique<ui::CPropSheet>(*m_settings, m_launcher, m_dir->File("USER.DAT"), nullptr);
        m_driver = std::make_unique<test::SheetDriver>(*m_sheet);
        m_driver->ClickOk();
        QCOMPARE(m_dir->Read("USER.DAT"), std::string("kept\n"));
    }

private:
    AppSettings& S() { return *m_settings; }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::UserAgentPageTest)
#include "UserAgentPageTest.moc"
