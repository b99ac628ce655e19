#include "ui/support/MenuProbe.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include "ui/list/MenuBuilder.h"

namespace zandel::test {

QStringList DescribeMenu(const QMenu& menu, const QString& indent) {
    QStringList lines;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines << indent + QStringLiteral("-");
            continue;
        }
        const QString off = action->isEnabled() ? QString() : QStringLiteral(" (off)");
        if (const QMenu* submenu = action->menu()) {
            lines << indent + QStringLiteral("> ") + submenu->title() + off;
            lines << DescribeMenu(*submenu, indent + QStringLiteral("  "));
            continue;
        }
        const QString checked = action->isChecked() ? QStringLiteral(" [x]") : QString();
        lines << indent + QStringLiteral("%1 %2").arg(ui::CommandOf(action)).arg(action->text()) + off + checked;
    }
    return lines;
}

QAction* FindCommand(const QMenu& menu, int id) {
    for (QAction* action : menu.actions()) {
        if (const QMenu* submenu = action->menu()) {
            if (QAction* found = FindCommand(*submenu, id)) {
                return found;
            }
        } else if (!action->isSeparator() && ui::CommandOf(action) == id) {
            return action;
        }
    }
    return nullptr;
}

namespace {

// Only through enabled submenus: a greyed submenu cannot be opened.
QAction* FindReachable(const QMenu& menu, int id) {
    for (QAction* action : menu.actions()) {
        if (const QMenu* submenu = action->menu()) {
            if (!action->isEnabled()) {
                continue;
            }
            if (QAction* found = FindReachable(*submenu, id)) {
                return found;
            }
        } else if (!action->isSeparator() && action->isEnabled() && ui::CommandOf(action) == id) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

bool ChooseCommand(const QMenu& menu, int id) {
    QAction* action = FindReachable(menu, id);
    if (action == nullptr) {
        qWarning("command %d is not offered", id);
        return false;
    }
    action->trigger();
    return true;
}

} // namespace zandel::test
