#pragma once
// Desktop pictures per display and space, in the "Desktop" slots of the same store. No guarded
// write here: the store is written (atomically, with its backup, under the store's lock) and the
// agent restarted. A relative image path is taken from the working folder and stored absolute.

#include "kit/screensaver_manager.h"

#include <QCoroTask>

namespace quorvel::kit {

class WallpaperManager : public WallpaperManaging {
public:
    explicit WallpaperManager(std::shared_ptr<KitEnvironment> env);

    QCoro::Task<> setWallpaper(QString imagePath) override;
    std::optional<WallpaperInfo> getCurrentWallpaper(std::optional<ScreenIdentifier> screen) const override;
    QCoro::Task<> setWallpaperForSpace(QString imagePath, QString spaceUUID, WallpaperOptions options) override;
    QCoro::Task<> setWallpaperForSpaceID(QString imagePath, qint64 spaceID, WallpaperOptions options) override;
    QCoro::Task<> setWallpaperOnAllDisplays(QString imagePath, WallpaperOptions options) override;
    QCoro::Task<> setWallpaperForDisplay(QString imagePath, int displayNumber, WallpaperOptions options) override;
    QCoro::Task<> setWallpaperForDisplaySpace(
        QString imagePath, int displayNumber, int spaceNumber, WallpaperOptions options) override;

    // The "Desktop" choice entry for an image and a style.
    QVariantMap makeWallpaperChoice(const QString& imagePath, WallpaperStyle style) const;

private:
    QVariantMap checkedChoice(const QString& imagePath, WallpaperStyle style) const;
    void writeAndRestart(const QVariantMap& store, const QByteArray& basis);

    std::shared_ptr<KitEnvironment> env_;
    ScreensaverManager screensavers_;
};

} // namespace quorvel::kit
