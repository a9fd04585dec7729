#pragma once
// The one type of the kit the application uses: forwards to a screensaver manager and a wallpaper
// manager (any implementations of their interfaces), plus the store's backup queries. Holds no
// mutable state of its own.

#include "kit/kit_environment.h"
#include "kit/managing.h"

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
    // Substituted managers; `env` locates the store and its backup for the two backup operations.
    Tessary(std::shared_ptr<ScreensaverManaging> screensaverManager,
        std::shared_ptr<WallpaperManaging> wallpaperManager, std::shared_ptr<KitEnvironment> env);

    QCoro::Task<QList<ScreensaverModule>> listAvailableScreensavers() const
    {
        return screensavers_->listAvailableScreensavers();
    }
    std::optional<ScreensaverInfo> getActiveScreensaver(std::optional<ScreenIdentifier> screen) const
    {
        return screensavers_->getActiveScreensaver(screen);
    }
    QStringList getActiveScreensavers() const { return screensavers_->getActiveScreensavers(); }
    QCoro::Task<> setScreensaver(QString name, std::optional<ScreenIdentifier> screen, WriteOptions options = {})
    {
        return screensavers_->setScreensaver(std::move(name), screen, options);
    }
    QCoro::Task<> setScreensaverEverywhere(QString name, WriteOptions options = {})
    {
        return screensavers_->setScreensaverEverywhere(std::move(name), options);
    }
    QCoro::Task<> setScreensaverForSpace(
        QString name, QString spaceUUID, std::optional<ScreenIdentifier> screen, WriteOptions options = {})
    {
        return screensavers_->setScreensaverForSpace(std::move(name), std::move(spaceUUID), screen, options);
    }
    QCoro::Task<> setScreensaverForSpaceID(
        QString name, qint64 spaceID, std::optional<ScreenIdentifier> screen, WriteOptions options = {})
    {
        return screensavers_->setScreensaverForSpaceID(std::move(name), spaceID, screen, options);
    }
    QCoro::Task<> setScreensaverForDisplay(QString name, int displayNumber, WriteOptions options = {})
    {
        return screensavers_->setScreensaverForDisplay(std::move(name), displayNumber, options);
    }
    QCoro::Task<> setScreensaverForDisplaySpace(
        QString name, int displayNumber, int spaceNumber, WriteOptions options = {})
    {
        return screensavers_->setScreensaverForDisplaySpace(std::move(name), displayNumber, spaceNumber, options);
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
    QCoro::Task<> setWallpaperForSpace(QString image, QString spaceUUID, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForSpace(std::move(image), std::move(spaceUUID), o);
    }
    QCoro::Task<> setWallpaperForSpaceID(QString image, qint64 spaceID, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForSpaceID(std::move(image), spaceID, o);
    }
    QCoro::Task<> setWallpaperForDisplay(QString image, int displayNumber, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForDisplay(std::move(image), displayNumber, o);
    }
    QCoro::Task<> setWallpaperForDisplaySpace(QString image, int displayNumber, int spaceNumber, WallpaperOptions o)
    {
        return wallpapers_->setWallpaperForDisplaySpace(std::move(image), displayNumber, spaceNumber, o);
    }

    // The space queries answer only when the screensaver manager offers them; otherwise absent or empty.
    std::optional<SpaceInfo> getActiveSpace() const;
    std::optional<SpaceInfo> getSpaceByID(qint64 spaceID) const;
    QList<DisplayInfo> listDisplays() const;
    QVariantMap getNativeSpaceTree() const;

    BackupInfo getBackupInfo() const;
    // Puts the backup in place of the store (atomically, under the store's lock); fileNotFound for a
    // missing backup.
    void restoreFromBackup() const;

    const std::shared_ptr<ScreensaverManaging>& screensaverManager() const { return screensavers_; }
    const std::shared_ptr<WallpaperManaging>& wallpaperManager() const { return wallpapers_; }

private:
    const SpaceManaging* spaces() const { return dynamic_cast<const SpaceManaging*>(screensavers_.get()); }

    std::shared_ptr<ScreensaverManaging> screensavers_;
    std::shared_ptr<WallpaperManaging> wallpapers_;
    std::shared_ptr<KitEnvironment> env_;
};

} // namespace quorvel::kit
