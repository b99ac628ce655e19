#pragma once

#include <string>

#include <QToolBar>

class QCheckBox;
class QLineEdit;

namespace zandel {
struct AppSettings;
class IInternetSettings;
} // namespace zandel

namespace zandel::ui {

// The browser proxy bar: check box 1007 "ﾌﾞﾗｳｻﾞにﾌﾟﾛｷｼを使用(&P)" and the address edit 1021. Its state starts
// from ProxyOn / ProxyAddr and goes back to them when the main window closes (SaveToSettings).
class CProxyBar final : public QToolBar {
    Q_OBJECT
public:
    CProxyBar(AppSettings& settings, IInternetSettings& internet, QWidget* parent = nullptr);

    int GetUseProxy() const;
    void SetUseProxy(int use);
    std::string GetAddr() const;
    // Refuses a text of 260 bytes or more (false, nothing changes).
    bool SetAddr(const std::string& address);
    void EnableAddrEdit(bool enabled);
    // Hands the setting to the desktop's proxy settings.
    void ApplyProxy(int use, const std::string& address);
    // Reads the controls back into ProxyOn and ProxyAddr.
    void SaveToSettings();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowAddress();

    AppSettings& m_settings;
    IInternetSettings& m_internet;
    QCheckBox* m_useBox = nullptr;
    QLineEdit* m_addressEdit = nullptr;
    int m_use = 0;
    std::string m_address;
};

} // namespace zandel::ui
