#include "core/proxy/ProxyBarCommands.h"

#include <utility>

#include "core/settings/AppSettings.h"
#include "core/list/RowStore.h"
#include "core/proxy/ProxyBar.h"
#include "core/util/Text.h"

namespace zandel {

ProxyBarCommands::ProxyBarCommands(IRowStore& rows, AppSettings& settings, std::function<IProxyBar*()> proxyBar)
    : m_rows(rows), m_settings(settings), m_proxyBar(std::move(proxyBar)) {}

void RecordProxyBar(AppSettings& settings, int use, const std::string& address) {
    settings.ProxyOn = use != 0;
    settings.ProxyAddr = address;
}

bool ProxyBarCommands::FirstSelectedAddress(std::string& address) const {
    if (m_rows.RowCount() == 0) {
        return false;
    }
    const std::vector<int> selected = m_rows.SelectedRows(1);
    if (selected.empty()) {
        return false;
    }
    address = CutBytes(m_rows.GetCellText(selected.front(), 0));
    return true;
}

// While the browser uses a proxy the bar keeps showing it: a click only offers an address when it is off.
void ProxyBarCommands::OfferSelectedAddress() {
    IProxyBar* bar = m_proxyBar();
    std::string address;
    if (bar == nullptr || !FirstSelectedAddress(address)) {
        return;
    }
    if (bar->GetUseProxy() == 0) {
        bar->SetAddr(address);
        m_settings.FavoSel = false;
    }
}

void ProxyBarCommands::ChangeProxy() {
    IProxyBar* bar = m_proxyBar();
    std::string address;
    if (bar == nullptr || !FirstSelectedAddress(address)) {
        return;
    }
    ChangeProxyTo(*bar, address);
    m_settings.FavoSel = false;
}

bool ChangeProxyTo(IProxyBar& bar, const std::string& address) {
    bar.SetAddr(address);
    // The given address, also when the bar refused it as too long.
    return bar.ApplyProxy(bar.GetUseProxy(), address);
}

bool ChangeToFavourite(IProxyBar& bar, const std::string& address, AppSettings& settings) {
    if (!ChangeProxyTo(bar, address)) {
        return false;
    }
    settings.FavoSel = true;
    return true;
}

// The bar's address stays as it is: only the browser gets the marked row's address.
void ProxyBarCommands::ToggleProxy() {
    IProxyBar* bar = m_proxyBar();
    const int mark = m_rows.SelectionMark();
    if (bar == nullptr || m_rows.RowCount() == 0 || mark < 0) {
        return;
    }
    const std::string address = CutBytes(m_rows.GetCellText(mark, 0));
    const int use = bar->GetUseProxy() != 0 ? 0 : 1;
    bar->SetUseProxy(use);
    bar->EnableAddrEdit(use != 0);
    bar->ApplyProxy(use, address);
}

void ProxyBarCommands::ProxyOff() {
    IProxyBar* bar = m_proxyBar();
    if (bar == nullptr) {
        return;
    }
    bar->EnableAddrEdit(false);
    const std::string address = bar->GetAddr();
    bar->SetUseProxy(0);
    bar->SetAddr(address);
    bar->ApplyProxy(0, address);
}

// With FavoOn off the favourite goes into the bar and to the desktop with the proxy switched off.
void ProxyBarCommands::ChooseFavourite(int slot) {
    IProxyBar* bar = m_proxyBar();
    if (bar == nullptr || slot < 0 || slot >= static_cast<int>(m_settings.Favourites.size())) {
        return;
    }
    const std::string address = m_settings.Favourites[static_cast<std::size_t>(slot)];
    bar->EnableAddrEdit(m_settings.FavoOn);
    bar->SetUseProxy(m_settings.FavoOn ? 1 : 0);
    bar->SetAddr(address);
    bar->ApplyProxy(bar->GetUseProxy(), address);
    m_settings.FavoSel = true;
}

} // namespace zandel
