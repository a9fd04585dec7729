#pragma once
// Plain value records that cross the kit's interfaces. Keyed coding is to and from a QVariantMap,
// which QJsonObject::fromVariantMap or the property-list writer can serialise.

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit {

struct ScreenIdentifier {
    quint32 displayID = 0;
    bool operator==(const ScreenIdentifier&) const = default;
    QVariantMap encode() const;
    static std::optional<ScreenIdentifier> decode(const QVariantMap& map);
    // From a screen's device description: needs an "NSScreenNumber" that is an unsigned 32-bit number.
    static std::optional<ScreenIdentifier> fromDeviceDescription(const QVariantMap& description);
};

struct ScreensaverInfo {
    QString name;
    QString identifier;
    std::optional<QString> modulePath;
    std::optional<ScreenIdentifier> screen;
    bool operator==(const ScreensaverInfo&) const = default;
    QVariantMap encode() const;
    // None when "name" or "identifier" is missing or not a string.
    static std::optional<ScreensaverInfo> decode(const QVariantMap& map);
};

enum class ScreensaverType { traditional, appExtension, sequoiaVideo, builtInMac, defaultScreen };

namespace screensaver_type {
inline constexpr ScreensaverType allCases[] = { ScreensaverType::traditional, ScreensaverType::appExtension,
    ScreensaverType::sequoiaVideo, ScreensaverType::builtInMac, ScreensaverType::defaultScreen };
QString rawValue(ScreensaverType type);
std::optional<ScreensaverType> fromRawValue(const QString& raw);
QString fileExtension(ScreensaverType type);
QString providerIdentifier(ScreensaverType type);
QString displayName(ScreensaverType type);
// The first case whose file extension equals the path's lower-cased extension; `traditional` when none does.
ScreensaverType fromPath(const QString& bundlePath);
} // namespace screensaver_type

struct ScreensaverModule {
    QString name;
    QString identifier;
    QString path; // file-system path of the bundle
    ScreensaverType type = ScreensaverType::traditional;
    bool isSystem = false;
    std::optional<QString> thumbnail;
    bool operator==(const ScreensaverModule&) const = default;
    QVariantMap encode() const;
    static std::optional<ScreensaverModule> decode(const QVariantMap& map);
};

struct SpaceInfo {
    QString uuid;
    QStringList displayUUIDs;
    std::optional<QString> name;
    std::optional<qint64> spaceID;
    std::optional<QString> displayIdentifier;
    bool isCurrent = false;
    bool isHistorical = false;
    bool operator==(const SpaceInfo&) const = default;
    QVariantMap encode() const;
    static std::optional<SpaceInfo> decode(const QVariantMap& map);
};

struct DisplayInfo {
    QString uuid;
    std::optional<quint32> displayID;
    std::optional<QRectF> frame;
    bool isMain = false;
    bool isConnected = false;
    std::optional<QSizeF> resolution;
    std::optional<qint64> refreshRate;
    std::optional<qint64> scale;
    std::optional<qint64> configVersion;
    std::optional<QString> displayName;
    bool operator==(const DisplayInfo&) const = default;
    QVariantMap encode() const;
    static std::optional<DisplayInfo> decode(const QVariantMap& map);
    QString friendlyName() const;
    QString resolutionDescription() const;
};

enum class WallpaperStyle { fill, fit, stretch, center, tile, dynamic };
QString wallpaperStyleRawValue(WallpaperStyle style);
std::optional<WallpaperStyle> wallpaperStyleFromRawValue(const QString& raw);

struct WallpaperOptions {
    WallpaperStyle style = WallpaperStyle::fill;
};

struct WallpaperInfo {
    QString imageURL; // absolute URL string as stored
    WallpaperStyle style = WallpaperStyle::fill;
    std::optional<ScreenIdentifier> screen;
    std::optional<QString> spaceUUID;
    bool operator==(const WallpaperInfo&) const = default;
};

struct PluginkitExtension {
    QString bundleIdentifier;
    QString version;
    QString uuid;
    QString path; // file-system path of the bundle
    bool operator==(const PluginkitExtension&) const = default;
    QVariantMap encode() const;
    static std::optional<PluginkitExtension> decode(const QVariantMap& map);
};

struct ScreensaverTarget {
    enum class Kind { display, space, displaySpace, everywhere };
    Kind kind = Kind::everywhere;
    int displayNumber = 0; // display, displaySpace
    int spaceNumber = 0; // displaySpace
    QString spaceUUID; // space

    static ScreensaverTarget onDisplay(int displayNumber) { return { Kind::display, displayNumber, 0, {} }; }
    static ScreensaverTarget onSpace(QString spaceUUID) { return { Kind::space, 0, 0, std::move(spaceUUID) }; }
    static ScreensaverTarget onDisplaySpace(int displayNumber, int spaceNumber)
    {
        return { Kind::displaySpace, displayNumber, spaceNumber, {} };
    }
    static ScreensaverTarget everywhere() { return {}; }
    bool operator==(const ScreensaverTarget&) const = default;
    // everywhere, display(2), space("UUID"), displaySpace(display: 1, space: 3)
    QString description() const;
};

struct MissionControlSpace {
    qint64 spaceID = 0;
    QString uuid;
    QString displayIdentifier;
    bool isCurrent = false;
    bool isCollapsed = false;
    bool isAutoCreated = false;
    bool operator==(const MissionControlSpace&) const = default;
};

struct WindowServerDisplayConfig {
    QString uuid;
    QSizeF resolution;
    qint64 refreshRate = 0;
    qint64 scale = 0;
    qint64 configVersion = 0;
    bool isInCurrentConfig = false;
    bool operator==(const WindowServerDisplayConfig&) const = default;
};

} // namespace quorvel::kit
