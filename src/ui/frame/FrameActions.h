#pragma once

#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace zandel {
class CommandRules;
struct MenuEntry;
struct FrameState;
} // namespace zandel

namespace zandel::ui {

// The main window's commands as actions, built from the command table: the menu bar, the toolbar, the
// accelerators and the recent-file entries. Every action reports its command number to one handler.
class FrameActions final : public QObject {
    Q_OBJECT
public:
    FrameActions(QMainWindow& window, std::function<void(int)> onCommand);

    // nullptr for a number without an action.
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    QMenu* Menu(const char* objectName) const;
    QMenu* SaveWithoutResultsMenu() const { return m_saveWithoutResults; }
    // The top-level menus, each reported when it is about to open.
    void OnMenuOpening(std::function<void()> handler) { m_onMenuOpening = std::move(handler); }

    // Items 57616.. of the File menu; a greyed "最近使ったﾌｧｲﾙ" when there is none.
    void SetRecentFiles(const std::vector<std::string>& paths);

    // The menu-bar pass, then every command's own rule.
    void MenuBarOpened(CommandRules& rules, const FrameState& state);
    void ApplyRules(CommandRules& rules, const FrameState& state);

private:
    QAction* MakeAction(int id);
    void BuildMenus(QMainWindow& window);
    void AddEntries(QMenu& menu, std::span<const MenuEntry> entries);
    void BuildToolBar(QMainWindow& window);

    std::function<void(int)> m_onCommand;
    std::function<void()> m_onMenuOpening;
    std::map<int, QAction*> m_actions;
    std::vector<QAction*> m_recentActions;
    QAction* m_recentPlaceholder = nullptr;
    QMenu* m_saveWithoutResults = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::vector<QMenu*> m_menus;
};

} // namespace zandel::ui
