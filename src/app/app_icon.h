#pragma once

#include <QIcon>

namespace kelvane {

// The application's icon at the sizes the desktop asks for; built into the
// program, so a window shows it wherever the program runs from.
QIcon AppIcon();

// The desktop entry's name, which ties the windows to the menu entry.
inline constexpr const char* kDesktopFileName = "org.kelvane.Kelvane";

}  // namespace kelvane
