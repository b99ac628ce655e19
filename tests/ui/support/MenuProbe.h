#pragma once

#include <QString>
#include <QStringList>

class QAction;
class QMenu;

namespace zandel::test {

// A popup as the user sees it, one entry per line: "id text" with " (off)" when greyed and " [x]" when
// checked, "-" for a separator, "> title" for a submenu (its entries follow, indented by two spaces).
QStringList DescribeMenu(const QMenu& menu, const QString& indent = QString());

// The action of a command in the menu or its submenus; nullptr when there is none.
QAction* FindCommand(const QMenu& menu, int id);

// Chooses the command as a click would; fails the test (false) when it is missing or greyed.
bool ChooseCommand(const QMenu& menu, int id);

} // namespace zandel::test
