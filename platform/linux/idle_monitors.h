#pragma once
// The idle monitors of this platform, one per mechanism, and the choice between them, with the
// session's facts passed in so that tests can point each at a private display or bus.

#include "platform/idle_monitor.h"

#include <QDBusConnection>

namespace quorvel::platform {

// The X server's own screensaver timer (MIT-SCREEN-SAVER) on `displayName` (empty: $DISPLAY).
// While armed it owns the server's screensaver: the timeout is set to the threshold (whole
// seconds, at least one) and an invisible external saver stands in for the server's blanking; the
// previous settings come back on disarm and destruction. A program that suspends the server's
// screensaver or resets it holds this off too.
std::unique_ptr<IdleMonitor> makeX11IdleMonitor(const QString& displayName, QObject* parent = nullptr);

// GNOME's idle monitor (org.gnome.Mutter.IdleMonitor) and the session's idle inhibitors
// (org.gnome.SessionManager) on `bus`.
std::unique_ptr<IdleMonitor> makeGnomeIdleMonitor(const QDBusConnection& bus, QObject* parent = nullptr);

// What the session says about itself, read from the environment by default.
struct SessionFacts {
    QString currentDesktop; // XDG_CURRENT_DESKTOP, a colon-separated list
    bool wayland = false; // a Wayland session, where the X display (if any) sees only X clients
    QString x11Display; // DISPLAY
    static SessionFacts fromEnvironment();
};

// GNOME's monitor when the desktop names GNOME and its idle monitor is on `bus`; else the X
// server's on an X11 session whose server keeps a screensaver timer; else an unavailable monitor
// that says why.
std::unique_ptr<IdleMonitor> makeIdleMonitorFor(
    const SessionFacts& facts, const QDBusConnection& bus, QObject* parent = nullptr);

namespace idle_reason {
inline constexpr auto kNoDesktopSupport = "This desktop does not say when it is idle.";
inline constexpr auto kNoServerTimer = "This X server does not say when it is idle.";
inline constexpr auto kDisplayUnreachable = "The X display cannot be reached.";
inline constexpr auto kSaverTaken = "Another program already runs the X server's screensaver.";
inline constexpr auto kDisplayLost = "The connection to the X display was lost.";
} // namespace idle_reason

} // namespace quorvel::platform
