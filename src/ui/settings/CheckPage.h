#pragma once

#include <functional>

#include <QString>

#include "core/settings/AppSettings.h"
#include "core/settings/CheckPage.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zandel::ui {

class SpinEdit;

// Tab "設定": the check time-out, the HTTPS step, the second look, the browser program and its start URL, and the
// start-up options.
class CheckPage final : public PropertyPage {
    Q_OBJECT
public:
    // Asks the user for the browser program; an empty text means the user cancelled.
    using BrowserChooser = std::function<QString(QWidget* parent, const QString& currentPath)>;

    explicit CheckPage(AppSettings& settings, QWidget* parent = nullptr);

    void SetBrowserChooser(BrowserChooser chooser) { m_chooseBrowser = std::move(chooser); }

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnLoad() override;
    void OnOpen() override;
    bool OnApply() override;

private:
    void BuildControls();
    // The parallel box goes as far as the row limit allows.
    void ShowParallelRange(int maxRows);
    void StartUrlClicked();
    void BrowseClicked();

    AppSettings& m_settings;
    CheckPageFields m_fields;
    BrowserChooser m_chooseBrowser;

    SpinEdit* m_parallel = nullptr;
    SpinEdit* m_timeOut = nullptr;
    SpinEdit* m_maxRows = nullptr;
    QLabel* m_parallelLabel = nullptr;
    QLabel* m_httpVerLabel = nullptr;
    QComboBox* m_httpVer = nullptr;
    QLineEdit* m_browserPath = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_startUrl = nullptr;
    QCheckBox* m_startUrlOn = nullptr;
    QCheckBox* m_taskTrayOpen = nullptr;
    QCheckBox* m_openCheck = nullptr;
    QCheckBox* m_httpsOn = nullptr;
    QLineEdit* m_httpsTarget = nullptr;
    QCheckBox* m_detectType = nullptr;
    QCheckBox* m_followRun = nullptr;
    QCheckBox* m_twiceOn = nullptr;
    SpinEdit* m_twicePause = nullptr;
};

} // namespace zandel::ui
