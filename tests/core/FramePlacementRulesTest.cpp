#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/frame/CloseRule.h"
#include "core/proxy/ProxyServerText.h"
#include "core/util/Texts.h"
#include "core/frame/WindowPlacement.h"
#include "support/RecordingMessageService.h"

namespace zandel {

void PrintTo(const WindowRect& rect, std::ostream* out) {
    *out << "{" << rect.Left << ", " << rect.Top << ", " << rect.Right << ", " << rect.Bottom << "}";
}

namespace {

const std::vector<WindowRect> kOneScreen = {{0, 0, 1280, 800}};
// 1280 by 800 at twice the scale, a panel along the top; and a second screen to the right of it.
const std::vector<WindowRect> kScaledWithPanel = {{0, 12, 640, 400}};
const std::vector<WindowRect> kTwoScreens = {{0, 0, 1280, 800}, {1280, 0, 2304, 768}};

struct PlacementCase {
    const char* name;
    WindowRect saved;
    std::vector<WindowRect> areas;
    std::optional<WindowRect> placed;
};

class WindowPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

// A saved rectangle is used when it can be seen, and then lies wholly inside the work area it lies most on.
TEST_P(WindowPlacementTest, SavedRectangleIsFittedIntoTheWorkAreaOrLeftToTheSystem) {
    EXPECT_EQ(PlacementToRestore(GetParam().saved, GetParam().areas), GetParam().placed);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, WindowPlacementTest,
    ::testing::Values(
        PlacementCase{"inside", {100, 100, 700, 500}, kOneScreen, WindowRect{100, 100, 700, 500}},
        PlacementCase{"none saved", {0, 0, 0, 0}, kOneScreen, std::nullopt},
        PlacementCase{"zero width", {100, 100, 100, 500}, kOneScreen, std::nullopt},
        PlacementCase{"negative height", {100, 500, 700, 100}, kOneScreen, std::nullopt},
        PlacementCase{"partly above and left", {-200, -50, 100, 300}, kOneScreen, WindowRect{0, 0, 300, 350}},
        PlacementCase{"a minimized window's place", {-32000, -32000, -31840, -31970}, kOneScreen, std::nullopt},
        PlacementCase{"just right of the screen", {1280, 0, 1900, 400}, kOneScreen, std::nullopt},
        PlacementCase{"saved at scale 1", {200, 150, 1000, 700}, kScaledWithPanel, WindowRect{0, 12, 640, 400}},
        PlacementCase{"under the panel", {100, 0, 400, 200}, kScaledWithPanel, WindowRect{100, 12, 400, 212}},
        PlacementCase{"taller only", {300, 100, 500, 1000}, kScaledWithPanel, WindowRect{300, 12, 500, 400}},
        PlacementCase{
            "mostly on the second screen", {1200, 100, 2400, 500}, kTwoScreens, WindowRect{1280, 100, 2304, 500}},
        PlacementCase{"far beyond any int difference",
                      {-2000000000, -2000000000, 2000000000, 2000000000},
                      kOneScreen,
                      WindowRect{0, 0, 1280, 800}}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(WindowPlacementTest, OuterGeometryBecomesRightAndBottomPastTheLastPixel) {
    const WindowRect rect = RectFromOuter(10, 20, 300, 200);
    EXPECT_EQ(rect.Right, 310);
    EXPECT_EQ(rect.Bottom, 220);
    // Without screen information the saved place is trusted.
    EXPECT_EQ(PlacementToRestore(rect, {}), rect);
}

struct ClientCase {
    WindowRect outer;
    FrameMargins frame;
    int width;
    int height;
};

class ClientSizeTest : public ::testing::TestWithParam<ClientCase> {};

// The inside is what the window manager's frame leaves of the saved outer rectangle, whatever the file held.
TEST_P(ClientSizeTest, FrameComesOffTheOuterRectangle) {
    const ClientSize size = ClientSizeWithin(GetParam().outer, GetParam().frame);
    EXPECT_EQ(size.width, GetParam().width);
    EXPECT_EQ(size.height, GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ClientSizeTest,
    ::testing::Values(ClientCase{{200, 150, 1000, 700}, {1, 24, 1, 1}, 798, 525},
                      ClientCase{{200, 150, 1000, 700}, {}, 800, 550},
                      ClientCase{{0, 0, 10, 10}, {8, 30, 8, 8}, 1, 1}, // a frame larger than the rectangle
                      ClientCase{{-2000000000, -2000000000, 2000000000, 2000000000}, {}, 16777215, 16777215}));

TEST(CloseRuleTest, WithoutARunTheWindowClosesWithoutAQuestion) {
    test::RecordingMessageService messages;
    EXPECT_EQ(DecideClose(false, messages), CloseAction::Close);
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST(CloseRuleTest, DuringARunOkStopsAndCancelStays) {
    test::RecordingMessageService messages;
    messages.QueueAnswer(MbResult::Ok);
    EXPECT_EQ(DecideClose(true, messages), CloseAction::StopThenClose);
    messages.QueueAnswer(MbResult::Cancel);
    EXPECT_EQ(DecideClose(true, messages), CloseAction::Stay);
    const auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, texts::kCloseDuringRun);
    EXPECT_EQ(boxes[0].buttons, MbButtons::OkCancel);
    EXPECT_EQ(boxes[0].icon, MbIcon::Warning);
}

struct ServerCase {
    std::string text;
    std::string host;
    int port;
};

class ProxyServerTextTest : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ProxyServerTextTest, SplitsHostAndPort) {
    const ProxyServerParts parts = ParseProxyServer(GetParam().text);
    EXPECT_EQ(parts.host, GetParam().host);
    EXPECT_EQ(parts.port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProxyServerTextTest,
    ::testing::Values(ServerCase{"127.0.0.1:8080", "127.0.0.1", 8080},
                      ServerCase{"proxy.example.com:3128\tfast one", "proxy.example.com", 3128}, ServerCase{"", "", 0},
                      ServerCase{"10.0.0.1", "10.0.0.1", 0}, ServerCase{"10.0.0.1:", "10.0.0.1", 0},
                      ServerCase{"10.0.0.1:http", "10.0.0.1", 0}, ServerCase{"10.0.0.1:65536", "10.0.0.1", 0},
                      ServerCase{"10.0.0.1:99999999999", "10.0.0.1", 0}, ServerCase{"10.0.0.1:0", "10.0.0.1", 0},
                      ServerCase{":80", "", 80},
                      // The desktops and the browsers take an IPv6 host in its brackets.
                      ServerCase{"[2001:db8::1]:8080 v6", "[2001:db8::1]", 8080}, ServerCase{"[::1]", "[::1]", 0},
                      ServerCase{"[::1]:99999", "[::1]", 0}, ServerCase{"[::g]:80", "", 0},
                      ServerCase{"[::1:80", "", 0}, ServerCase{"a]b:80", "", 0}));

} // namespace
} // namespace zandel
