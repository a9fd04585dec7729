#include "platform/screensaver_theme.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel::platform {

ScreensaverThemePlaces systemScreensaverThemePlaces()
{
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    return { dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts), QStringLiteral("/usr/libexec/xscreensaver") };
}

bool isScreensaverThemeInstalled(const ScreensaverThemePlaces& places)
{
    const QFileInfo program(places.hackFolder + QStringLiteral("/quorvel"));
    if (!program.isFile() || !program.isExecutable())
        return false;
    for (const QString& folder : places.dataFolders)
        if (QDir::isAbsolutePath(folder)
            && QFileInfo(folder + QStringLiteral("/applications/screensavers/quorvel.desktop")).isFile())
            return true;
    return false;
}

} // namespace quorvel::platform
