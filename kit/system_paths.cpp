#include "kit/system_paths.h"

#include "platform/operating_system.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel::kit {

SystemPaths::SystemPaths(
    std::shared_ptr<const platform::OperatingSystem> os, QString home, QStringList systemModuleDirectories)
    : os_(std::move(os))
    , home_(home.isEmpty() ? QDir::homePath() : std::move(home))
    , systemModuleDirectories_(std::move(systemModuleDirectories))
{
}

QStringList SystemPaths::defaultSystemModuleDirectories()
{
    return { QStringLiteral("/System/Library/Screen Savers"), QStringLiteral("/Library/Screen Savers"),
        QStringLiteral("/System/Library/ExtensionKit/Extensions") };
}

bool SystemPaths::isModernStore() const
{
    return os_->version().atLeast(14, 0, 0);
}

QString SystemPaths::wallpaperIndexPath() const
{
    if (isModernStore())
        return home_ + QStringLiteral("/Library/Application Support/com.apple.wallpaper/Store/Index.plist");
    return home_ + QStringLiteral("/Library/Preferences/com.apple.desktop.plist");
}

QStringList SystemPaths::screensaverModulesDirectories() const
{
    QStringList candidates = systemModuleDirectories_;
    candidates.append(home_ + QStringLiteral("/Library/Screen Savers"));
    QStringList existing;
    for (const QString& dir : candidates)
        if (QFileInfo(dir).isDir())
            existing.append(dir);
    return existing;
}

} // namespace quorvel::kit
