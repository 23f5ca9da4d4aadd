#pragma once

#include <QIcon>

namespace fernhold {

// The tray icon of a program status: -1 neutral, 0 inactive, 1 active, 2 paused.
[[nodiscard]] QIcon StatusIcon(int status);
// Fernhold's own icon, for windows.
[[nodiscard]] QIcon ApplicationIcon();

} // namespace fernhold
