#include "core/frame/CommandRules.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/frame/CommandIds.h"

namespace zandel {
namespace {

constexpr int kSubmenu = CommandRules::kSaveWithoutResultsMenu;

// A menu as the user sees it: every item starts enabled, the menu-bar pass runs when the bar is opened and
// each item's own rule when its popup opens.
class MenuModel {
public:
    explicit MenuModel(std::vector<int> ids) {
        for (const int id : ids) {
            m_enabled[id] = true;
        }
    }
    void OpenMenuBar(CommandRules& rules, const FrameState& state) {
        for (const auto& [id, enabled] : rules.MenuBarOpened(state)) {
            m_enabled[id] = enabled;
        }
    }
    void OpenPopups(CommandRules& rules, const FrameState& state) {
        for (auto& [id, enabled] : m_enabled) {
            enabled = rules.Enabled(id, state, enabled);
        }
    }
    bool Enabled(int id) const { return m_enabled.at(id); }

private:
    std::map<int, bool> m_enabled;
};

const std::vector<int> kAllItems = {
    cmd::kFileNew,          cmd::kFileOpen,     cmd::kFileSave,   cmd::kFileSaveAs,  cmd::kAppendFile, kSubmenu,
    cmd::kSaveAllAddresses, cmd::kEdit,         cmd::kInsert,     cmd::kAddAtEnd,    cmd::kDelete,     cmd::kSelectAll,
    cmd::kClearResults,     cmd::kMoveUp,       cmd::kMoveDown,   cmd::kClearLog,    cmd::kSettings,   cmd::kMultiStage,
    cmd::kOpenBrowser,      cmd::kHelpManual,   cmd::kHideToTray, cmd::kAlwaysOnTop, cmd::kLogFont,    cmd::kAppAbout,
    cmd::kFileMru1,         cmd::kFileMru1 + 3, cmd::kAppExit,    cmd::kDeleteNg,    cmd::kSelectLive, cmd::kSelectNg,
    cmd::kFilterBar,
};

struct AvailabilityCase {
    std::string name;
    FrameState state;
    std::vector<int> disabled; // every other item of kAllItems is enabled
};

class MenuAvailabilityTest : public ::testing::TestWithParam<AvailabilityCase> {};

TEST_P(MenuAvailabilityTest, BothPassesLeaveExactlyTheseDisabled) {
    const AvailabilityCase& c = GetParam();
    CommandRules rules;
    MenuModel menus(kAllItems);
    menus.OpenMenuBar(rules, c.state);
    menus.OpenPopups(rules, c.state);
    for (const int id : kAllItems) {
        const bool expectDisabled = std::find(c.disabled.begin(), c.disabled.end(), id) != c.disabled.end();
        EXPECT_EQ(menus.Enabled(id), !expectDisabled) << "command " << id;
    }
}

const std::vector<int> kRowCommands = {cmd::kEdit,      cmd::kInsert,     cmd::kDelete,   cmd::kDeleteNg,
                                       cmd::kSelectAll, cmd::kSelectLive, cmd::kSelectNg, cmd::kClearResults,
                                       cmd::kMoveUp,    cmd::kMoveDown};

std::vector<int> With(std::vector<int> ids, std::initializer_list<int> more) {
    ids.insert(ids.end(), more);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(
    States, MenuAvailabilityTest,
    ::testing::Values(AvailabilityCase{"IdleWithRows", {5, false, 0, false}, {}},
                      // Add at end stays, and append comes back once its own popup opens.
                      AvailabilityCase{"IdleEmptyList", {0, false, 0, false}, kRowCommands},
                      AvailabilityCase{"RunningWithRows",
                                       {5, true, 3, false},
                                       With(kRowCommands, {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave,
                                                           cmd::kFileSaveAs, cmd::kAppendFile, kSubmenu, cmd::kAddAtEnd,
                                                           cmd::kClearLog, cmd::kFileMru1, cmd::kFileMru1 + 3})},
                      // The start-up check runs over an empty list: the menu-bar pass re-enables add at end, and its
                      // rule keeps that during the run.
                      AvailabilityCase{"RunningEmptyList",
                                       {0, true, 0, false},
                                       With(kRowCommands, {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave,
                                                           cmd::kFileSaveAs, cmd::kAppendFile, kSubmenu, cmd::kClearLog,
                                                           cmd::kFileMru1, cmd::kFileMru1 + 3})}),
    [](const ::testing::TestParamInfo<AvailabilityCase>& info) { return info.param.name; });

TEST(CommandRulesTest, RowCommandsFollowTheCachedCountUntilTheStartButtonRefreshesIt) {
    CommandRules rules;
    rules.MenuBarOpened({0, false, 0, false});
    const FrameState withRows{4, false, 0, false};
    EXPECT_EQ(rules.Rule(cmd::kEdit, withRows), CommandUpdate::Disable);
    EXPECT_EQ(rules.Rule(cmd::kCheckStartStop, withRows), CommandUpdate::Enable);
    EXPECT_EQ(rules.CachedRowCount(), 4);
    EXPECT_EQ(rules.Rule(cmd::kEdit, withRows), CommandUpdate::Enable);
}

struct ButtonCase {
    FrameState state;
    bool startEnabled;
    bool skipEnabled;
};

class CheckBarButtonsTest : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(CheckBarButtonsTest, StartNeedsRowsAndSkipNeedsMoreThanTheLastAddress) {
    CommandRules rules;
    const ButtonCase& c = GetParam();
    EXPECT_EQ(rules.Enabled(cmd::kCheckStartStop, c.state, !c.startEnabled), c.startEnabled);
    EXPECT_EQ(rules.Enabled(cmd::kCheckSkip, c.state, !c.skipEnabled), c.skipEnabled);
}

INSTANTIATE_TEST_SUITE_P(States, CheckBarButtonsTest,
                         ::testing::Values(ButtonCase{{0, false, 0, false}, false, false},
                                           ButtonCase{{3, false, 0, false}, true, false},
                                           ButtonCase{{3, true, 3, false}, true, true},
                                           ButtonCase{{3, true, 1, false}, true, false},
                                           // The start-up check: nothing remains to be skipped to.
                                           ButtonCase{{0, true, 0, false}, false, false}));

// Starting while the local proxy serves, or stopping it or pointing the desktop at it while it does not, has nothing
// to act on; a check run changes none of it, nor the connections window.
TEST(CommandRulesTest, TheLocalProxysCommandsFollowTheServeNotTheRun) {
    for (const bool running : {false, true}) {
        for (const bool serving : {false, true}) {
            FrameState state{3, running, running ? 2 : 0, false};
            state.serving = serving;
            CommandRules rules;
            MenuModel menus({cmd::kServeStart, cmd::kServeStop, cmd::kServeDesktop, cmd::kServeConnections});
            menus.OpenMenuBar(rules, state);
            menus.OpenPopups(rules, state);
            EXPECT_EQ(menus.Enabled(cmd::kServeStart), !serving) << running;
            EXPECT_EQ(menus.Enabled(cmd::kServeStop), serving) << running;
            EXPECT_EQ(menus.Enabled(cmd::kServeDesktop), serving) << running;
            EXPECT_TRUE(menus.Enabled(cmd::kServeConnections)) << running;
        }
    }
}

TEST(CommandRulesTest, AlwaysOnTopIsCheckedExactlyWithForegroundWindow) {
    CommandRules rules;
    EXPECT_TRUE(rules.Checked(cmd::kAlwaysOnTop, {0, false, 0, true}));
    EXPECT_FALSE(rules.Checked(cmd::kAlwaysOnTop, {0, false, 0, false}));
    EXPECT_FALSE(rules.Checked(cmd::kSettings, {0, false, 0, true}));
    EXPECT_TRUE(rules.Checked(cmd::kFilterBar, {0, false, 0, false, false, true}));
    EXPECT_FALSE(rules.Checked(cmd::kFilterBar, {0, false, 0, false, true, false}));
    FrameState places{0, false, 0, false, true, true};
    EXPECT_FALSE(rules.Checked(cmd::kPlaceColumns, places));
    places.placeColumns = true;
    EXPECT_TRUE(rules.Checked(cmd::kPlaceColumns, places));
    EXPECT_FALSE(rules.Checked(cmd::kSiteColumns, places));
    places.siteColumns = true;
    EXPECT_TRUE(rules.Checked(cmd::kSiteColumns, places));
}

} // namespace
} // namespace zandel
