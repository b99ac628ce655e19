#include "ui/settings/RecheckPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/settings/SettingsTable.h"
#include "ui/settings/SpinEdit.h"

namespace zandel::ui {

namespace {

const IntBounds kMinutesBounds = BoundsOf(&AppSettings::AutoRecheckMinutes);
const IntBounds kKeepDaysBounds = BoundsOf(&AppSettings::HistoryKeepDays);

SpinEdit* NumberBox(const QString& name, IntBounds bounds, QWidget* parent) {
    auto* box = new SpinEdit(parent);
    box->setObjectName(name);
    box->LineEdit()->setObjectName(name + QStringLiteral("Edit"));
    box->LineEdit()->setFixedWidth(56);
    box->SetRange(bounds.lowest, bounds.highest);
    return box;
}

// A label naming the box's bounds: "%1" and "%2" stand for the lowest and the highest.
QString BoundsLabel(const QString& text, IntBounds bounds) {
    return text.arg(bounds.lowest).arg(bounds.highest);
}

} // namespace

RecheckPage::RecheckPage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("自動再ﾁｪｯｸ"), parent), m_settings(settings) {
    setObjectName(QStringLiteral("recheckPage"));
    BuildControls();
}

void RecheckPage::BuildControls() {
    auto* recheck = new QGroupBox(QStringLiteral("使用中のﾌﾟﾛｷｼとお気に入り(&R)"), this);
    m_onBox = new QCheckBox(QStringLiteral("自動再ﾁｪｯｸ(&C)"), recheck);
    m_onBox->setObjectName(QStringLiteral("recheckOn"));
    m_minutesEdit = NumberBox(QStringLiteral("recheckMinutes"), kMinutesBounds, recheck);
    m_minutesLabel = new QLabel(BoundsLabel(QStringLiteral("間隔(&M) (%1～%2分)"), kMinutesBounds), recheck);
    m_minutesLabel->setBuddy(m_minutesEdit->LineEdit());
    m_failoverBox = new QCheckBox(
        QStringLiteral("使用中のﾌﾟﾛｷｼが2回続けて応答しなければ、お気に入りの使えるﾌﾟﾛｷｼに切り替える(&F)"), recheck);
    m_failoverBox->setObjectName(QStringLiteral("failoverOn"));
    m_refetchBox = new QCheckBox(QStringLiteral("URLから開いたﾘｽﾄも再取得して再ﾁｪｯｸする(&L)"), recheck);
    m_refetchBox->setObjectName(QStringLiteral("refetchListOn"));
    auto* recheckLayout = new QGridLayout(recheck);
    recheckLayout->addWidget(m_onBox, 0, 0, 1, 3);
    recheckLayout->addWidget(m_minutesLabel, 1, 0);
    recheckLayout->addWidget(m_minutesEdit, 1, 1);
    recheckLayout->addWidget(m_failoverBox, 2, 0, 1, 3);
    recheckLayout->addWidget(m_refetchBox, 3, 0, 1, 3);
    recheckLayout->setColumnStretch(2, 1);

    auto* history = new QGroupBox(QStringLiteral("ﾁｪｯｸの履歴(&H)"), this);
    m_keepDaysEdit = NumberBox(QStringLiteral("historyKeepDays"), kKeepDaysBounds, history);
    auto* keepDaysLabel =
        new QLabel(BoundsLabel(QStringLiteral("保存する日数(&D) (%1～%2日)"), kKeepDaysBounds), history);
    keepDaysLabel->setBuddy(m_keepDaysEdit->LineEdit());
    auto* historyLayout = new QGridLayout(history);
    historyLayout->addWidget(keepDaysLabel, 0, 0);
    historyLayout->addWidget(m_keepDaysEdit, 0, 1);
    historyLayout->addWidget(new QLabel(QStringLiteral("(次回の起動から有効になります)"), history), 1, 0, 1, 3);
    historyLayout->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(recheck);
    layout->addWidget(history);
    layout->addStretch(1);

    for (SpinEdit* box : {m_minutesEdit, m_keepDaysEdit}) {
        connect(box->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(box, &SpinEdit::Stepped, this, [this] { SetModified(); });
    }
    connect(m_onBox, &QCheckBox::clicked, this, &RecheckPage::OnClicked);
    connect(m_failoverBox, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(m_refetchBox, &QCheckBox::clicked, this, [this] { SetModified(); });
}

void RecheckPage::OnLoad() {
    m_fields = LoadRecheckPage(m_settings);
}

void RecheckPage::ShowFields() {
    m_onBox->setChecked(m_fields.AutoRecheck);
    m_minutesEdit->SetValue(m_fields.AutoRecheckMinutes);
    m_failoverBox->setChecked(m_fields.Failover);
    m_refetchBox->setChecked(m_fields.RefetchList);
    m_keepDaysEdit->SetValue(m_fields.HistoryKeepDays);
    FollowOnBox();
}

bool RecheckPage::ReadFields() {
    if (!ReadInt(m_minutesEdit->LineEdit(), kMinutesBounds.lowest, kMinutesBounds.highest,
                 m_fields.AutoRecheckMinutes) ||
        !ReadInt(m_keepDaysEdit->LineEdit(), kKeepDaysBounds.lowest, kKeepDaysBounds.highest,
                 m_fields.HistoryKeepDays)) {
        return false;
    }
    m_fields.AutoRecheck = m_onBox->isChecked();
    m_fields.Failover = m_failoverBox->isChecked();
    m_fields.RefetchList = m_refetchBox->isChecked();
    return true;
}

// The interval, failover and the list's re-fetch mean nothing without the re-checks; they stay readable but greyed.
void RecheckPage::FollowOnBox() {
    const bool on = m_onBox->isChecked();
    m_minutesEdit->setEnabled(on);
    m_minutesLabel->setEnabled(on);
    m_failoverBox->setEnabled(on);
    m_refetchBox->setEnabled(on);
}

void RecheckPage::OnClicked() {
    FollowOnBox();
    SetModified();
}

bool RecheckPage::OnApply() {
    if (!ReadFields()) {
        return false;
    }
    ApplyRecheckPage(m_fields, m_settings);
    return true;
}

} // namespace zandel::ui
