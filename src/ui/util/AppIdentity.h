#pragma once

#include <QIcon>

namespace zandel::ui {

// The name of the desktop entry the package installs (without ".desktop"), by which Wayland compositors and task
// bars match the running window to the menu entry.
inline constexpr const char* kDesktopFileName = "org.zandel.Zandel";

// The program's icon in every size the package installs, so that a task bar, a switcher or a title bar each
// finds the one it draws at.
QIcon AppIcon();

// The application's name, desktop entry and window icon, once the application object exists.
void SetUpAppIdentity();

} // namespace zandel::ui
