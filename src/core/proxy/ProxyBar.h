#pragma once

#include <string>

namespace zandel {

// The browser proxy bar as the list's proxy commands see it: the use-a-proxy check, the address, and the
// hand-over to the desktop's proxy settings.
class IProxyBar {
public:
    virtual ~IProxyBar() = default;
    virtual int GetUseProxy() const = 0;
    virtual void SetUseProxy(int use) = 0;
    virtual std::string GetAddr() const = 0;
    // Refuses a text of 260 bytes or more (false, nothing changes).
    virtual bool SetAddr(const std::string& address) = 0;
    virtual void EnableAddrEdit(bool enabled) = 0;
    // Hands the setting to the desktop's proxy settings; false when the desktop refused it (the user has been told).
    virtual bool ApplyProxy(int use, const std::string& address) = 0;
};

} // namespace zandel
