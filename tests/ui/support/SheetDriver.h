#pragma once

#include <string>

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QTabWidget;

namespace zandel::test {

// The child of `root` with this object name; a missing one is a broken test and ends the run.
template <typename T> T* Child(const QObject* root, const char* name) {
    T* child = root->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no child %s under %s", name, qPrintable(root->objectName()));
    }
    return child;
}

// Drives a settings sheet as the user does: tabs clicked with the mouse, buttons pressed.
class SheetDriver final {
public:
    // Shows the sheet and waits until it is the active window.
    explicit SheetDriver(QDialog& sheet);

    QTabWidget* Tabs() const;
    int CurrentTab() const;
    void ClickTab(int index) const;
    void ClickOk() const;
    void ClickCancel() const;
    void ClickApply() const;
    bool ApplyEnabled() const;
    bool IsOpen() const { return m_sheet.isVisible(); }

private:
    QAbstractButton* Button(int which) const;

    QDialog& m_sheet;
};

// Types the text into the widget key by key; "\n" presses Enter.
void TypeText(QWidget* widget, const QString& text);
// Selects everything in a text box and types the text over it.
void ReplaceText(QWidget* box, const QString& text);

// Bytes from a UTF-8 test text.
std::string Bytes(const QString& text);

} // namespace zandel::test
