#pragma once
// The one type of the kit the application uses: forwards to a screensaver manager and a wallpaper
// manager, plus the store's backup queries. Holds no mutable state of its own.

#include "kit/screensaver_manager.h"
#include "kit/wallpaper_manager.h"

#include <QDateTime>

namespace quorvel::kit {

struct BackupInfo {
    bool exists = false;
    std::optional<QDateTime> modificationDate;
    std::optional<qint64> size;
};

class Tessary {
public:
    // One PlistManager shared by all (in `env`); the wallpaper manager gets its own screensaver manager.
    explicit Tessary(std::shared_ptr<KitEnvironment> env);
    Tessary(std::shared_ptr<ScreensaverManager> screensaverManager, std::shared_ptr<WallpaperManager> wallpaperManager);

    QCoro::Task<QList<ScreensaverModule>> listAvailableScreensavers() const
    {
        return screensavers_->listAvailableScreensavers();
    }
    std::optional<ScreensaverInfo> getActiveScreensaver(std::optional<ScreenIdentifier> screen) const
    {
        return screensavers_->getActiveScreensaver(screen);
    }
    QStringList getActiveScreensavers() const { return screensavers_->getActiveScreensavers(); }
    QCoro::Task<> setScreensaver(
        QString name, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug)
    {
        return screensavers_->setScreensaver(std::move(name), screen, skipRestart, enableDebug);
    }
    QCoro::Task<> setScreensaverEverywhere(QString name, bool skipRestart, bool enableDebug)
    {
        return screensavers_->setScreensaverEverywhere(std::move(name), skipRestart, enableDebug);
    }
    QCoro::Task<> setScreensaverForSpace(
        QString name, QString space, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug)
    {
        return screensavers_->setScreensaverForSpace(
            std::move(name), std::move(space), screen, skipRestart, enableDebug);
    }
    QCoro::Task<> setScreensaverForSpaceID(
        QString name, qint64 spaceID, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug)
    {
        return screensavers_->setScreensaverForSpaceID(std::move(name), spaceID, screen, skipRestart, enableDebug);
    }
    QCoro::Task<> setScreensaverForDisplay(QString name, int display, bool skipRestart, bool enableDebug)
    {
        return screensavers_->setScreensaverForDisplay(std::move(name), display, skipRestart, enableDebug);
    }
    QCoro::Task<> setScreensaverForDisplaySpace(
        QString name, int display, int space, bool skipRestart, bool enableDebug)
    {
        return screensavers_->setScreensaverForDisplaySpace(std::move(name), display, space, skipRestart, enableDebug);
    }
    std::optional<qint64> getIdleTime() const { return screensavers_->getIdleTime(); }
    void setIdleTime(qint64 seconds) { screensavers_->setIdleTime(seconds); }

    std::optional<WallpaperInfo> getCurrentWallpaper(std::optional<ScreenIdentifier> screen) const
    {
        return wallpapers_->getCurrentWallpaper(screen);
    }
    QCoro::Task<> setWallpaper(QString image) { return wallpapers_->setWallpaper(std::move(image)); }
    QCoro::Task<> setWallpaperOnAllDisplays(QString image, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperOnAllDisplays(std::move(image), o);
    }
    QCoro::Task<> setWallpaperForSpace(QString image, QString space, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForSpace(std::move(image), std::move(space), o);
    }
    QCoro::Task<> setWallpaperForSpaceID(QString image, qint64 id, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForSpaceID(std::move(image), id, o);
    }
    QCoro::Task<> setWallpaperForDisplay(QString image, int display, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForDisplay(std::move(image), display, o);
    }
    QCoro::Task<> setWallpaperForDisplaySpace(QString image, int display, int space, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForDisplaySpace(std::move(image), display, space, o);
    }

    std::optional<SpaceInfo> getActiveSpace() const { return screensavers_->getActiveSpace(); }
    std::optional<SpaceInfo> getSpaceByID(qint64 id) const { return screensavers_->space(id); }
    QList<DisplayInfo> listDisplays() const { return screensavers_->displays(); }
    QVariantMap getNativeSpaceTree() const { return screensavers_->getNativeSpaceTree(); }

    BackupInfo getBackupInfo() const;
    // Puts the backup in place of the store (atomically); fileNotFound for a missing backup.
    void restoreFromBackup() const;

    const std::shared_ptr<ScreensaverManager>& screensaverManager() const { return screensavers_; }
    const std::shared_ptr<WallpaperManager>& wallpaperManager() const { return wallpapers_; }

private:
    std::shared_ptr<ScreensaverManager> screensavers_;
    std::shared_ptr<WallpaperManager> wallpapers_;
};

} // namespace quorvel::kit
