#include "ui/frame/FrameActions.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "core/frame/CommandIds.h"
#include "core/frame/CommandRules.h"
#include "core/frame/CommandTable.h"
#include "platform/RecentFileList.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

FrameActions::FrameActions(QMainWindow& window, std::function<void(int)> onCommand)
    : QObject(&window), m_onCommand(std::move(onCommand)) {
    for (const CommandInfo& info : Commands()) {
        if (info.objectName == nullptr) {
            continue;
        }
        QAction* action = MakeAction(info.id);
        // Accelerators act wherever the focus is in the window, menu item or not.
        window.addAction(action);
    }
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        auto* action = new QAction(&window);
        action->setObjectName(QStringLiteral("recentFile%1").arg(i + 1));
        action->setStatusTip(QStringLiteral("このﾘｽﾄﾌｧｲﾙを開きます"));
        const int id = cmd::kFileMru1 + i;
        connect(action, &QAction::triggered, this, [this, id] { m_onCommand(id); });
        m_actions[id] = action;
        m_recentActions.push_back(action);
    }
    m_recentPlaceholder = new QAction(QString::fromUtf8(kRecentFilesPlaceholder), &window);
    m_recentPlaceholder->setObjectName(QStringLiteral("recentFilesPlaceholder"));
    m_recentPlaceholder->setEnabled(false);
    BuildMenus(window);
    BuildToolBar(window);
    SetRecentFiles({});
}

QAction* FrameActions::MakeAction(int id) {
    const CommandInfo* info = FindCommand(id);
    auto* action = new QAction(QString::fromUtf8(info->text), parent());
    action->setObjectName(QString::fromUtf8(info->objectName));
    if (info->prompt != nullptr) {
        action->setStatusTip(QString::fromUtf8(info->prompt));
    }
    if (info->tip != nullptr) {
        action->setToolTip(QString::fromUtf8(info->tip));
    }
    if (info->icon != nullptr) {
        action->setIcon(QIcon(QString::fromUtf8(info->icon)));
    }
    if (info->shortcuts != nullptr) {
        action->setShortcuts(QKeySequence::listFromString(QString::fromUtf8(info->shortcuts)));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    action->setCheckable(info->checkable);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { m_onCommand(id); });
    m_actions[id] = action;
    return action;
}

void FrameActions::BuildMenus(QMainWindow& window) {
    QMenuBar* bar = window.menuBar();
    int position = 0;
    for (const MenuInfo& info : MainMenus()) {
        if (position++ == kMenuBarCommandPosition) {
            bar->addAction(Action(cmd::kMultiStage));
        }
        QMenu* menu = bar->addMenu(QString::fromUtf8(info.title));
        menu->setObjectName(QString::fromUtf8(info.objectName));
        connect(menu, &QMenu::aboutToShow, this, [this] {
            if (m_onMenuOpening) {
                m_onMenuOpening();
            }
        });
        m_menus.push_back(menu);
        AddEntries(*menu, info.entries);
    }
}

void FrameActions::AddEntries(QMenu& menu, std::span<const MenuEntry> entries) {
    for (const MenuEntry& entry : entries) {
        switch (entry.kind) {
        case MenuEntry::Kind::Separator:
            menu.addSeparator();
            break;
        case MenuEntry::Kind::Submenu: {
            // The only submenu of the bar, the saves without check results, is greyed as a whole.
            m_saveWithoutResults = menu.addMenu(QString::fromUtf8(entry.submenu->title));
            m_saveWithoutResults->setObjectName(QString::fromUtf8(entry.submenu->objectName));
            AddEntries(*m_saveWithoutResults, entry.submenu->entries);
            break;
        }
        case MenuEntry::Kind::RecentFiles:
            for (QAction* action : m_recentActions) {
                menu.addAction(action);
            }
            menu.addAction(m_recentPlaceholder);
            break;
        case MenuEntry::Kind::Command:
        case MenuEntry::Kind::Favourites:
            if (QAction* action = Action(entry.id)) {
                menu.addAction(action);
            }
            break;
        }
    }
}

void FrameActions::BuildToolBar(QMainWindow& window) {
    m_toolBar = new QToolBar(QStringLiteral("ﾂｰﾙﾊﾞｰ"), &window);
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const int slot : ToolbarLayout()) {
        if (slot == 0) {
            m_toolBar->addSeparator();
        } else {
            m_toolBar->addAction(Action(slot));
        }
    }
    window.addToolBar(Qt::TopToolBarArea, m_toolBar);
}

QAction* FrameActions::Action(int id) const {
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

QMenu* FrameActions::Menu(const char* objectName) const {
    for (QMenu* menu : m_menus) {
        if (menu->objectName() == QLatin1String(objectName)) {
            return menu;
        }
    }
    return nullptr;
}

void FrameActions::SetRecentFiles(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < m_recentActions.size(); ++i) {
        QAction* action = m_recentActions[i];
        const bool used = i < paths.size();
        action->setVisible(used);
        if (used) {
            QString path = FromBytes(paths[i]);
            // "&" would be taken for a mnemonic.
            path.replace(QLatin1Char('&'), QLatin1String("&&"));
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
        }
    }
    m_recentPlaceholder->setVisible(paths.empty());
}

void FrameActions::MenuBarOpened(CommandRules& rules, const FrameState& state) {
    for (const auto& [id, enabled] : rules.MenuBarOpened(state)) {
        if (id == CommandRules::kSaveWithoutResultsMenu) {
            m_saveWithoutResults->menuAction()->setEnabled(enabled);
        } else if (QAction* action = Action(id)) {
            action->setEnabled(enabled);
        }
    }
    ApplyRules(rules, state);
}

void FrameActions::ApplyRules(CommandRules& rules, const FrameState& state) {
    for (const auto& [id, action] : m_actions) {
        action->setEnabled(rules.Enabled(id, state, action->isEnabled()));
        if (action->isCheckable()) {
            action->setChecked(rules.Checked(id, state));
        }
    }
}

} // namespace zandel::ui
