#pragma once

#include <optional>
#include <vector>

#include "core/settings/AppSettings.h"

namespace zandel {

// The window's outer rectangle as [Window] keeps it: Right and Bottom lie just past the last pixel.
WindowRect RectFromOuter(int x, int y, int width, int height);

// Where the main window goes at start-up, given the work area of each screen (the screen less its panels): the
// saved rectangle, or none for the default place. An empty rectangle means that none was saved; one that lies
// wholly outside every work area (a monitor taken away since) would put the window where nobody can reach it,
// so it also gives the default place. A rectangle that reaches out of the work area it lies most on (a panel
// moved, a smaller screen, a larger scale) is fitted into that area.
std::optional<WindowRect> PlacementToRestore(const WindowRect& saved, const std::vector<WindowRect>& workAreas);

// `rect` moved, and made smaller only where it must be, so that it lies wholly inside `area`.
WindowRect FitInside(const WindowRect& rect, const WindowRect& area);
// The work area that `rect` lies most on; none when it lies on none.
std::optional<WindowRect> AreaUnder(const WindowRect& rect, const std::vector<WindowRect>& workAreas);

struct FrameMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
struct ClientSize {
    int width = 0;
    int height = 0;
};

// The inside of a window whose outer rectangle is `outer` once the window manager has put `frame` around
// it; never below one pixel, never beyond what a window can be, whatever a file held.
ClientSize ClientSizeWithin(const WindowRect& outer, const FrameMargins& frame);

// The 常に手前に表示 command: the window's new topmost state, kept for the next start.
bool ToggleOnTop(AppSettings& settings);

} // namespace zandel
