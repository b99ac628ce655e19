#include "ui/settings/CheckPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/settings/HttpsTarget.h"
#include "ui/settings/BrowserFileDialog.h"
#include "ui/settings/SpinEdit.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

const IntBounds kTimeOutBounds = BoundsOf(&AppSettings::TimeOut);
const IntBounds kMaxRowsBounds = BoundsOf(&AppSettings::MaxRows);
const IntBounds kTwicePauseBounds = BoundsOf(&AppSettings::TwicePause);

} // namespace

CheckPage::CheckPage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("設定"), parent), m_settings(settings), m_chooseBrowser(&ChooseBrowserFile) {
    setObjectName(QStringLiteral("prop1"));
    BuildControls();
}

void CheckPage::BuildControls() {
    auto* check = new QGroupBox(QStringLiteral("Proxyﾁｪｯｸ(&P)"), this);
    m_timeOut = new SpinEdit(check);
    m_timeOut->setObjectName(QStringLiteral("timeOut"));
    m_timeOut->LineEdit()->setObjectName(QStringLiteral("timeOutEdit"));
    m_timeOut->LineEdit()->setFixedWidth(56);
    m_timeOut->SetRange(kTimeOutBounds.lowest, kTimeOutBounds.highest);
    auto* timeOutLabel = new QLabel(
        QStringLiteral("ﾀｲﾑｱｳﾄ(&T) (%1～%2秒)").arg(kTimeOutBounds.lowest).arg(kTimeOutBounds.highest), check);
    timeOutLabel->setBuddy(m_timeOut->LineEdit());
    // The HTTP version is kept but not offered: its box exists, hidden and disabled.
    m_httpVer = new QComboBox(check);
    m_httpVer->setObjectName(QStringLiteral("httpVerCombo"));
    m_httpVer->setEditable(true);
    m_httpVer->setInsertPolicy(QComboBox::NoInsert);
    m_httpVer->setCompleter(nullptr);
    for (const char* version : kHttpVersions) {
        m_httpVer->addItem(QString::fromUtf8(version));
    }
    m_httpVerLabel = new QLabel(QStringLiteral("HTTPバージョン(&V)"), check);
    m_httpVerLabel->setObjectName(QStringLiteral("httpVerLabel"));
    m_httpVerLabel->setBuddy(m_httpVer);
    for (QWidget* hidden : std::initializer_list<QWidget*>{m_httpVer, m_httpVerLabel}) {
        hidden->setVisible(false);
        hidden->setEnabled(false);
    }
    m_parallel = new SpinEdit(check);
    m_parallel->setObjectName(QStringLiteral("parallelChecks"));
    m_parallel->LineEdit()->setObjectName(QStringLiteral("parallelChecksEdit"));
    m_parallel->LineEdit()->setFixedWidth(56);
    m_parallelLabel = new QLabel(check);
    m_parallelLabel->setBuddy(m_parallel->LineEdit());
    ShowParallelRange(kListRowsDefault);
    m_maxRows = new SpinEdit(check);
    m_maxRows->setObjectName(QStringLiteral("maxRows"));
    m_maxRows->LineEdit()->setObjectName(QStringLiteral("maxRowsEdit"));
    m_maxRows->LineEdit()->setFixedWidth(72);
    m_maxRows->SetRange(kMaxRowsBounds.lowest, kMaxRowsBounds.highest);
    auto* maxRowsLabel = new QLabel(
        QStringLiteral("ﾘｽﾄの最大行数(&R) (%1～%2)").arg(kMaxRowsBounds.lowest).arg(kMaxRowsBounds.highest), check);
    maxRowsLabel->setBuddy(m_maxRows->LineEdit());
    m_httpsOn = new QCheckBox(QStringLiteral("HTTPS(CONNECT)でも接続できるかﾁｪｯｸする(&S)"), check);
    m_httpsOn->setObjectName(QStringLiteral("httpsCheck"));
    m_httpsTarget = new QLineEdit(check);
    m_httpsTarget->setObjectName(QStringLiteral("httpsTargetEdit"));
    m_httpsTarget->setPlaceholderText(QStringLiteral("ﾎｽﾄ名:ﾎﾟｰﾄ番号 (空欄は接続先URLのﾎｽﾄ:443)"));
    auto* httpsTargetLabel = new QLabel(QStringLiteral("HTTPSﾁｪｯｸ先(&G)"), check);
    httpsTargetLabel->setBuddy(m_httpsTarget);
    m_detectType = new QCheckBox(QStringLiteral("種類を自動判別する(&D)"), check);
    m_detectType->setObjectName(QStringLiteral("detectTypeCheck"));
    m_followRun = new QCheckBox(QStringLiteral("実行中の行を追う(&W)"), check);
    m_followRun->setObjectName(QStringLiteral("followRunCheck"));
    m_twiceOn = new QCheckBox(QStringLiteral("2回目のﾁｪｯｸ(&N)"), check);
    m_twiceOn->setObjectName(QStringLiteral("twiceCheck"));
    m_twiceOn->setToolTip(
        QStringLiteral("使用可能だったﾌﾟﾛｷｼを間を置いてもう一度ﾁｪｯｸし、失敗したものを不安定とします"));
    m_twicePause = new SpinEdit(check);
    m_twicePause->setObjectName(QStringLiteral("twicePause"));
    m_twicePause->LineEdit()->setObjectName(QStringLiteral("twicePauseEdit"));
    m_twicePause->LineEdit()->setFixedWidth(56);
    m_twicePause->SetRange(kTwicePauseBounds.lowest, kTwicePauseBounds.highest);
    auto* twicePauseLabel = new QLabel(
        QStringLiteral("2回目までの間隔(&E) (%1～%2秒)").arg(kTwicePauseBounds.lowest).arg(kTwicePauseBounds.highest),
        check);
    twicePauseLabel->setBuddy(m_twicePause->LineEdit());
    auto* checkLayout = new QGridLayout(check);
    checkLayout->addWidget(timeOutLabel, 0, 0);
    checkLayout->addWidget(m_timeOut, 0, 1, Qt::AlignLeft);
    checkLayout->addWidget(m_httpVerLabel, 1, 0);
    checkLayout->addWidget(m_httpVer, 1, 1, Qt::AlignLeft);
    checkLayout->addWidget(m_parallelLabel, 2, 0);
    checkLayout->addWidget(m_parallel, 2, 1, Qt::AlignLeft);
    checkLayout->addWidget(m_httpsOn, 3, 0, 1, 2);
    checkLayout->addWidget(httpsTargetLabel, 4, 0);
    checkLayout->addWidget(m_httpsTarget, 4, 1);
    checkLayout->addWidget(m_detectType, 5, 0, 1, 2);
    checkLayout->addWidget(m_followRun, 6, 0, 1, 2);
    checkLayout->addWidget(maxRowsLabel, 7, 0);
    checkLayout->addWidget(m_maxRows, 7, 1, Qt::AlignLeft);
    checkLayout->addWidget(m_twiceOn, 8, 0, 1, 2);
    checkLayout->addWidget(twicePauseLabel, 9, 0);
    checkLayout->addWidget(m_twicePause, 9, 1, Qt::AlignLeft);
    checkLayout->setColumnStretch(1, 1);

    auto* browser = new QGroupBox(QStringLiteral("ﾌﾞﾗｳｻﾞ起動設定(B)"), this);
    m_browserPath = new QLineEdit(browser);
    m_browserPath->setObjectName(QStringLiteral("browserPathEdit"));
    auto* pathLabel = new QLabel(QStringLiteral("通常使用するﾌﾞﾗｳｻﾞの場所を指定(&L)"), browser);
    pathLabel->setBuddy(m_browserPath);
    m_browse = new QPushButton(QStringLiteral("..."), browser);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_browse->setFixedWidth(m_browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    m_startUrl = new QLineEdit(browser);
    m_startUrl->setObjectName(QStringLiteral("startUrlEdit"));
    auto* startUrlLabel = new QLabel(QStringLiteral("ﾌﾞﾗｳｻﾞ起動時にｱｸｾｽするURLを入力(&A)"), browser);
    startUrlLabel->setBuddy(m_startUrl);
    m_startUrlOn = new QCheckBox(QStringLiteral("上記のURLで起動(&O)"), browser);
    m_startUrlOn->setObjectName(QStringLiteral("startUrlCheck"));
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_browserPath);
    pathRow->addWidget(m_browse);
    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(new QLabel(QStringLiteral("URL："), browser));
    urlRow->addWidget(m_startUrl);
    auto* browserLayout = new QVBoxLayout(browser);
    browserLayout->addWidget(pathLabel);
    browserLayout->addLayout(pathRow);
    browserLayout->addSpacing(6);
    browserLayout->addWidget(startUrlLabel);
    browserLayout->addLayout(urlRow);
    browserLayout->addWidget(m_startUrlOn);

    auto* startUp = new QGroupBox(QStringLiteral("Zandel起動時設定(O)"), this);
    m_taskTrayOpen = new QCheckBox(QStringLiteral("ﾀｽｸﾄﾚｲに強制的に収納する(&H)"), startUp);
    m_taskTrayOpen->setObjectName(QStringLiteral("taskTrayCheck"));
    m_openCheck = new QCheckBox(QStringLiteral("設定されているﾌﾟﾛｷｼを自動的にﾁｪｯｸする(&C)"), startUp);
    m_openCheck->setObjectName(QStringLiteral("openCheckCheck"));
    auto* startUpLayout = new QVBoxLayout(startUp);
    startUpLayout->addWidget(m_taskTrayOpen);
    startUpLayout->addWidget(m_openCheck);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(check);
    layout->addWidget(browser);
    layout->addWidget(startUp);
    layout->addStretch(1);

    LimitBytes(m_startUrl, kPageTextLimit);
    LimitBytes(m_httpVer, kPageTextLimit);
    LimitBytes(m_browserPath, kPageTextLimit);
    LimitBytes(m_httpsTarget, kPageTextLimit);

    connect(m_timeOut->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_timeOut, &SpinEdit::Stepped, this, [this] { SetModified(); });
    connect(m_parallel->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_parallel, &SpinEdit::Stepped, this, [this] { SetModified(); });
    connect(m_startUrl, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_browserPath, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_httpsOn, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(m_detectType, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(m_followRun, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(m_maxRows->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_maxRows, &SpinEdit::Stepped, this, [this] { SetModified(); });
    connect(m_httpsTarget, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_twiceOn, &QCheckBox::clicked, this, [this] { SetModified(); });
    connect(m_twicePause->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(m_twicePause, &SpinEdit::Stepped, this, [this] { SetModified(); });
    connect(m_startUrlOn, &QCheckBox::clicked, this, &CheckPage::StartUrlClicked);
    connect(m_browse, &QPushButton::clicked, this, &CheckPage::BrowseClicked);
    // The two start-up boxes change nothing but themselves: OK stores them, Apply is not offered for them.
}

void CheckPage::ShowParallelRange(int maxRows) {
    const int most = MostParallelChecks(maxRows);
    m_parallel->SetRange(1, most);
    m_parallelLabel->setText(QStringLiteral("同時ﾁｪｯｸ数(&J) (%1～%2)").arg(1).arg(most));
}

void CheckPage::OnLoad() {
    m_fields = LoadCheckPage(m_settings);
}

void CheckPage::ShowFields() {
    m_timeOut->SetValue(m_fields.TimeOut);
    ShowParallelRange(m_fields.MaxRows);
    m_parallel->SetValue(m_fields.ParallelChecks);
    m_maxRows->SetValue(m_fields.MaxRows);
    m_startUrl->setText(FromBytes(m_fields.BwUrl));
    ShowDropDown(m_httpVer, m_fields.HttpVer);
    m_browserPath->setText(FromBytes(m_fields.BwPath));
    m_startUrlOn->setChecked(m_fields.BwUrlOn);
    m_taskTrayOpen->setChecked(m_fields.TaskTrayOpen);
    m_openCheck->setChecked(m_fields.OpenCheck);
    m_httpsOn->setChecked(m_fields.HttpsCheckOn);
    m_detectType->setChecked(m_fields.DetectProxyType);
    m_followRun->setChecked(m_fields.FollowRun);
    m_httpsTarget->setText(FromBytes(m_fields.HttpsTarget));
    m_twiceOn->setChecked(m_fields.TwiceOn);
    m_twicePause->SetValue(m_fields.TwicePause);
}

bool CheckPage::ReadFields() {
    if (!ReadInt(m_timeOut->LineEdit(), kTimeOutBounds.lowest, kTimeOutBounds.highest, m_fields.TimeOut) ||
        !ReadInt(m_maxRows->LineEdit(), kMaxRowsBounds.lowest, kMaxRowsBounds.highest, m_fields.MaxRows)) {
        return false;
    }
    // A raised row limit allows more checks at once, from the same Apply on.
    ShowParallelRange(m_fields.MaxRows);
    if (!ReadInt(m_parallel->LineEdit(), 1, MostParallelChecks(m_fields.MaxRows), m_fields.ParallelChecks) ||
        !ReadInt(m_twicePause->LineEdit(), kTwicePauseBounds.lowest, kTwicePauseBounds.highest, m_fields.TwicePause) ||
        !ReadChecked(m_httpsTarget, &CheckHttpsTargetField, m_fields.HttpsTarget) ||
        !ReadText(m_startUrl, kPageTextLimit, m_fields.BwUrl)) {
        return false;
    }
    // The user can neither see nor change the version, so an over-long stored one must not lock the page.
    m_fields.HttpVer = ToBytes(m_httpVer->currentText());
    if (!ReadText(m_browserPath, kPageTextLimit, m_fields.BwPath)) {
        return false;
    }
    m_fields.BwUrlOn = m_startUrlOn->isChecked();
    m_fields.TaskTrayOpen = m_taskTrayOpen->isChecked();
    m_fields.OpenCheck = m_openCheck->isChecked();
    m_fields.HttpsCheckOn = m_httpsOn->isChecked();
    m_fields.DetectProxyType = m_detectType->isChecked();
    m_fields.FollowRun = m_followRun->isChecked();
    m_fields.TwiceOn = m_twiceOn->isChecked();
    return true;
}

void CheckPage::OnOpen() {
    m_fields.TimeOut = TimeOutAtOpen(m_fields.TimeOut);
    m_timeOut->SetValue(m_fields.TimeOut);
    m_startUrl->setEnabled(m_fields.BwUrlOn);
}

void CheckPage::StartUrlClicked() {
    ReadFields();
    // The box follows the check box itself, also when a field before it failed to read.
    m_startUrl->setEnabled(m_startUrlOn->isChecked());
    SetModified();
}

void CheckPage::BrowseClicked() {
    const QString chosen = m_chooseBrowser(this, m_browserPath->text());
    if (chosen.isEmpty()) {
        return;
    }
    // Only the path changes: what the user typed into the other boxes stays.
    m_fields.BwPath = ToBytes(chosen);
    m_browserPath->setText(chosen);
    SetModified();
}

bool CheckPage::OnApply() {
    if (!ReadFields()) {
        return false;
    }
    ApplyCheckPage(m_fields, m_settings);
    return true;
}

} // namespace zandel::ui
