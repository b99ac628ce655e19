#include "ui/list/MenuBuilder.h"

#include <QAction>
#include <QMenu>

#include "core/frame/CommandIds.h"
#include "core/frame/PopupMenus.h"
#include "ui/util/TextCodec.h"

namespace zandel::ui {

namespace {

constexpr char kCommandProperty[] = "zandelCommand";
// A favourite may be up to 259 characters long; the menu shows its ends so that it still fits the screen.
constexpr qsizetype kLabelChars = 64;
constexpr qsizetype kLabelEndChars = 30;

QString Label(const MenuItem& item) {
    QString text = FromBytes(item.text);
    // A favourite is an address the user typed: an ampersand in it is shown, not taken as a mnemonic.
    if (item.id >= cmd::kFavouriteFirst && item.id <= cmd::kFavouriteLast) {
        if (text.size() > kLabelChars) {
            text = text.left(kLabelEndChars) + QChar(0x2026) + text.right(kLabelEndChars);
        }
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    }
    return text;
}

} // namespace

void FillMenu(QMenu& menu, const std::vector<MenuItem>& items, const std::function<void(int)>& onCommand) {
    for (const MenuItem& item : items) {
        if (item.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        if (!item.submenu.empty()) {
            QMenu* submenu = menu.addMenu(FromBytes(item.text));
            submenu->setEnabled(item.enabled);
            submenu->menuAction()->setEnabled(item.enabled);
            FillMenu(*submenu, item.submenu, onCommand);
            continue;
        }
        QAction* action = menu.addAction(Label(item));
        action->setProperty(kCommandProperty, item.id);
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        const int id = item.id;
        QObject::connect(action, &QAction::triggered, &menu, [onCommand, id] { onCommand(id); });
    }
}

int CommandOf(const QAction* action) {
    return action == nullptr ? 0 : action->property(kCommandProperty).toInt();
}

} // namespace zandel::ui
