#pragma once
// The three seams of the facade: what a screensaver manager, a space source and a wallpaper
// manager offer. The concrete managers are the defaults; the app and tests may substitute others.

#include "kit/records.h"

#include <QCoroTask>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit {

// How a set operation hands its store to the agent: restart it (then wait, verify and roll back
// if need be) or only write; print the "🔧 DEBUG:" lines or not.
struct WriteOptions {
    bool restartAgent = true;
    bool enableDebug = false;
};

class ScreensaverManaging {
public:
    virtual ~ScreensaverManaging() = default;

    // Without a screen it is the everywhere operation.
    virtual QCoro::Task<> setScreensaver(QString module, std::optional<ScreenIdentifier> screen, WriteOptions options)
        = 0;
    virtual std::optional<ScreensaverInfo> getActiveScreensaver(std::optional<ScreenIdentifier> screen) const = 0;
    // Distinct module names, sorted.
    virtual QStringList getActiveScreensavers() const = 0;
    virtual void setIdleTime(qint64 seconds) = 0;
    virtual std::optional<qint64> getIdleTime() const = 0;
    virtual QCoro::Task<QList<ScreensaverModule>> listAvailableScreensavers() const = 0;
    virtual QCoro::Task<> setScreensaverForSpaceID(
        QString module, qint64 spaceID, std::optional<ScreenIdentifier> screen, WriteOptions options)
        = 0;
    virtual QCoro::Task<> setScreensaverForSpace(
        QString module, QString spaceUUID, std::optional<ScreenIdentifier> screen, WriteOptions options)
        = 0;
    virtual QCoro::Task<> setScreensaverEverywhere(QString module, WriteOptions options) = 0;
    virtual QCoro::Task<> setScreensaverForDisplay(QString module, int displayNumber, WriteOptions options) = 0;
    virtual QCoro::Task<> setScreensaverForDisplaySpace(
        QString module, int displayNumber, int spaceNumber, WriteOptions options)
        = 0;
};

class SpaceManaging {
public:
    virtual ~SpaceManaging() = default;

    virtual QVariantMap getNativeSpaceTree() const = 0;
    virtual QList<SpaceInfo> getAllSpaces(bool includeHistorical) const = 0;
    virtual std::optional<SpaceInfo> getActiveSpace() const = 0;
    // The first space whose managed number is `spaceID`.
    virtual std::optional<SpaceInfo> space(qint64 spaceID) const = 0;
    virtual QList<DisplayInfo> displays() const = 0;
};

class WallpaperManaging {
public:
    virtual ~WallpaperManaging() = default;

    virtual QCoro::Task<> setWallpaper(QString imagePath) = 0;
    virtual std::optional<WallpaperInfo> getCurrentWallpaper(std::optional<ScreenIdentifier> screen) const = 0;
    virtual QCoro::Task<> setWallpaperForSpace(QString imagePath, QString spaceUUID, WallpaperOptions options) = 0;
    virtual QCoro::Task<> setWallpaperForSpaceID(QString imagePath, qint64 spaceID, WallpaperOptions options) = 0;
    virtual QCoro::Task<> setWallpaperOnAllDisplays(QString imagePath, WallpaperOptions options) = 0;
    virtual QCoro::Task<> setWallpaperForDisplay(QString imagePath, int displayNumber, WallpaperOptions options) = 0;
    virtual QCoro::Task<> setWallpaperForDisplaySpace(
        QString imagePath, int displayNumber, int spaceNumber, WallpaperOptions options)
        = 0;
};

} // namespace quorvel::kit
