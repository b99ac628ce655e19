#include "core/frame/WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace zandel {

namespace {

bool Overlap(const WindowRect& a, const WindowRect& b) {
    return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) &&
           std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
}

// The largest window Qt makes (QWIDGETSIZE_MAX); the core knows no Qt.
constexpr std::int64_t kLargestSide = (std::int64_t{1} << 24) - 1;

int Side(int low, int high, int frameLow, int frameHigh) {
    const std::int64_t side = std::int64_t{high} - low - frameLow - frameHigh;
    return static_cast<int>(std::clamp<std::int64_t>(side, 1, kLargestSide));
}

} // namespace

WindowRect RectFromOuter(int x, int y, int width, int height) {
    return WindowRect{x, y, x + width, y + height};
}

std::optional<WindowRect> PlacementToRestore(const WindowRect& saved, const std::vector<WindowRect>& screens) {
    if (saved.IsEmpty()) {
        return std::nullopt;
    }
    const bool visible =
        std::any_of(screens.begin(), screens.end(), [&](const WindowRect& screen) { return Overlap(saved, screen); });
    if (!screens.empty() && !visible) {
        return std::nullopt;
    }
    return saved;
}

ClientSize ClientSizeWithin(const WindowRect& outer, const FrameMargins& frame) {
    return ClientSize{Side(outer.Left, outer.Right, frame.left, frame.right),
                      Side(outer.Top, outer.Bottom, frame.top, frame.bottom)};
}

bool ToggleOnTop(AppSettings& settings) {
    settings.ForegroundWindow = !settings.ForegroundWindow;
    return settings.ForegroundWindow;
}

} // namespace zandel
