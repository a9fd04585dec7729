#pragma once
// Windows that another program owns (a screensaver daemon hands us one to draw into).

#include <QRect>

#include <optional>

namespace quorvel::platform {

// The window's frame in global coordinates; none when there is no such window or the display is
// not one that has foreign windows. Needs a QGuiApplication.
std::optional<QRect> foreignWindowGeometry(quint64 windowId);

} // namespace quorvel::platform
