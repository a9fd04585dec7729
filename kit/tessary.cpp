#include "kit/tessary.h"

#include "kit/errors.h"
#include "kit/screensaver_manager.h"
#include "kit/wallpaper_manager.h"

#include <QFileInfo>

namespace quorvel::kit {

Tessary::Tessary(std::shared_ptr<KitEnvironment> env)
    : Tessary(std::make_shared<ScreensaverManager>(env), std::make_shared<WallpaperManager>(env), env)
{
}

Tessary::Tessary(std::shared_ptr<ScreensaverManaging> screensaverManager,
    std::shared_ptr<WallpaperManaging> wallpaperManager, std::shared_ptr<KitEnvironment> env)
    : screensavers_(std::move(screensaverManager))
    , wallpapers_(std::move(wallpaperManager))
    , env_(std::move(env))
{
}

std::optional<SpaceInfo> Tessary::getActiveSpace() const
{
    const SpaceManaging* s = spaces();
    return s ? s->getActiveSpace() : std::nullopt;
}

std::optional<SpaceInfo> Tessary::getSpaceByID(qint64 spaceID) const
{
    const SpaceManaging* s = spaces();
    return s ? s->space(spaceID) : std::nullopt;
}

QList<DisplayInfo> Tessary::listDisplays() const
{
    const SpaceManaging* s = spaces();
    return s ? s->displays() : QList<DisplayInfo> {};
}

QVariantMap Tessary::getNativeSpaceTree() const
{
    const SpaceManaging* s = spaces();
    return s ? s->getNativeSpaceTree() : QVariantMap {};
}

BackupInfo Tessary::getBackupInfo() const
{
    const QFileInfo info(PlistManager::backupPath(env_->paths->wallpaperIndexPath()));
    if (!info.exists())
        return {};
    return { true, info.lastModified(), info.size() };
}

void Tessary::restoreFromBackup() const
{
    const QString store = env_->paths->wallpaperIndexPath();
    const QString backup = PlistManager::backupPath(store);
    if (!QFileInfo::exists(backup))
        throw TessaryError::fileNotFound(PlistManager::absolutePath(backup));
    const auto lock = StoreLock::acquireBlocking(env_, store);
    env_->plist->restore(backup, store);
}

} // namespace quorvel::kit
