#include <memory>

#include <QCheckBox>
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

namespace zandel {
namespace {

using test::Child;

constexpr int kAccessUrlTab = 1;

std::vector<std::string> Urls(int count) {
    std::vector<std::string> urls;
    for (int i = 0; i < count; ++i) {
        urls.push_back("http://judge" + std::to_string(i) + ".invalid/envchk.cgi");
    }
    return urls;
}

// The access URL tab: its edit line over the list, the list limits and what OK stores.
class AccessUrlPageTest : public QObject {
    Q_OBJECT

private:
    AppSettings& S() { return *m_fx.settings; }
    void Store(const std::vector<std::string>& urls) {
        for (std::size_t i = 0; i < urls.size(); ++i) {
            SetListEntry(S(), SettingsList::WebPageList, urls[i], static_cast<int>(i));
        }
    }
    void Open() {
        m_fx.Open();
        m_fx.driver->ClickTab(kAccessUrlTab);
        QCOMPARE(m_fx.driver->CurrentTab(), kAccessUrlTab);
    }
    QListWidget* List() const { return Child<QListWidget>(m_fx.sheet.get(), "accessUrlList"); }
    QLineEdit* UrlLine() const { return Child<QLineEdit>(m_fx.sheet.get(), "accessUrlEdit"); }
    QLineEdit* NewUrl() const { return Child<QLineEdit>(m_fx.sheet.get(), "newUrlEdit"); }
    QPushButton* Button(const char* name) const {
        return Child<QPushButton>(Child<QWidget>(m_fx.sheet.get(), "prop3"), name);
    }
    std::vector<std::string> Messages() const { return m_fx.MessageTexts(); }

    test::SheetFixture m_fx;

private Q_SLOTS:
    void init() { m_fx.Reset(); }
    void cleanup() { m_fx.Teardown(); }

    void emptyListOffersTheFourDefaults() {
        S().WebPage = "http://mine.invalid/envchk.cgi";
        Open();
        QCOMPARE(List()->count(), 4);
        QCOMPARE(List()->currentRow(), 0);
        QCOMPARE(UrlLine()->text(), QString::fromUtf8(kDefaultAccessUrls[0]));
        QVERIFY(!m_fx.driver->ApplyEnabled());
        m_fx.driver->ClickOk();
        QCOMPARE(ListEntries(S(), SettingsList::WebPageList),
                 std::vector<std::string>(kDefaultAccessUrls.begin(), kDefaultAccessUrls.end()));
        QCOMPARE(S().WebPage, std::string(kDefaultAccessUrls[0]));
    }

    void choosingAnEntryFillsTheEditLine() {
        Store(Urls(3));
        Open();
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          List()->visualItemRect(List()->item(2)).center());
        QCOMPARE(UrlLine()->text(), QString::fromStdString(Urls(3)[2]));
        QVERIFY(m_fx.driver->ApplyEnabled());
    }

    void addingAppendsWithoutChangingTheCurrentUrl() {
        Store(Urls(49));
        Open();
        const QString current = UrlLine()->text();
        test::TypeText(NewUrl(), QStringLiteral("http://added.invalid/"));
        QVERIFY(!m_fx.driver->ApplyEnabled()); // typing a new URL is not yet a change
        // Enter in the box presses "追加(&A)", the page's default button.
        QTest::keyClick(NewUrl(), Qt::Key_Return);
        QCOMPARE(List()->count(), 50);
        QCOMPARE(List()->item(49)->text(), QStringLiteral("http://added.invalid/"));
        QVERIFY(NewUrl()->text().isEmpty());
        QCOMPARE(UrlLine()->text(), current);
        QVERIFY(m_fx.driver->ApplyEnabled());
        QVERIFY(m_fx.driver->IsOpen());

        test::TypeText(NewUrl(), QStringLiteral("http://51st.invalid/"));
        Button("addButton")->click();
        QCOMPARE(Messages(), std::vector<std::string>{"50件以上登録されています.これ以上登録できません"});
        QCOMPARE(List()->count(), 50);
        m_fx.messages.Clear();
        test::ReplaceText(NewUrl(), QString());
        Button("addButton")->click();
        QVERIFY(m_fx.messages.Boxes().empty());
    }

    void lastEntryCannotBeDeleted() {
        Store(Urls(1));
        Open();
        Button("deleteButton")->click();
        QCOMPARE(Messages(), std::vector<std::string>{"ﾌﾟﾛｷｼﾁｪｯｸができなくなるため、これ以上削除できません"});
        QCOMPARE(m_fx.messages.Boxes()[0].icon, MbIcon::Warning);
        QCOMPARE(List()->count(), 1);
    }

    void deletingMakesTheEntryBeforeCurrent() {
        Store(Urls(5));
        Open();
        List()->setCurrentRow(2);
        Button("deleteButton")->click();
        QCOMPARE(List()->count(), 4);
        QCOMPARE(List()->currentRow(), 1);
        QCOMPARE(UrlLine()->text(), QString::fromStdString(Urls(5)[1]));
        List()->setCurrentRow(0);
        Button("deleteButton")->click();
        QCOMPARE(List()->currentRow(), 0);
        QCOMPARE(UrlLine()->text(), QString::fromStdString(Urls(5)[1]));
        m_fx.driver->ClickOk();
        QCOMPARE(CountListEntries(S(), SettingsList::WebPageList), 3);
        QCOMPARE(S().WebPage, Urls(5)[1]);
    }

    void defaultsThenCancelChangeNothing() {
        Store(Urls(2));
        S().WebPage = Urls(2)[1];
        Open();
        Button("defaultButton")->click();
        QCOMPARE(List()->count(), 4);
        QCOMPARE(UrlLine()->text(), QString::fromUtf8(kDefaultAccessUrls[0]));
        QVERIFY(m_fx.driver->ApplyEnabled());
        m_fx.driver->ClickCancel();
        QCOMPARE(ListEntries(S(), SettingsList::WebPageList), Urls(2));
        QCOMPARE(S().WebPage, Urls(2)[1]);
    }

    void overlongStoredEntryIsCaughtWhenLeaving() {
        Store({std::string(259, 'h')});
        S().WebPage = std::string(259, 'h');
        Open();
        m_fx.driver->ClickTab(0);
        QCOMPARE(Messages(), std::vector<std::string>{"256 文字以内で入力してください。"});
        QCOMPARE(m_fx.driver->CurrentTab(), kAccessUrlTab);
        QTRY_VERIFY(UrlLine()->hasFocus());
        QCOMPARE(UrlLine()->selectedText().size(), 259);
    }

    // The judge's options: shown as stored, a key the judge could not hold refused on OK, a good one stored.
    void judgeOptionsAreStoredOnlyWhenTheKeyIsUsable() {
        S().JudgeStrict = true;
        Open();
        auto* strict = Child<QCheckBox>(m_fx.sheet.get(), "judgeStrictCheck");
        auto* key = Child<QLineEdit>(m_fx.sheet.get(), "judgeKeyEdit");
        QVERIFY(strict->isChecked());
        QVERIFY(key->text().isEmpty());
        QVERIFY(!m_fx.driver->ApplyEnabled());
        strict->click();
        test::TypeText(key, QStringLiteral("has a blank"));
        m_fx.driver->ClickOk();
        QCOMPARE(Messages(), std::vector<std::string>{
                                 "判定用CGIの鍵は、空白を含まない半角の英数字・記号8～256文字で指定してください"});
        QVERIFY(m_fx.driver->IsOpen());
        QVERIFY(S().JudgeStrict);
        test::ReplaceText(key, QStringLiteral("no-blank-key"));
        m_fx.driver->ClickOk();
        QCOMPARE(S().JudgeStrict, false);
        QCOMPARE(S().JudgeKey, std::string("no-blank-key"));
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::AccessUrlPageTest)
#include "AccessUrlPageTest.moc"
