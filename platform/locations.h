#pragma once
// Fixed places and addresses of this platform. Tests inject their own values instead of these.

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvel::platform {

// Service base URL without a trailing slash: $QUORVEL_SERVICE_URL, else the build's default.
QString serviceBaseUrl();
// Clip CDN base URL ending in "/": $QUORVEL_CDN_URL (a missing trailing slash is added), else the build's default.
QString cdnBaseUrl();

// The update feed the application checks: the service base URL followed by "/appcast.xml".
QString appcastUrl();

// "/usr/bin/killall" (psmisc).
QString killallToolPath();
// The screensaver host stand-in, quorvel-saver.
QString saverToolPath();
// Where the app counts as installed: "~/Applications", the folder a move copies it into, then the
// folder the Debian package installs it in ("/usr/lib/quorvel").
QStringList applicationsFolders();
// The program the package installs for the desktop's screensaver daemons beside the packaged
// bundle at `bundlePath` ("<prefix>/lib/quorvel/Quorvel.app" gives
// "<prefix>/libexec/xscreensaver/quorvel"); none for a bundle anywhere else or when it is missing.
// The daemons' settings read the screensaver's description by that program's name.
std::optional<QString> packagedDaemonProgram(const QString& bundlePath);
// $XDG_CACHE_HOME/com.quorvel.Quorvel.Extension/videos (not created here).
QString extensionCacheDirectory();

} // namespace quorvel::platform
