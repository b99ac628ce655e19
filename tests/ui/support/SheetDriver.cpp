#include "ui/support/SheetDriver.h"

#include <QPushButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace zandel::test {

SheetDriver::SheetDriver(QDialog& sheet) : m_sheet(sheet) {
    m_sheet.show();
    m_sheet.activateWindow();
    if (!QTest::qWaitForWindowActive(&m_sheet)) {
        qWarning("the sheet did not become active");
    }
}

QTabWidget* SheetDriver::Tabs() const {
    return Child<QTabWidget>(&m_sheet, "tabs");
}

int SheetDriver::CurrentTab() const {
    return Tabs()->currentIndex();
}

void SheetDriver::ClickTab(int index) const {
    QTabBar* bar = Tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
}

QAbstractButton* SheetDriver::Button(int which) const {
    auto* buttons = Child<QDialogButtonBox>(&m_sheet, "buttons");
    return buttons->button(static_cast<QDialogButtonBox::StandardButton>(which));
}

void SheetDriver::ClickOk() const {
    QTest::mouseClick(Button(QDialogButtonBox::Ok), Qt::LeftButton);
}

void SheetDriver::ClickCancel() const {
    QTest::mouseClick(Button(QDialogButtonBox::Cancel), Qt::LeftButton);
}

void SheetDriver::ClickApply() const {
    QTest::mouseClick(Button(QDialogButtonBox::Apply), Qt::LeftButton);
}

bool SheetDriver::ApplyEnabled() const {
    return Button(QDialogButtonBox::Apply)->isEnabled();
}

namespace {

// Keys for an editable combo box go to its edit line.
QWidget* TextTarget(QWidget* widget) {
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && combo->lineEdit() != nullptr) {
        return combo->lineEdit();
    }
    return widget;
}

} // namespace

void TypeText(QWidget* widget, const QString& text) {
    QWidget* target = TextTarget(widget);
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            QTest::keyClick(target, Qt::Key_Return);
        } else {
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

void ReplaceText(QWidget* box, const QString& text) {
    QWidget* target = TextTarget(box);
    if (auto* edit = qobject_cast<QLineEdit*>(target); edit != nullptr) {
        edit->selectAll();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(target); plain != nullptr) {
        plain->selectAll();
    }
    QTest::keyClick(target, Qt::Key_Delete);
    TypeText(target, text);
}

std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace zandel::test
