#include "kit/tessary.h"

#include "kit/errors.h"

#include <QFileInfo>

namespace quorvel::kit {

Tessary::Tessary(std::shared_ptr<KitEnvironment> env)
    : screensavers_(std::make_shared<ScreensaverManager>(env))
    , wallpapers_(std::make_shared<WallpaperManager>(env))
{
}

Tessary::Tessary(
    std::shared_ptr<ScreensaverManager> screensaverManager, std::shared_ptr<WallpaperManager> wallpaperManager)
    : screensavers_(std::move(screensaverManager))
    , wallpapers_(std::move(wallpaperManager))
{
}

BackupInfo Tessary::getBackupInfo() const
{
    const QString backup = PlistManager::backupPath(screensavers_->environment()->paths->wallpaperIndexPath());
    const QFileInfo info(backup);
    if (!info.exists())
        return {};
    return { true, info.lastModified(), info.size() };
}

void Tessary::restoreFromBackup() const
{
    const auto& env = screensavers_->environment();
    const QString store = env->paths->wallpaperIndexPath();
    const QString backup = PlistManager::backupPath(store);
    if (!QFileInfo::exists(backup))
        throw TessaryError::fileNotFound(PlistManager::absolutePath(backup));
    env->plist->restore(backup, store);
}

} // namespace quorvel::kit
