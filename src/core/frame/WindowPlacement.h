#pragma once

#include <optional>
#include <vector>

#include "core/app/AppSettings.h"

namespace zandel {

// The window's outer rectangle as [Window] keeps it: Right and Bottom lie just past the last pixel.
WindowRect RectFromOuter(int x, int y, int width, int height);

// Where the main window goes at start-up: the saved rectangle, or none for the default place. An empty
// rectangle means that none was saved; one that lies wholly outside every screen (a monitor taken away
// since) would put the window where nobody can reach it, so it also gives the default place.
std::optional<WindowRect> PlacementToRestore(const WindowRect& saved, const std::vector<WindowRect>& screens);

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
