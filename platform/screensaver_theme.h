#pragma once
// The screensaver theme the Quorvel package installs for the daemons that run theme entries only
// (mate-screensaver): the entry applications/screensavers/quorvel.desktop in a data folder, and the
// program it names in the daemon's hack folder.

#include <QString>
#include <QStringList>

namespace quorvel::platform {

struct ScreensaverThemePlaces {
    QStringList dataFolders; // searched in order
    QString hackFolder;
};

// $XDG_DATA_DIRS (default /usr/local/share:/usr/share) and /usr/libexec/xscreensaver.
ScreensaverThemePlaces systemScreensaverThemePlaces();

// Both the theme entry and its program are there.
bool isScreensaverThemeInstalled(const ScreensaverThemePlaces& places = systemScreensaverThemePlaces());

} // namespace quorvel::platform
