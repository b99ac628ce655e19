#include "ui/list/ListPopupMenus.h"

#include <QMenu>
#include <QPointer>

#include "core/settings/AppSettings.h"
#include "core/frame/BrowserLaunch.h"
#include "core/frame/CommandIds.h"
#include "core/frame/ProgramLauncher.h"
#include "core/list/Registration.h"
#include "core/proxy/ProxyBar.h"
#include "core/proxy/ProxyBarCommands.h"
#include "ui/list/ListRows.h"
#include "ui/list/ListViewHost.h"
#include "ui/list/MenuBuilder.h"
#include "ui/list/ProxyListView.h"

namespace zandel::ui {

ListPopupMenus::ListPopupMenus(AppSettings& settings, ProxyListView& view, IListViewHost& host,
                               IProgramLauncher& launcher, IMessageService& messages)
    : QObject(&view), m_settings(settings), m_view(&view), m_host(host), m_launcher(launcher), m_messages(messages) {
    setObjectName(QStringLiteral("listPopupMenus"));
    BindCommands();
    // A right click (or the menu key) in the list opens the context menu where it happened.
    view.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&view, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (m_view != nullptr) {
            ShowContextMenu(m_view->viewport()->mapToGlobal(position));
        }
    });
}

ListPopupMenus::~ListPopupMenus() = default;

void ListPopupMenus::Detach() {
    m_view = nullptr;
}

MenuState ListPopupMenus::CurrentState() const {
    MenuState state;
    state.running = m_view->IsRunning();
    state.remaining = m_view->RemainingCount();
    state.rowCount = m_view->Rows().RowCount();
    state.selectionMark = m_view->Rows().SelectionMark();
    state.serving = m_host.LocalProxyServing();
    if (const IProxyBar* bar = m_host.ProxyBar()) {
        state.useProxy = bar->GetUseProxy();
        state.proxyAddress = bar->GetAddr();
    }
    return state;
}

std::unique_ptr<QMenu> ListPopupMenus::MakeMenu(const std::vector<MenuItem>& items) {
    // The menu belongs to its caller alone and may outlive the list window: a choice made then does nothing.
    auto menu = std::make_unique<QMenu>();
    FillMenu(*menu, items, [popups = QPointer<ListPopupMenus>(this)](int id) {
        if (popups) {
            popups->OnListCommand(id);
        }
    });
    return menu;
}

std::unique_ptr<QMenu> ListPopupMenus::MakeContextMenu() {
    if (m_view == nullptr) {
        return nullptr;
    }
    const std::optional<std::vector<MenuItem>> items = BuildContextMenu(m_settings, CurrentState());
    if (!items) {
        return nullptr;
    }
    std::unique_ptr<QMenu> menu = MakeMenu(*items);
    menu->setObjectName(QStringLiteral("listContextMenu"));
    return menu;
}

std::unique_ptr<QMenu> ListPopupMenus::MakeTrayMenu() {
    if (m_view == nullptr) {
        return nullptr;
    }
    std::unique_ptr<QMenu> menu = MakeMenu(BuildTrayMenu(m_settings, CurrentState()));
    menu->setObjectName(QStringLiteral("trayMenu"));
    return menu;
}

void ListPopupMenus::ShowContextMenu(const QPoint& globalPos) {
    if (std::unique_ptr<QMenu> menu = MakeContextMenu()) {
        menu->exec(globalPos);
    }
}

void ListPopupMenus::ShowTrayMenu(const QPoint& globalPos) {
    if (std::unique_ptr<QMenu> menu = MakeTrayMenu()) {
        menu->exec(globalPos);
    }
}

void ListPopupMenus::BindCommands() {
    m_bindings.Bind(cmd::kRegisterFavourites, [this] { RegisterFavourites(m_settings, m_view->Rows(), m_messages); });
    m_bindings.Bind(cmd::kRegisterChainProxies,
                    [this] { RegisterChainProxies(m_settings, m_view->Rows(), m_messages); });
    m_bindings.Bind(cmd::kOpenBrowser, [this] { OpenBrowser(); });
    m_bindings.BindRange(cmd::kFavouriteFirst, cmd::kFavouriteLast, [this](int id) {
        // A favourite slot emptied since the menu opened leaves nothing to choose.
        if (const std::optional<int> slot = FavouriteSlot(id, m_settings)) {
            m_view->ProxyCommands().ChooseFavourite(*slot);
        }
        return true;
    });
}

bool ListPopupMenus::OnListCommand(int id) {
    // A command from a menu that outlived the list window has nothing left to act on.
    return m_view != nullptr && m_host.DispatchFromPopup(id);
}

void ListPopupMenus::OpenBrowser() {
    const LaunchPlan plan = PlanOpenBrowser(m_settings, m_messages);
    if (plan.launch) {
        LaunchOrReport(m_launcher, plan.program, plan.parameter, m_messages);
    }
}

} // namespace zandel::ui
