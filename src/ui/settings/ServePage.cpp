#include "ui/settings/ServePage.h"

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/settings/SettingsTable.h"
#include "ui/settings/SpinEdit.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

const IntBounds kTriesBounds = BoundsOf(&AppSettings::ServeTries);
const IntBounds kStickyBounds = BoundsOf(&AppSettings::ServeSticky);
const IntBounds kMaxClientsBounds = BoundsOf(&AppSettings::ServeMaxClients);

// The strategies as the box offers them, each under the name the settings keep.
struct StrategyChoice {
    const char* name;
    const char* text;
};
constexpr std::array<StrategyChoice, 4> kStrategies{{
    {"weighted", "速いﾌﾟﾛｷｼほど多く (weighted)"},
    {"fastest", "いちばん速いﾌﾟﾛｷｼ (fastest)"},
    {"round-robin", "順番に (round-robin)"},
    {"random", "ﾗﾝﾀﾞﾑ (random)"},
}};

SpinEdit* NumberBox(const QString& name, IntBounds bounds, QWidget* parent) {
    auto* box = new SpinEdit(parent);
    box->setObjectName(name);
    box->LineEdit()->setObjectName(name + QStringLiteral("Edit"));
    box->LineEdit()->setFixedWidth(64);
    box->SetRange(bounds.lowest, bounds.highest);
    return box;
}

QLineEdit* TextBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QLabel* Label(const QString& text, IntBounds bounds, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text.arg(bounds.lowest).arg(bounds.highest), parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

ServePage::ServePage(AppSettings& settings, QWidget* parent)
    : PropertyPage(QStringLiteral("ﾛｰｶﾙﾌﾟﾛｷｼ"), parent), m_settings(settings) {
    setObjectName(QStringLiteral("servePage"));
    BuildControls();
}

void ServePage::BuildControls() {
    auto* listen = new QGroupBox(QStringLiteral("待ち受け"), this);
    m_listenEdit = TextBox(QStringLiteral("serveListen"), listen);
    auto* listenLabel = new QLabel(QStringLiteral("ｱﾄﾞﾚｽ:ﾎﾟｰﾄ(&A)"), listen);
    listenLabel->setBuddy(m_listenEdit);
    m_liveButton = new QRadioButton(QStringLiteral("ﾘｽﾄのﾁｪｯｸで使えたﾌﾟﾛｷｼ(&L)"), listen);
    m_liveButton->setObjectName(QStringLiteral("servePoolLive"));
    m_favouritesButton = new QRadioButton(QStringLiteral("お気に入りのうち使えたﾌﾟﾛｷｼ(&F)"), listen);
    m_favouritesButton->setObjectName(QStringLiteral("servePoolFavourites"));
    m_leakyBox =
        new QCheckBox(QStringLiteral("Non-Anonymousのﾌﾟﾛｷｼも使う(&N) (接続先にあなたのｱﾄﾞﾚｽが伝わります)"), listen);
    m_leakyBox->setObjectName(QStringLiteral("serveAllowLeaky"));
    auto* listenLayout = new QGridLayout(listen);
    listenLayout->addWidget(listenLabel, 0, 0);
    listenLayout->addWidget(m_listenEdit, 0, 1);
    listenLayout->addWidget(m_liveButton, 1, 0, 1, 3);
    listenLayout->addWidget(m_favouritesButton, 2, 0, 1, 3);
    listenLayout->addWidget(m_leakyBox, 3, 0, 1, 3);
    listenLayout->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listen);
    layout->addWidget(BuildChoiceGroup());
    layout->addWidget(BuildLoginGroup());
    layout->addWidget(new QLabel(QStringLiteral("(変更はﾛｰｶﾙﾌﾟﾛｷｼを次に開始したときから有効になります)"), this));
    layout->addStretch(1);

    for (QLineEdit* box : {m_listenEdit, m_portsEdit, m_userEdit, m_passwordEdit}) {
        connect(box, &QLineEdit::textEdited, this, [this] { SetModified(); });
    }
    for (SpinEdit* box : {m_triesEdit, m_stickyEdit, m_maxClientsEdit}) {
        connect(box->LineEdit(), &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(box, &SpinEdit::Stepped, this, [this] { SetModified(); });
    }
    for (QAbstractButton* button :
         std::initializer_list<QAbstractButton*>{m_liveButton, m_favouritesButton, m_leakyBox}) {
        connect(button, &QAbstractButton::clicked, this, [this] { SetModified(); });
    }
    connect(m_strategyBox, &QComboBox::activated, this, [this] { SetModified(); });
}

QWidget* ServePage::BuildChoiceGroup() {
    auto* choice = new QGroupBox(QStringLiteral("ﾌﾟﾛｷｼの選び方"), this);
    m_strategyBox = new QComboBox(choice);
    m_strategyBox->setObjectName(QStringLiteral("serveStrategy"));
    for (const StrategyChoice& strategy : kStrategies) {
        m_strategyBox->addItem(QString::fromUtf8(strategy.text), QString::fromUtf8(strategy.name));
    }
    auto* strategyLabel = new QLabel(QStringLiteral("選び方(&S)"), choice);
    strategyLabel->setBuddy(m_strategyBox);
    m_triesEdit = NumberBox(QStringLiteral("serveTries"), kTriesBounds, choice);
    m_stickyEdit = NumberBox(QStringLiteral("serveSticky"), kStickyBounds, choice);
    m_maxClientsEdit = NumberBox(QStringLiteral("serveMaxClients"), kMaxClientsBounds, choice);
    m_portsEdit = TextBox(QStringLiteral("servePorts"), choice);
    auto* portsLabel = new QLabel(QStringLiteral("接続先ﾎﾟｰﾄ(&P)"), choice);
    portsLabel->setBuddy(m_portsEdit);
    auto* grid = new QGridLayout(choice);
    grid->addWidget(strategyLabel, 0, 0);
    grid->addWidget(m_strategyBox, 0, 1, 1, 2);
    grid->addWidget(
        Label(QStringLiteral("1つの接続で試すﾌﾟﾛｷｼ(&T) (%1～%2)"), kTriesBounds, m_triesEdit->LineEdit(), choice), 1,
        0);
    grid->addWidget(m_triesEdit, 1, 1);
    grid->addWidget(Label(QStringLiteral("同じ接続先に同じﾌﾟﾛｷｼを使う時間(&K) (%1～%2分)"), kStickyBounds,
                          m_stickyEdit->LineEdit(), choice),
                    2, 0);
    grid->addWidget(m_stickyEdit, 2, 1);
    grid->addWidget(
        Label(QStringLiteral("同時に受ける接続(&M) (%1～%2)"), kMaxClientsBounds, m_maxClientsEdit->LineEdit(), choice),
        3, 0);
    grid->addWidget(m_maxClientsEdit, 3, 1);
    grid->addWidget(portsLabel, 4, 0);
    grid->addWidget(m_portsEdit, 4, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    return choice;
}

QWidget* ServePage::BuildLoginGroup() {
    auto* login = new QGroupBox(QStringLiteral("ｸﾗｲｱﾝﾄのﾛｸﾞｲﾝ (127.0.0.1 以外で待ち受けるときは必須)"), this);
    m_userEdit = TextBox(QStringLiteral("serveUser"), login);
    m_passwordEdit = TextBox(QStringLiteral("servePassword"), login);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    auto* userLabel = new QLabel(QStringLiteral("ﾕｰｻﾞｰ名(&U)"), login);
    userLabel->setBuddy(m_userEdit);
    auto* passwordLabel = new QLabel(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ(&W)"), login);
    passwordLabel->setBuddy(m_passwordEdit);
    auto* grid = new QGridLayout(login);
    grid->addWidget(userLabel, 0, 0);
    grid->addWidget(m_userEdit, 0, 1);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(m_passwordEdit, 1, 1);
    return login;
}

void ServePage::OnLoad() {
    m_fields = LoadServePage(m_settings);
}

void ServePage::ShowFields() {
    m_listenEdit->setText(FromBytes(m_fields.Listen));
    m_liveButton->setChecked(!m_fields.Favourites);
    m_favouritesButton->setChecked(m_fields.Favourites);
    // A name the box does not offer (a file edited by hand) shows as the default, which is what Apply stores.
    const int strategy = m_strategyBox->findData(FromBytes(m_fields.Strategy));
    m_strategyBox->setCurrentIndex(strategy < 0 ? 0 : strategy);
    m_triesEdit->SetValue(m_fields.Tries);
    m_stickyEdit->SetValue(m_fields.Sticky);
    m_maxClientsEdit->SetValue(m_fields.MaxClients);
    m_portsEdit->setText(FromBytes(m_fields.Ports));
    m_leakyBox->setChecked(m_fields.AllowLeaky);
    m_userEdit->setText(FromBytes(m_fields.User));
    m_passwordEdit->setText(FromBytes(m_fields.Password));
}

QLineEdit* ServePage::FieldBox(ServeField field) const {
    switch (field) {
    case ServeField::Listen:
        return m_listenEdit;
    case ServeField::Ports:
        return m_portsEdit;
    case ServeField::Password:
        return m_passwordEdit;
    default:
        return m_userEdit;
    }
}

bool ServePage::ReadFields() {
    ServePageFields read = m_fields;
    if (!ReadInt(m_triesEdit->LineEdit(), kTriesBounds.lowest, kTriesBounds.highest, read.Tries) ||
        !ReadInt(m_stickyEdit->LineEdit(), kStickyBounds.lowest, kStickyBounds.highest, read.Sticky) ||
        !ReadInt(m_maxClientsEdit->LineEdit(), kMaxClientsBounds.lowest, kMaxClientsBounds.highest, read.MaxClients)) {
        return false;
    }
    read.Listen = ToBytes(m_listenEdit->text());
    read.Favourites = m_favouritesButton->isChecked();
    read.Strategy = ToBytes(m_strategyBox->currentData().toString());
    read.Ports = ToBytes(m_portsEdit->text());
    read.AllowLeaky = m_leakyBox->isChecked();
    read.User = ToBytes(m_userEdit->text());
    read.Password = ToBytes(m_passwordEdit->text());
    if (const ServePageCheck check = CheckServePage(read); !check.message.empty()) {
        FailField(check.message, FieldBox(check.field));
        return false;
    }
    m_fields = read;
    return true;
}

bool ServePage::OnApply() {
    if (!ReadFields()) {
        return false;
    }
    ApplyServePage(m_fields, m_settings);
    return true;
}

} // namespace zandel::ui
