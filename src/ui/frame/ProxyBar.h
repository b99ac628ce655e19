#pragma once

#include <string>

#include <QToolBar>

#include "core/proxy/ProxyBar.h"

class QCheckBox;
class QLineEdit;

namespace zandel {
struct AppSettings;
class IInternetSettings;
} // namespace zandel

namespace zandel::ui {

// The browser proxy bar: check box 1007 "ﾌﾞﾗｳｻﾞにﾌﾟﾛｷｼを使用(&P)" and the address edit 1021. Its state starts
// from ProxyOn / ProxyAddr and goes back to them when the main window closes (SaveToSettings).
class CProxyBar final : public QToolBar, public IProxyBar {
    Q_OBJECT
public:
    CProxyBar(AppSettings& settings, IInternetSettings& internet, QWidget* parent = nullptr);

    int GetUseProxy() const override;
    void SetUseProxy(int use) override;
    std::string GetAddr() const override;
    bool SetAddr(const std::string& address) override;
    void EnableAddrEdit(bool enabled) override;
    bool ApplyProxy(int use, const std::string& address) override;
    // The same with the desktop's SOCKS proxy set to the address as well (the local proxy speaks both).
    bool ApplyProxyAndSocks(int use, const std::string& address);
    // Reads the controls back into ProxyOn and ProxyAddr.
    void SaveToSettings();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowAddress();
    bool Hand(int use, const std::string& address, bool socksToo);

    AppSettings& m_settings;
    IInternetSettings& m_internet;
    QCheckBox* m_useBox = nullptr;
    QLineEdit* m_addressEdit = nullptr;
    int m_use = 0;
    std::string m_address;
};

} // namespace zandel::ui
