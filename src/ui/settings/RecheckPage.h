#pragma once

#include "core/settings/AppSettings.h"
#include "core/settings/PageFields.h"
#include "ui/settings/PropertyPage.h"

class QCheckBox;
class QLabel;

namespace zandel::ui {

class SpinEdit;

// Tab "自動再ﾁｪｯｸ": re-checks of the desktop's proxy and the favourites every so many minutes, the switch to a
// live favourite when the desktop's proxy dies, a list from a URL fetched and checked again in the same rounds, and
// how long the history keeps its checks.
class RecheckPage final : public PropertyPage {
    Q_OBJECT
public:
    explicit RecheckPage(AppSettings& settings, QWidget* parent = nullptr);

protected:
    void ShowFields() override;
    bool ReadFields() override;
    void OnLoad() override;
    bool OnApply() override;

private:
    void BuildControls();
    void OnClicked();
    void FollowOnBox();

    AppSettings& m_settings;
    RecheckPageFields m_fields;

    QCheckBox* m_onBox = nullptr;
    SpinEdit* m_minutesEdit = nullptr;
    QLabel* m_minutesLabel = nullptr;
    QCheckBox* m_failoverBox = nullptr;
    QCheckBox* m_refetchBox = nullptr;
    SpinEdit* m_keepDaysEdit = nullptr;
};

} // namespace zandel::ui
