#pragma once

#include <memory>
#include <vector>

#include <QObject>

#include "core/frame/CommandDispatcher.h"
#include "core/frame/PopupMenus.h"

class QMenu;
class QPoint;

namespace zandel {
struct AppSettings;
class IMessageService;
class IProgramLauncher;
} // namespace zandel

namespace zandel::ui {

class ProxyListView;
class IListViewHost;

// The popup menus the list window owns, its context menu and the notification-area menu. Every command chosen
// in them goes through OnListCommand to the main window's dispatcher; the menus' own commands (favourites,
// registration, the browser) are bound here.
class ListPopupMenus final : public QObject {
    Q_OBJECT
public:
    ListPopupMenus(AppSettings& settings, ProxyListView& view, IListViewHost& host, IProgramLauncher& launcher,
                   IMessageService& messages);
    ~ListPopupMenus() override;

    // The list window is going: from now on no menu shows and every command does nothing.
    void Detach();

    // The menus as they would show now, built afresh; none when no menu shows.
    std::unique_ptr<QMenu> MakeContextMenu();
    std::unique_ptr<QMenu> MakeTrayMenu();
    void ShowContextMenu(const QPoint& globalPos);
    void ShowTrayMenu(const QPoint& globalPos);

    // False when no window handles the command.
    bool OnListCommand(int id);
    const CommandBindings& Bindings() const { return m_bindings; }

private:
    void BindCommands();
    MenuState CurrentState() const;
    std::unique_ptr<QMenu> MakeMenu(const std::vector<MenuItem>& items);
    void OpenBrowser();

    AppSettings& m_settings;
    ProxyListView* m_view;
    IListViewHost& m_host;
    IProgramLauncher& m_launcher;
    IMessageService& m_messages;
    CommandBindings m_bindings;
};

} // namespace zandel::ui
