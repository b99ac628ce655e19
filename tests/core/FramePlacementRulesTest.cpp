#include <string>

#include <gtest/gtest.h>

#include "core/frame/CloseRule.h"
#include "core/proxy/ProxyServerText.h"
#include "core/app/Texts.h"
#include "core/frame/WindowPlacement.h"
#include "support/RecordingMessageService.h"

namespace zandel {
namespace {

const std::vector<WindowRect> kOneScreen = {{0, 0, 1280, 800}};

struct PlacementCase {
    WindowRect saved;
    bool restored;
};

class WindowPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(WindowPlacementTest, SavedRectangleIsUsedOnlyWhenItCanBeSeen) {
    const auto placement = PlacementToRestore(GetParam().saved, kOneScreen);
    ASSERT_EQ(placement.has_value(), GetParam().restored);
    if (placement) {
        EXPECT_EQ(placement->Left, GetParam().saved.Left);
        EXPECT_EQ(placement->Bottom, GetParam().saved.Bottom);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, WindowPlacementTest,
    ::testing::Values(PlacementCase{{100, 100, 700, 500}, true}, PlacementCase{{0, 0, 0, 0}, false},
                      PlacementCase{{100, 100, 100, 500}, false},             // zero width
                      PlacementCase{{100, 500, 700, 100}, false},             // negative height
                      PlacementCase{{-200, -50, 100, 300}, true},             // partly on screen
                      PlacementCase{{-32000, -32000, -31840, -31970}, false}, // a minimized window's place
                      PlacementCase{{1280, 0, 1900, 400}, false}));           // just right of the screen

TEST(WindowPlacementTest, OuterGeometryBecomesRightAndBottomPastTheLastPixel) {
    const WindowRect rect = RectFromOuter(10, 20, 300, 200);
    EXPECT_EQ(rect.Right, 310);
    EXPECT_EQ(rect.Bottom, 220);
    // Without screen information the saved place is trusted.
    EXPECT_TRUE(PlacementToRestore(rect, {}).has_value());
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
