#include "ui/frame/ProxyBar.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include "core/settings/AppSettings.h"
#include "core/util/MessageService.h"
#include "core/proxy/InternetSettings.h"
#include "core/proxy/ProxyBarCommands.h"
#include "core/util/Text.h"
#include "ui/util/MessageBoxService.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

constexpr int kMaxEditChars = 256;
constexpr std::size_t kRefusedAddressBytes = 260;

} // namespace

CProxyBar::CProxyBar(AppSettings& settings, IInternetSettings& internet, QWidget* parent)
    : QToolBar(parent), m_settings(settings), m_internet(internet) {
    setObjectName(QStringLiteral("proxyBar"));
    setWindowTitle(QStringLiteral("ﾌﾟﾛｷｼ"));

    m_useBox = new QCheckBox(QStringLiteral("ﾌﾞﾗｳｻﾞにﾌﾟﾛｷｼを使用(&P)"), this);
    m_useBox->setObjectName(QStringLiteral("useProxyBox"));
    m_useBox->setToolTip(QStringLiteral("ﾌﾟﾛｷｼのOn/Off"));
    addWidget(m_useBox);

    auto* label = new QLabel(QStringLiteral("ｱﾄﾞﾚｽ(E) :"), this);
    label->setContentsMargins(8, 0, 4, 0);
    addWidget(label);

    m_addressEdit = new QLineEdit(this);
    m_addressEdit->setObjectName(QStringLiteral("proxyAddressEdit"));
    m_addressEdit->setToolTip(QStringLiteral("ﾌﾟﾛｷｼｻｰﾊﾞのｱﾄﾞﾚｽ"));
    m_addressEdit->setMaxLength(kMaxEditChars);
    m_addressEdit->setMinimumWidth(
        m_addressEdit->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000:00000")) + 16);
    m_addressEdit->installEventFilter(this);
    addWidget(m_addressEdit);

    // The bar starts from the state remembered from the last run; the desktop's setting is not touched.
    m_use = m_settings.ProxyOn ? 1 : 0;
    m_address = CutBytes(m_settings.ProxyAddr);
    m_useBox->setChecked(m_use != 0);
    ShowAddress();
    EnableAddrEdit(m_use != 0);

    connect(m_useBox, &QCheckBox::clicked, this, [this](bool checked) {
        m_use = checked ? 1 : 0;
        EnableAddrEdit(checked);
        ApplyProxy(m_use, m_address);
    });
    // Typing switches the use flag off without touching the desktop's setting: a proxy that was on stays on
    // until the box is clicked again, which then applies the edited address.
    connect(m_addressEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_address = ToBytes(text);
        m_use = 0;
        m_useBox->setChecked(false);
    });
}

bool CProxyBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_addressEdit && event->type() == QEvent::FocusOut) {
        m_use = m_useBox->isChecked() ? 1 : 0;
        if (m_use == 0) {
            EnableAddrEdit(false);
        }
    }
    return QToolBar::eventFilter(watched, event);
}

int CProxyBar::GetUseProxy() const {
    return m_use;
}

void CProxyBar::SetUseProxy(int use) {
    m_use = use != 0 ? 1 : 0;
    m_useBox->setChecked(m_use != 0);
    ShowAddress();
}

std::string CProxyBar::GetAddr() const {
    return m_address;
}

bool CProxyBar::SetAddr(const std::string& address) {
    if (address.size() >= kRefusedAddressBytes) {
        return false;
    }
    m_address = address;
    ShowAddress();
    return true;
}

void CProxyBar::EnableAddrEdit(bool enabled) {
    m_addressEdit->setEnabled(enabled);
}

bool CProxyBar::ApplyProxy(int use, const std::string& address) {
    return Hand(use, address, false);
}

bool CProxyBar::ApplyProxyAndSocks(int use, const std::string& address) {
    return Hand(use, address, true);
}

bool CProxyBar::Hand(int use, const std::string& address, bool socksToo) {
    // The bar keeps what the user chose; the user learns that the browser does not follow it.
    if (!zandel::ApplyProxy(m_internet, use, address, socksToo)) {
        ShowOk(MessageBoxService::Instance(), kProxyNotChanged);
        return false;
    }
    if (const std::string notice = LoginNotice(m_internet.LoginFate()); !notice.empty()) {
        ShowOk(MessageBoxService::Instance(), notice);
    }
    return true;
}

// m_address follows every user edit as bytes, so an address read from the settings keeps its own bytes.
void CProxyBar::SaveToSettings() {
    m_use = m_useBox->isChecked() ? 1 : 0;
    RecordProxyBar(m_settings, m_use, m_address);
}

void CProxyBar::ShowAddress() {
    // setText is not a user edit: textEdited stays silent, so the use flag is left as it was set.
    m_addressEdit->setText(FromBytes(m_address));
}

} // namespace zandel::ui
