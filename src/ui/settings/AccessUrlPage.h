#pragma once

#include <string>

#include "core/settings/AppSettings.h"
#include "core/settings/PageFields.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zandel::ui {

// Tab "接続先URL": the access URL every check requests through the proxy, picked from a list of up to 50
// (four defaults when there is none) or typed. The URL box is an edit line over an always-visible list.
class AccessUrlPage final : public PropertyPage {
    Q_OBJECT
public:
    explicit AccessUrlPage(AppSettings& settings, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnOpen() override;
    bool OnApply() override;

private:
    void BuildControls();
    void ShowList();
    void EntryChosen(int row);
    void AddClicked();
    void DeleteClicked();
    void DefaultClicked();

    AppSettings& m_settings;
    AccessUrlPageFields m_fields;
    std::string m_newUrl;

    QLineEdit* m_urlEdit = nullptr;
    QListWidget* m_urlList = nullptr;
    QPushButton* m_default = nullptr;
    QPushButton* m_delete = nullptr;
    QLineEdit* m_newUrlEdit = nullptr;
    QPushButton* m_add = nullptr;
    QCheckBox* m_strictCheck = nullptr;
    QLineEdit* m_keyEdit = nullptr;
};

} // namespace zandel::ui
