#include "core/app/WindowPlacement.h"

#include <algorithm>

namespace zandel {

namespace {

bool Overlap(const WindowRect& a, const WindowRect& b) {
    return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) &&
           std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
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

} // namespace zandel
