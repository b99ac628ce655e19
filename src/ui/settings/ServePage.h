#pragma once

#include "core/serve/ServeSettings.h"
#include "core/settings/AppSettings.h"
#include "core/settings/PageFields.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace zandel::ui {

class SpinEdit;

// Tab "ﾛｰｶﾙﾌﾟﾛｷｼ": the local proxy of the window's commands — where it listens, whose rows it carries clients
// through, how it chooses and retries, the ports clients may ask for, and the login clients give. An address other
// machines reach is refused without a login, here as in the serve itself.
class ServePage final : public PropertyPage {
    Q_OBJECT
public:
    explicit ServePage(AppSettings& settings, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnLoad() override;
    bool OnApply() override;

private:
    void BuildControls();
    QWidget* BuildChoiceGroup();
    QWidget* BuildLoginGroup();
    QLineEdit* FieldBox(ServeField field) const;

    AppSettings& m_settings;
    ServePageFields m_fields;

    QLineEdit* m_listenEdit = nullptr;
    QRadioButton* m_liveButton = nullptr;
    QRadioButton* m_favouritesButton = nullptr;
    QComboBox* m_strategyBox = nullptr;
    SpinEdit* m_triesEdit = nullptr;
    SpinEdit* m_stickyEdit = nullptr;
    SpinEdit* m_maxClientsEdit = nullptr;
    QLineEdit* m_portsEdit = nullptr;
    QCheckBox* m_leakyBox = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
};

} // namespace zandel::ui
