#pragma once
// Desktop pictures per display and space, in the "Desktop" slots of the same store. No guarded
// write here: the store is written (atomically, with its backup) and the agent restarted.

#include "kit/screensaver_manager.h"

#include <QCoroTask>

namespace quorvel::kit {

class WallpaperManager {
public:
    explicit WallpaperManager(std::shared_ptr<KitEnvironment> env);
    virtual ~WallpaperManager() = default;

    QCoro::Task<> setWallpaper(QString imagePath);
    std::optional<WallpaperInfo> getCurrentWallpaper(std::optional<ScreenIdentifier> screen) const;
    QCoro::Task<> setWallpaperForSpace(QString imagePath, QString spaceUUID, WallpaperOptions options);
    QCoro::Task<> setWallpaperForSpaceID(QString imagePath, qint64 spaceID, WallpaperOptions options);
    QCoro::Task<> setWallpaperOnAllDisplays(QString imagePath, WallpaperOptions options);
    QCoro::Task<> setWallpaperForDisplay(QString imagePath, int displayNumber, WallpaperOptions options);
    QCoro::Task<> setWallpaperForDisplaySpace(
        QString imagePath, int displayNumber, int spaceNumber, WallpaperOptions options);

    // The "Desktop" choice entry for an image and a style.
    QVariantMap makeWallpaperChoice(const QString& imagePath, WallpaperStyle style) const;

private:
    QVariantMap checkedChoice(const QString& imagePath, WallpaperStyle style) const;
    void writeAndRestart(const QVariantMap& store);
    QVariantMap readStore() const;

    std::shared_ptr<KitEnvironment> env_;
    ScreensaverManager screensavers_;
};

} // namespace quorvel::kit
