#include "core/frame/WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace zandel {

namespace {

// How many pixels two rectangles share; 64 bits, since a file may hold any int.
std::int64_t SharedArea(const WindowRect& a, const WindowRect& b) {
    const std::int64_t width = std::int64_t{std::min(a.Right, b.Right)} - std::max(a.Left, b.Left);
    const std::int64_t height = std::int64_t{std::min(a.Bottom, b.Bottom)} - std::max(a.Top, b.Top);
    return width > 0 && height > 0 ? width * height : 0;
}

// One side of a rectangle fitted into [low, high): its new start and end.
std::pair<int, int> FitSide(int start, int end, int low, int high) {
    const std::int64_t length = std::min(std::int64_t{end} - start, std::int64_t{high} - low);
    const std::int64_t fitted = std::clamp<std::int64_t>(start, low, high - length);
    return {static_cast<int>(fitted), static_cast<int>(fitted + length)};
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

std::optional<WindowRect> PlacementToRestore(const WindowRect& saved, const std::vector<WindowRect>& workAreas) {
    if (saved.IsEmpty()) {
        return std::nullopt;
    }
    if (workAreas.empty()) {
        return saved;
    }
    const std::optional<WindowRect> area = AreaUnder(saved, workAreas);
    if (!area) {
        return std::nullopt;
    }
    return FitInside(saved, *area);
}

WindowRect FitInside(const WindowRect& rect, const WindowRect& area) {
    if (rect.IsEmpty() || area.IsEmpty()) {
        return rect;
    }
    const auto [left, right] = FitSide(rect.Left, rect.Right, area.Left, area.Right);
    const auto [top, bottom] = FitSide(rect.Top, rect.Bottom, area.Top, area.Bottom);
    return WindowRect{left, top, right, bottom};
}

std::optional<WindowRect> AreaUnder(const WindowRect& rect, const std::vector<WindowRect>& workAreas) {
    std::optional<WindowRect> best;
    std::int64_t bestShare = 0;
    for (const WindowRect& area : workAreas) {
        const std::int64_t share = SharedArea(rect, area);
        if (share > bestShare) {
            best = area;
            bestShare = share;
        }
    }
    return best;
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
