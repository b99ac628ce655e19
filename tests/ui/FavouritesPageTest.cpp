#include <memory>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include "core/settings/AppSettings.h"
#include "core/history/HistoryStore.h"
#include "platform/ProgramLauncher.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"
#include "ui/settings/ListTextEdit.h"
#include "ui/settings/SettingsSheet.h"
#include "ui/support/SheetDriver.h"
#include "ui/support/SheetFixture.h"

namespace zandel {
namespace {

using test::Child;

constexpr int kFavouritesTab = 3;
constexpr const char* kOverflowMessage = "50件以上登録されました.\n50件以降のアドレスは無視されます";

std::vector<std::string> Addresses(int count) {
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i) {
        addresses.push_back("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":8080");
    }
    return addresses;
}

QString Joined(const std::vector<std::string>& lines) {
    QStringList list;
    for (const std::string& line : lines) {
        list.append(QString::fromStdString(line));
    }
    return list.join(QLatin1Char('\n'));
}

// The favourites tab: the text box of addresses and its line rules.
class FavouritesPageTest : public QObject {
    Q_OBJECT

private:
    AppSettings& S() { return *m_fx.settings; }
    void Open(const std::vector<std::string>& favourites = {}) {
        for (std::size_t i = 0; i < favourites.size(); ++i) {
            SetListEntry(S(), SettingsList::Favourites, favourites[i], static_cast<int>(i));
        }
        m_fx.Open();
        m_fx.driver->ClickTab(kFavouritesTab);
        QCOMPARE(m_fx.driver->CurrentTab(), kFavouritesTab);
    }
    QPlainTextEdit* Text() const { return Child<QPlainTextEdit>(m_fx.sheet.get(), "favouritesEdit"); }
    QString Count() const { return Child<QLabel>(Child<QWidget>(m_fx.sheet.get(), "prop4"), "countLabel")->text(); }

    test::SheetFixture m_fx;

private Q_SLOTS:
    void init() { m_fx.Reset(); }
    void cleanup() { m_fx.Teardown(); }

    void emptyListOpensEmptyAndTakesATypedAddress() {
        Open();
        QVERIFY(Text()->toPlainText().isEmpty());
        QCOMPARE(Count(), QStringLiteral("0件"));
        QVERIFY(!m_fx.driver->ApplyEnabled());
        test::TypeText(Text(), QStringLiteral("1.2.3.4:8080"));
        QCOMPARE(Count(), QStringLiteral("1件"));
        QVERIFY(m_fx.driver->ApplyEnabled());
        m_fx.driver->ClickOk();
        QCOMPARE(ListEntries(S(), SettingsList::Favourites), std::vector<std::string>{"1.2.3.4:8080"});
    }

    // Beside each favourite its uptime, also for one typed in; never in the text that is stored.
    void favouritesShowTheirUptimeBesideThem() {
        S().StartDir = m_fx.dir->Path();
        {
            HistoryStore store;
            QVERIFY(store.Open(m_fx.dir->File(kHistoryFileName), 36500, 1'800'000'000, nullptr));
            CheckRecord good{"10.0.0.0:8080", "http", "OK", 100, "---", IsoUtc(1'800'000'000), "", {}};
            CheckRecord bad = good;
            bad.result = "NG";
            QVERIFY(store.Add({good, good, bad, {"10.0.0.2:8080", "http", "NG", {}, "---", good.checkedAt, "", {}}}));
        }
        Open(Addresses(3));
        auto* text = static_cast<ui::ListTextEdit*>(Text());
        QCOMPARE(text->LineNote(0), QStringLiteral("(66%)"));
        QCOMPARE(text->LineNote(1), QString());
        QCOMPARE(text->LineNote(2), QStringLiteral("(0%)"));
        Text()->moveCursor(QTextCursor::End);
        test::TypeText(Text(), QStringLiteral("10.0.0.2:8080"));
        QCOMPARE(text->LineNote(3), QStringLiteral("(0%)"));
        m_fx.driver->ClickOk();
        QCOMPARE(ListEntries(S(), SettingsList::Favourites),
                 (std::vector<std::string>{"10.0.0.0:8080", "10.0.0.1:8080", "10.0.0.2:8080", "10.0.0.2:8080"}));
    }

    void threeFavouritesOpenWithAnEmptyLastLine() {
        Open(Addresses(3));
        QCOMPARE(Text()->toPlainText(), Joined(Addresses(3)) + QLatin1Char('\n'));
        QCOMPARE(Text()->textCursor().position(), 0);
        QCOMPARE(Count(), QStringLiteral("3件"));
        test::TypeText(Text(), QStringLiteral("x"));
        QCOMPARE(Count(), QStringLiteral("4件"));
    }

    void eachLineGivesItsFirstWord() {
        Open();
        test::TypeText(Text(), QStringLiteral("   10.0.0.1:3128   comment\n     \na\tb\n1.1.1.1:80\n1.1.1.1:80"));
        m_fx.driver->ClickOk();
        QCOMPARE(ListEntries(S(), SettingsList::Favourites),
                 (std::vector<std::string>{"10.0.0.1:3128", "a", "1.1.1.1:80", "1.1.1.1:80"}));
    }

    void fiftyFavouritesGoBackWithoutMessage() {
        Open(Addresses(50));
        QVERIFY(!Text()->toPlainText().endsWith(QLatin1Char('\n')));
        m_fx.driver->ClickOk();
        QVERIFY(m_fx.messages.Boxes().empty());
        QCOMPARE(ListEntries(S(), SettingsList::Favourites), Addresses(50));
    }

    void linesPastTheFiftyFirstAreIgnoredWithAMessage_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("message");
        QTest::newRow("51 lines") << Joined(Addresses(51)) << false;
        QTest::newRow("51 and a line end") << Joined(Addresses(51)) + QLatin1Char('\n') << true;
        QTest::newRow("60 lines") << Joined(Addresses(60)) << true;
    }
    void linesPastTheFiftyFirstAreIgnoredWithAMessage() {
        QFETCH(QString, text);
        QFETCH(bool, message);
        Open();
        Text()->setPlainText(text);
        m_fx.driver->ClickApply();
        QCOMPARE(m_fx.messages.Boxes().size(), message ? 1U : 0U);
        if (message) {
            QCOMPARE(m_fx.messages.Boxes()[0].text, std::string(kOverflowMessage));
        }
        QCOMPARE(ListEntries(S(), SettingsList::Favourites), Addresses(50));
        QCOMPARE(Count(), QStringLiteral("50件"));
        QVERIFY(m_fx.driver->IsOpen());
    }

    // A line too long for the box is shown wrapped but read as the one line that was typed.
    void wrappedLineStaysOneAddress() {
        Open();
        Text()->setFixedWidth(120);
        const QString address = QStringLiteral("proxy-") + QString(80, QLatin1Char('p')) + QStringLiteral(":8080");
        test::TypeText(Text(), address + QStringLiteral(" comment"));
        QCOMPARE(Count(), QStringLiteral("1件"));
        m_fx.driver->ClickOk();
        QCOMPARE(ListEntries(S(), SettingsList::Favourites), std::vector<std::string>{address.toStdString()});
    }

    void uncheckingStoresTheFlag() {
        Open(Addresses(2));
        auto* box = Child<QCheckBox>(m_fx.sheet.get(), "favoOnCheck");
        QVERIFY(box->isChecked());
        box->click();
        QVERIFY(m_fx.driver->ApplyEnabled());
        m_fx.driver->ClickOk();
        QVERIFY(!S().FavoOn);
        QCOMPARE(ListEntries(S(), SettingsList::Favourites), Addresses(2));
    }

    void cancelDiscardsTheEdits() {
        Open(Addresses(2));
        Text()->selectAll();
        test::TypeText(Text(), QStringLiteral("9.9.9.9:99"));
        m_fx.driver->ClickCancel();
        QCOMPARE(ListEntries(S(), SettingsList::Favourites), Addresses(2));
    }
};

} // namespace
} // namespace zandel

QTEST_MAIN(zandel::FavouritesPageTest)
#include "FavouritesPageTest.moc"
