#pragma once

#include <functional>
#include <vector>

class QAction;
class QMenu;

namespace zandel {
struct MenuItem;
}

namespace zandel::ui {

// Turns the core's menu items into a Qt popup: each command's action carries its number and reports it to
// `onCommand` when chosen; submenus become QMenus owned by `menu`.
void FillMenu(QMenu& menu, const std::vector<MenuItem>& items, const std::function<void(int)>& onCommand);

// The command number of an action built by FillMenu (0 for a separator or a submenu).
int CommandOf(const QAction* action);

} // namespace zandel::ui
