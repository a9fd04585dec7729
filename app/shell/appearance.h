#pragma once
// Light or dark, as the desktop prefers: Qt's own theme follows it only on some desktops, so the
// app applies a dark palette itself when the preference says dark.

#include "platform/desktop_appearance.h"

#include <QPalette>

class QApplication;

namespace quorvel::app {

// The palette of the dark appearance.
QPalette darkPalette();

// Applies `scheme` now and on every change of `appearance`, which must outlive the application.
void followDesktopAppearance(QApplication& application, platform::DesktopAppearance& appearance);

} // namespace quorvel::app
