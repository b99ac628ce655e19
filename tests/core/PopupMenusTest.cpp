#include "core/frame/PopupMenus.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/settings/AppSettings.h"
#include "core/util/Texts.h"
#include "core/frame/BrowserLaunch.h"
#include "core/frame/CommandIds.h"
#include "core/frame/CommandDispatcher.h"
#include "core/frame/CommandTable.h"
#include "core/frame/ProgramLauncher.h"
#include "core/list/Registration.h"
#include "core/list/RowStore.h"
#include "support/RecordingMessageService.h"
#include "support/RecordingServices.h"
#include "support/TempDir.h"

namespace zandel {
namespace {

const MenuItem* Find(const std::vector<MenuItem>& menu, int id) {
    for (const MenuItem& item : menu) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

std::vector<int> Ids(const std::vector<MenuItem>& menu) {
    std::vector<int> ids;
    for (const MenuItem& item : menu) {
        ids.push_back(item.IsSeparator() ? -1 : item.id);
    }
    return ids;
}

void Favourites(AppSettings& settings, std::initializer_list<const char*> entries) {
    int slot = 0;
    for (const char* entry : entries) {
        SetListEntry(settings, SettingsList::Favourites, entry, slot++);
    }
}

TEST(ContextMenuTest, AvailabilityFollowsTheRunAndTheRows) {
    AppSettings settings;
    struct Case {
        MenuState state;
        std::vector<int> enabled;
        std::vector<int> disabled;
    };
    using namespace cmd;
    const std::vector<int> rowCommands = {kEdit,       kInsert,   kDelete,       kDeleteNg, kSelectAll,
                                          kSelectLive, kSelectNg, kClearResults, kMoveUp,   kMoveDown};
    MenuState idle{false, 0, 5, 2, 0, ""};
    MenuState running{true, 3, 5, 2, 0, ""};
    MenuState lastOfRun{true, 1, 5, 2, 0, ""};
    MenuState empty{false, 0, 0, -1, 0, ""};
    std::vector<int> idleEnabled = rowCommands;
    idleEnabled.insert(idleEnabled.end(), {kStartCheck, kAddAtEnd, kCheckHistory});
    std::vector<int> runningDisabled = rowCommands;
    runningDisabled.insert(runningDisabled.end(), {kStartCheck, kAddAtEnd});
    std::vector<int> emptyDisabled = rowCommands;
    emptyDisabled.insert(emptyDisabled.end(), {kStartCheck, kStopCheck, kSkipCheck, kCheckHistory});
    const Case cases[] = {
        {idle, idleEnabled, {kStopCheck, kSkipCheck}},
        {running, {kStopCheck, kSkipCheck, kCheckHistory}, runningDisabled}, // the history only reads
        {lastOfRun, {kStopCheck}, {kSkipCheck}},
        {empty, {kAddAtEnd, kRegisterFavourites, kOpenBrowser}, emptyDisabled},
    };
    for (const Case& c : cases) {
        const auto menu = BuildContextMenu(settings, c.state);
        ASSERT_TRUE(menu.has_value());
        for (int id : c.enabled) {
            ASSERT_NE(Find(*menu, id), nullptr) << id;
            EXPECT_TRUE(Find(*menu, id)->enabled) << id;
        }
        for (int id : c.disabled) {
            EXPECT_FALSE(Find(*menu, id)->enabled) << id;
        }
    }
    // Rows but no selection mark: no menu at all.
    EXPECT_FALSE(BuildContextMenu(settings, MenuState{false, 0, 5, -1, 0, ""}).has_value());
}

TEST(ContextMenuTest, FavouritesSubmenuSitsAtPositionSevenWithOneCheckMark) {
    AppSettings settings;
    Favourites(settings, {"127.0.0.1:1", "127.0.0.1:2", "127.0.0.1:2"});
    settings.FavoSel = true;
    settings.ForegroundWindow = true;
    const MenuState state{false, 0, 1, 0, 1, "127.0.0.1:2"};
    const auto menu = *BuildContextMenu(settings, state);
    ASSERT_EQ(menu.size(), 37U) << "the 36 items of the menu and the submenu";
    const MenuItem& sub = menu[7];
    EXPECT_EQ(sub.text, "お気に入りﾌﾟﾛｷｼﾘｽﾄから選択(&L)");
    ASSERT_EQ(sub.submenu.size(), 3U);
    EXPECT_FALSE(sub.submenu[0].checked);
    EXPECT_TRUE(sub.submenu[1].checked);
    EXPECT_FALSE(sub.submenu[2].checked) << "only the first equal favourite carries the mark";
    EXPECT_TRUE(Find(menu, cmd::kProxyOnOff)->checked);
    EXPECT_TRUE(Find(menu, cmd::kAlwaysOnTop)->checked);

    // The mark needs FavoSel and the proxy switched on; letter case counts.
    settings.FavoSel = false;
    EXPECT_FALSE(BuildContextMenu(settings, state)->at(7).submenu[1].checked);
    settings.FavoSel = true;
    EXPECT_FALSE(BuildContextMenu(settings, MenuState{false, 0, 1, 0, 0, "127.0.0.1:2"})->at(7).submenu[1].checked);
}

TEST(TrayMenuTest, EndsWithNoneOrProxyOffAndExit) {
    AppSettings settings;
    MenuState state{false, 0, 3, 0, 0, ""};
    std::vector<MenuItem> menu = BuildTrayMenu(settings, state);
    const std::vector<int> fixed = {cmd::kRestoreFromTray,
                                    -1,
                                    cmd::kFileNew,
                                    -1,
                                    cmd::kFileOpen,
                                    cmd::kFileSave,
                                    cmd::kFileSaveAs,
                                    cmd::kAppendFile,
                                    -1,
                                    cmd::kMultiStage,
                                    -1,
                                    0,
                                    -1};
    std::vector<int> expected = fixed;
    const std::vector<int> serve = {cmd::kServeStart, cmd::kServeStop, cmd::kServeDesktop, -1, cmd::kAppExit};
    expected.insert(expected.end(), {cmd::kFavouriteFirst, -1});
    expected.insert(expected.end(), serve.begin(), serve.end());
    EXPECT_EQ(Ids(menu), expected);
    EXPECT_EQ(menu[13].text, "なし");
    EXPECT_EQ(menu[11].submenu.size(), 7U);
    // The local proxy: started while it does not serve, stopped or handed to the desktop while it does.
    for (const bool serving : {false, true}) {
        state.serving = serving;
        menu = BuildTrayMenu(settings, state);
        EXPECT_EQ(Find(menu, cmd::kServeStart)->enabled, !serving);
        EXPECT_EQ(Find(menu, cmd::kServeStop)->enabled, serving);
        EXPECT_EQ(Find(menu, cmd::kServeDesktop)->enabled, serving);
        EXPECT_EQ(Find(*BuildContextMenu(settings, state), cmd::kServeStart)->enabled, !serving);
        EXPECT_EQ(Find(*BuildContextMenu(settings, state), cmd::kServeStop)->enabled, serving);
    }
    state.serving = false;

    // Two equal favourites equal to the bar's address with the proxy on: the first is checked, proxy-off not.
    Favourites(settings, {"127.0.0.1:3128", "127.0.0.1:3128"});
    settings.FavoSel = true;
    state.useProxy = 1;
    state.proxyAddress = "127.0.0.1:3128";
    menu = BuildTrayMenu(settings, state);
    expected = fixed;
    expected.insert(expected.end(), {100, 101, -1, cmd::kProxyOff, -1});
    expected.insert(expected.end(), serve.begin(), serve.end());
    EXPECT_EQ(Ids(menu), expected);
    EXPECT_TRUE(menu[13].checked);
    EXPECT_FALSE(menu[14].checked);
    EXPECT_FALSE(Find(menu, cmd::kProxyOff)->checked);

    // Proxy off and no favourite checked: proxy-off carries the mark. A run greys the file commands.
    state.useProxy = 0;
    state.running = true;
    menu = BuildTrayMenu(settings, state);
    EXPECT_TRUE(Find(menu, cmd::kProxyOff)->checked);
    for (int id : {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kFileSaveAs, cmd::kAppendFile}) {
        EXPECT_FALSE(Find(menu, id)->enabled) << id;
    }
    EXPECT_FALSE(menu[11].enabled);
    EXPECT_TRUE(Find(menu, cmd::kMultiStage)->enabled);
}

void ExpectTexts(std::span<const MenuEntry> entries, const char* menu) {
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuEntry::Kind::Submenu) {
            ExpectTexts(entry.submenu->entries, menu);
        } else if (entry.kind == MenuEntry::Kind::Command) {
            EXPECT_NE(FindCommand(entry.id), nullptr) << menu << " " << entry.id;
            EXPECT_STRNE(EntryText(entry), "") << menu << " " << entry.id;
        }
    }
}

TEST(CommandDispatcherTest, EveryCommandOfEveryMenuIsInTheTable) {
    for (const MenuInfo& menu : MainMenus()) {
        ExpectTexts(menu.entries, menu.objectName);
    }
    ExpectTexts(ContextMenuLayout(), "context");
    ExpectTexts(TrayMenuLayout(), "tray");
}

// One dispatcher with every id bound to a recorder, as the main window binds them to their owners.
class DispatchRig {
public:
    DispatchRig()
        : dispatcher([this](std::function<void()> later) { queue.push_back(std::move(later)); },
                     [this] { events.push_back("restore"); }),
          owner([this] { return busy; }) {
        owner.BindRange(1, 0xFFFF, [this](int id) {
            events.push_back(std::to_string(id));
            return true;
        });
        dispatcher.Add(owner, [this] { events.push_back("after"); });
    }
    void RunQueue() {
        for (std::size_t i = 0; i < queue.size(); ++i) {
            queue[i]();
        }
        queue.clear();
    }

    std::vector<std::function<void()>> queue;
    std::vector<std::string> events;
    bool busy = false;
    CommandDispatcher dispatcher;
    CommandBindings owner;
};

TEST(CommandDispatcherTest, PopupsBringTheWindowBackAndQueueAsTheCommandSays) {
    struct Case {
        std::vector<int> ids;
        CommandChooser chooser;
        bool restored;
        bool queued;
    };
    using namespace cmd;
    const std::vector<int> fileDialogs = {kFileNew,   kFileOpen,        kAppendFile,       kSaveAllAddresses,
                                          kSaveNotNG, kSaveAnonymous,   kSaveNonAnonymous, kSaveHttps,
                                          kExport,    kSaveHttpProxies, kSaveSocksProxies, kFileSaveAs};
    // clang-format off
    const Case cases[] = {
        // Asking for a name or a confirmation from the tray: the window comes back first, the popup goes first.
        {fileDialogs, CommandChooser::Popup, true, true},
        {fileDialogs, CommandChooser::Window, false, false},
        {{kFileSave, kMultiStage, kAppExit, kHideToTray, kAlwaysOnTop}, CommandChooser::Popup, false, true},
        {{kRestoreFromTray, kEdit, kProxyOff, kStartCheck, kEditCopy, kRegisterFavourites, kFavouriteFirst + 7}, CommandChooser::Popup, false, false},
        // The browser starts after the main window's command that asked for it has returned.
        {{kOpenBrowser}, CommandChooser::Window, false, true},
        {{kOpenBrowser, kFileMru1}, CommandChooser::Popup, false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (int id : c.ids) {
            DispatchRig rig;
            ASSERT_TRUE(rig.dispatcher.Dispatch(id, c.chooser)) << id;
            std::vector<std::string> expected;
            if (c.restored) {
                expected.emplace_back("restore");
            }
            if (!c.queued) {
                expected.insert(expected.end(), {std::to_string(id), "after"});
            }
            EXPECT_EQ(rig.events, expected) << id;
            EXPECT_EQ(rig.queue.size(), c.queued ? 1U : 0U) << id;
            rig.RunQueue();
            EXPECT_EQ(rig.events.back(), "after") << id;
        }
    }
}

TEST(CommandDispatcherTest, ARunSwallowsIdleCommandsAndAGoneOwnerTakesNone) {
    DispatchRig rig;
    rig.busy = true;
    const auto handled = [&rig] {
        return std::count_if(rig.events.begin(), rig.events.end(), [](const std::string& e) { return e != "after"; });
    };
    // Swallowed: chosen anyway during a run (a menu opened before it), a row command must not move rows.
    for (int id : {cmd::kEdit, cmd::kAddAtEnd, cmd::kDelete, cmd::kFileOpen, cmd::kClearLog}) {
        EXPECT_TRUE(rig.dispatcher.Dispatch(id, CommandChooser::Window)) << id;
    }
    EXPECT_EQ(handled(), 0);
    for (int id : {cmd::kAppendFile, cmd::kStopCheck, cmd::kSkipCheck, cmd::kEditCopy}) {
        EXPECT_TRUE(rig.dispatcher.Dispatch(id, CommandChooser::Window)) << id;
    }
    EXPECT_EQ(handled(), 4);

    // A queued command whose owner went before its turn does nothing.
    EXPECT_TRUE(rig.dispatcher.Dispatch(cmd::kAppExit, CommandChooser::Popup));
    rig.dispatcher.Remove(rig.owner);
    rig.RunQueue();
    EXPECT_EQ(handled(), 4);
    EXPECT_FALSE(rig.dispatcher.Dispatch(cmd::kEdit, CommandChooser::Window));
    EXPECT_FALSE(rig.dispatcher.IsBound(cmd::kEdit));
}

TEST(CommandDispatcherTest, FavouriteSlotsFollowTheSettings) {
    AppSettings settings;
    Favourites(settings, {"127.0.0.1:8080"});
    EXPECT_EQ(FavouriteSlot(cmd::kFavouriteFirst, settings), 0);
    EXPECT_FALSE(FavouriteSlot(cmd::kFavouriteFirst + 1, settings).has_value()) << "no favourite in slot 1";
}

class RegistrationTest : public ::testing::Test {
protected:
    void AddRows(int count, bool selected) {
        for (int i = 0; i < count; ++i) {
            const int row = m_rows.RowCount();
            m_rows.InsertRow(row, "10.0.0." + std::to_string(row) + ":80", 3, row);
            m_rows.SetRowSelected(row, selected);
        }
    }
    AppSettings m_settings;
    MemoryRowStore m_rows;
    test::RecordingMessageService m_messages;
};

TEST_F(RegistrationTest, FillsFreeSlotsAndStopsWhenTheListIsFull) {
    for (int slot = 0; slot < 48; ++slot) {
        SetListEntry(m_settings, SettingsList::Favourites, "f" + std::to_string(slot), slot);
    }
    AddRows(1, false);
    AddRows(3, true);
    RegisterFavourites(m_settings, m_rows, m_messages);
    EXPECT_EQ(GetListEntry(m_settings, SettingsList::Favourites, 48), "10.0.0.1:80");
    EXPECT_EQ(GetListEntry(m_settings, SettingsList::Favourites, 49), "10.0.0.2:80");
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"50件以上登録されました\n50件以降のアドレスは無視されます"});

    // Full now: refused before looking at the list, even an empty one.
    m_messages.Clear();
    MemoryRowStore empty;
    RegisterFavourites(m_settings, empty, m_messages);
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"50件登録しています\nこれ以上お気に入りに追加できません"});
}

TEST_F(RegistrationTest, ChainProxiesTakeDuplicatesAndReportAFullListAtTheFirstRow) {
    AddRows(2, true);
    RegisterChainProxies(m_settings, m_rows, m_messages);
    RegisterChainProxies(m_settings, m_rows, m_messages);
    EXPECT_EQ(CountListEntries(m_settings, SettingsList::ChainProxies), 4);
    EXPECT_EQ(GetListEntry(m_settings, SettingsList::ChainProxies, 2), "10.0.0.0:80");
    EXPECT_TRUE(m_messages.Texts().empty());

    for (int slot = 0; slot < 50; ++slot) {
        SetListEntry(m_settings, SettingsList::ChainProxies, "c", slot);
    }
    RegisterChainProxies(m_settings, m_rows, m_messages);
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"50件以上登録されました\n50件以降のアドレスは無視されます"});
}

TEST(BrowserLaunchTest, BrowserAndManualFollowTheSettings) {
    test::RecordingMessageService messages;
    AppSettings settings;
    settings.BwPath = "/usr/bin/browser";
    settings.BwUrl = "http://127.0.0.1/start";
    settings.BwUrlOn = false;
    EXPECT_EQ(PlanOpenBrowser(settings, messages).parameter, "");
    settings.BwUrlOn = true;
    EXPECT_EQ(PlanOpenBrowser(settings, messages).parameter, "http://127.0.0.1/start");
    settings.BwUrl.clear();
    const LaunchPlan noUrl = PlanOpenBrowser(settings, messages);
    EXPECT_TRUE(noUrl.launch);
    EXPECT_EQ(noUrl.parameter, "");
    const LaunchPlan chain = PlanChainBrowser(settings, messages, {"127.0.0.1:8080", "", "127.0.0.2:3128"}, "x.test/");
    EXPECT_EQ(chain.program, "/usr/bin/browser");
    EXPECT_EQ(chain.parameter, "http://127.0.0.1:8080/-_-http://127.0.0.2:3128/-_-http://x.test/");

    test::TempDir dir;
    const std::string spaced = dir.Path() + "/My Programs";
    ASSERT_EQ(mkdir(spaced.c_str(), 0755), 0);
    EXPECT_FALSE(PlanOpenManual(settings, spaced, messages).launch);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"ﾏﾆｭｱﾙが存在しません(index.html)"});
    std::FILE* file = std::fopen((spaced + "/index.html").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    const LaunchPlan manual = PlanOpenManual(settings, spaced, messages);
    EXPECT_TRUE(manual.launch);
    EXPECT_EQ(manual.parameter, spaced + "/index.html") << "passed as it is, spaces and all";

    // Without a browser path only that is said; the manual is not looked for.
    messages.Clear();
    settings.BwPath.clear();
    EXPECT_FALSE(PlanOpenManual(settings, "/nonexistent", messages).launch);
    EXPECT_FALSE(PlanOpenBrowser(settings, messages).launch);
    EXPECT_FALSE(PlanChainBrowser(settings, messages, {}, "x.test").launch);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>(3, texts::kNoBrowserPath));
}

struct OpenerCase {
    const char* program;
    const char* parameter;
    bool defaultBrowser;
};

// Only the URL opener given no page, whatever folder it lies in, hands over to the desktop's default browser.
TEST(BrowserLaunchTest, ChainTakesHttpProxiesWithoutALoginOnly) {
    AppSettings settings;
    settings.BwPath = "/usr/bin/browser";
    test::RecordingMessageService messages;
    const LaunchPlan http = PlanChainBrowser(settings, messages, {"http://127.0.0.1:8080", "", ""}, "x.test/");
    EXPECT_TRUE(http.launch);
    EXPECT_EQ(http.parameter, "http://127.0.0.1:8080/-_-http://x.test/");
    for (const char* refused : {"socks5://127.0.0.1:1080", "u:secret@127.0.0.1:8080", "127.0.0.1:8080:u:secret"}) {
        EXPECT_FALSE(PlanChainBrowser(settings, messages, {"127.0.0.2:3128", refused, ""}, "x.test/").launch);
    }
    ASSERT_EQ(messages.Boxes().size(), 3U);
    EXPECT_EQ(messages.Boxes()[0].text,
              "多段プロキシにはログインのないHTTPプロキシだけを指定できます。\nsocks5://127.0.0.1:1080");
    for (const auto& box : messages.Boxes()) {
        EXPECT_EQ(box.text.find("secret"), std::string::npos);
    }
}

TEST(BrowserLaunchTest, UrlOpenerWithoutAPageStartsTheDefaultBrowser) {
    const std::vector<OpenerCase> cases = {
        {"/usr/bin/xdg-open", "", true},       {"xdg-open", "", true},
        {"/usr/local/bin/xdg-open", "", true}, {"/usr/bin/xdg-open", "http://127.0.0.1/", false},
        {"/usr/bin/firefox", "", false},       {"/opt/xdg-open-wrapper", "", false},
        {"/opt/xdg-open/browser", "", false},
    };
    for (const OpenerCase& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.parameter);
        RecordingLauncher launcher;
        test::RecordingMessageService messages;
        EXPECT_TRUE(LaunchOrReport(launcher, c.program, c.parameter, messages));
        ASSERT_EQ(launcher.launches.size(), 1U);
        EXPECT_EQ(launcher.launches[0].defaultBrowser, c.defaultBrowser);
        if (!c.defaultBrowser) {
            EXPECT_EQ(launcher.launches[0].program, c.program);
            EXPECT_EQ(launcher.launches[0].parameter, c.parameter);
        }
        // No browser at all, or one that fails at once, is told naming the program as it is set.
        launcher.starts = false;
        EXPECT_FALSE(LaunchOrReport(launcher, c.program, c.parameter, messages));
        launcher.lastFailed();
        EXPECT_EQ(messages.Texts(), std::vector<std::string>(2, LaunchFailedText(c.program)));
    }
}

} // namespace
} // namespace zandel
