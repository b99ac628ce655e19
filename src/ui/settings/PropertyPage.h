#pragma once

#include <cstddef>
#include <string>

#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "core/settings/FieldRules.h"

class QComboBox;
class QPushButton;

namespace zandel::ui {

// One tab of a settings sheet and the steps the sheet drives it through. A page keeps page fields, copies
// them into its controls (show) and back (read, validating in field order), is opened the first time it
// becomes current, and stores its fields into the settings only in its apply step.
class PropertyPage : public QWidget {
    Q_OBJECT
public:
    explicit PropertyPage(const QString& caption, QWidget* parent = nullptr);

    const QString& Caption() const { return m_caption; }
    bool IsOpened() const { return m_opened; }
    bool IsModified() const { return m_modified; }
    // The button that Enter presses while this page is current; none leaves it to OK.
    QPushButton* DefaultButton() const { return m_defaultButton; }

    // The page became the current tab: the first time it is opened, every later time its fields are shown
    // again after the page's own activation work.
    void Activate();
    // The user is leaving the page (another tab, OK or Apply). False keeps the page current.
    bool Leave();
    // Puts the focus back on the field that failed last, its text selected.
    void FocusFailedField();
    // Stores the fields; false keeps the sheet open on this page.
    bool Apply();
    // The sheet closes (OK or Cancel); only an opened page has anything to do.
    void Close();
    void ClearModified();

Q_SIGNALS:
    void ModifiedChanged();

protected:
    virtual void ShowFields() = 0;
    // False at the first field that fails; its message has been shown and the focus moved to it.
    virtual bool ReadFields() = 0;
    // When the page opens, before its fields are first shown.
    virtual void OnLoad() {}
    // When the page opens, after its fields are first shown.
    virtual void OnOpen() {}
    // Each time the page becomes current, before the fields are shown again.
    virtual void OnActivate() {}
    virtual bool OnApply() { return true; }
    virtual void OnClose() {}

    void SetModified();
    void SetDefaultButton(QPushButton* button) { m_defaultButton = button; }

    // Field exchange. A failing read shows the framework text, focuses the control and selects its text.
    bool ReadInt(QLineEdit* box, int lowest, int highest, int& field);
    bool ReadText(QLineEdit* box, std::size_t limit, std::string& field);
    bool ReadText(QComboBox* box, std::size_t limit, std::string& field);
    // A text with a rule of its own: `check` reads the box's bytes into `field` or gives the message.
    bool ReadChecked(QLineEdit* box, FieldCheck (*check)(std::string_view text, std::string& field),
                     std::string& field);
    // A rule over several fields found the box wrong: its message shown and the focus moved there, as a read's.
    void FailField(const std::string& message, QLineEdit* box) { Fail(message, box, box); }
    static void LimitBytes(QLineEdit* box, std::size_t limit);
    static void LimitBytes(QComboBox* box, std::size_t limit);
    // A drop-down field: the first entry beginning with the text (case ignored), else the text as it is.
    static void ShowDropDown(QComboBox* box, const std::string& text);

private:
    void Fail(const std::string& message, QWidget* control, QLineEdit* textBox);

    QString m_caption;
    QPointer<QWidget> m_failedControl;
    QPointer<QLineEdit> m_failedBox;
    QPushButton* m_defaultButton = nullptr;
    bool m_opened = false;
    bool m_closed = false;
    bool m_modified = false;
};

} // namespace zandel::ui
