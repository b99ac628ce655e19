#include <gtest/gtest.h>

#include "core/settings/AppSettings.h"
#include "core/frame/TrayRule.h"
#include "core/list/RowStore.h"
#include "core/proxy/ProxyBar.h"
#include "core/proxy/ProxyBarCommands.h"
#include "core/proxy/InternetSettings.h"

namespace zandel {
namespace {

// The bar as the commands leave it, and what reached the desktop.
class FakeProxyBar final : public IProxyBar {
public:
    int GetUseProxy() const override { return use; }
    void SetUseProxy(int value) override { use = value; }
    std::string GetAddr() const override { return address; }
    bool SetAddr(const std::string& value) override {
        address = value;
        return true;
    }
    void EnableAddrEdit(bool enabled) override { editable = enabled; }
    bool ApplyProxy(int useProxy, const std::string& value) override {
        applied = std::to_string(useProxy) + " " + value;
        return true;
    }

    int use = 0;
    std::string address = "bar:1";
    bool editable = false;
    std::string applied;
};

enum class Command { Click, Change, Toggle, Off, Favourite };

// Row 0 "a:1" is marked, row 1 "b:2" is the first selected; favourite 0 is "fav:3".
TEST(ProxyBarCommandsTest, EachCommandLeavesTheBarTheDesktopAndFavoSelAsTheUserExpects) {
    struct Case {
        const char* name;
        Command command;
        int useBefore;
        bool favoOn;
        int use;
        std::string address;
        std::string applied;
        bool favoSel;
    };
    // clang-format off
    const Case cases[] = {
        {"a click offers the selected row while the proxy is off", Command::Click, 0, false, 0, "b:2", "", false},
        {"a click leaves the bar alone while the proxy is on", Command::Click, 1, false, 1, "bar:1", "", true},
        {"change applies the selected row with the bar's use", Command::Change, 1, false, 1, "b:2", "1 b:2", false},
        {"toggle applies the marked row, the bar keeps its text", Command::Toggle, 0, false, 1, "bar:1", "1 a:1", true},
        {"off keeps the bar's address", Command::Off, 1, false, 0, "bar:1", "0 bar:1", true},
        {"a favourite with FavoOn off goes out switched off", Command::Favourite, 1, false, 0, "fav:3", "0 fav:3", true},
        {"a favourite with FavoOn on is used", Command::Favourite, 0, true, 1, "fav:3", "1 fav:3", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRowStore rows;
        rows.InsertRow(0, "a:1", 0, 0);
        rows.InsertRow(1, "b:2", 0, 1);
        rows.SetRowSelected(1, true);
        rows.SetSelectionMark(0);
        AppSettings settings;
        settings.FavoSel = true;
        settings.FavoOn = c.favoOn;
        settings.Favourites[0] = "fav:3";
        FakeProxyBar bar;
        bar.use = c.useBefore;
        ProxyBarCommands commands(rows, settings, [&bar] { return &bar; });
        switch (c.command) {
        case Command::Click:
            commands.OfferSelectedAddress();
            break;
        case Command::Change:
            commands.ChangeProxy();
            break;
        case Command::Toggle:
            commands.ToggleProxy();
            break;
        case Command::Off:
            commands.ProxyOff();
            break;
        case Command::Favourite:
            commands.ChooseFavourite(0);
            break;
        }
        EXPECT_EQ(bar.use, c.use);
        EXPECT_EQ(bar.address, c.address);
        EXPECT_EQ(bar.applied, c.applied);
        EXPECT_EQ(settings.FavoSel, c.favoSel);
    }
}

// A window that is going hands out no bar; a slot out of range is a stale menu.
TEST(ProxyBarCommandsTest, NoBarOrNoSuchFavouriteChangesNothing) {
    MemoryRowStore rows;
    AppSettings settings;
    FakeProxyBar bar;
    ProxyBarCommands gone(rows, settings, [] { return nullptr; });
    gone.ChooseFavourite(0);
    gone.ProxyOff();
    ProxyBarCommands commands(rows, settings, [&bar] { return &bar; });
    commands.ChooseFavourite(-1);
    commands.ChooseFavourite(static_cast<int>(settings.Favourites.size()));
    EXPECT_TRUE(bar.applied.empty());
    EXPECT_FALSE(settings.FavoSel);
}

TEST(TrayRuleTest, AWindowIsNeverLostAndTaskTrayFollowsWhereItIs) {
    EXPECT_EQ(DecideHide(true, true), HideAction::HideToTray);
    EXPECT_EQ(DecideHide(false, true), HideAction::MinimizeWhenOnScreen);
    EXPECT_EQ(DecideHide(false, false), HideAction::Minimize);

    AppSettings settings;
    TrayPlace place(settings);
    place.PutAway();
    EXPECT_TRUE(settings.TaskTray);
    // Its own minimizing still to come: the window showing first is not the user bringing it back.
    place.ShownByWindowManager(true);
    EXPECT_TRUE(settings.TaskTray);
    place.ShownByWindowManager(false);
    EXPECT_FALSE(settings.TaskTray);
    EXPECT_FALSE(place.Away());
}

} // namespace
} // namespace zandel
