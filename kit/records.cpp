#include "kit/records.h"

#include "kit/value_access.h"

#include <QFileInfo>

namespace quorvel::kit {

namespace {

template <typename T> void putOptional(QVariantMap& map, const char* key, const std::optional<T>& value)
{
    if (value)
        map.insert(QString::fromLatin1(key), QVariant::fromValue(*value));
}

QVariantMap rectMap(const QRectF& r)
{
    return { { QStringLiteral("x"), r.x() }, { QStringLiteral("y"), r.y() }, { QStringLiteral("width"), r.width() },
        { QStringLiteral("height"), r.height() } };
}

std::optional<QRectF> rectFrom(const QVariant& v)
{
    const auto m = value::map(v);
    if (!m)
        return std::nullopt;
    const auto x = value::number(m->value(QStringLiteral("x"))), y = value::number(m->value(QStringLiteral("y")));
    const auto w = value::number(m->value(QStringLiteral("width"))),
               h = value::number(m->value(QStringLiteral("height")));
    if (!x || !y || !w || !h)
        return std::nullopt;
    return QRectF(*x, *y, *w, *h);
}

QVariantMap sizeMap(const QSizeF& s)
{
    return { { QStringLiteral("width"), s.width() }, { QStringLiteral("height"), s.height() } };
}

std::optional<QSizeF> sizeFrom(const QVariant& v)
{
    const auto m = value::map(v);
    if (!m)
        return std::nullopt;
    const auto w = value::number(m->value(QStringLiteral("width"))),
               h = value::number(m->value(QStringLiteral("height")));
    if (!w || !h)
        return std::nullopt;
    return QSizeF(*w, *h);
}

std::optional<quint32> displayNumberFrom(const QVariant& v)
{
    const auto n = value::integer(v);
    if (!n || *n < 0 || *n > 0xFFFFFFFFLL)
        return std::nullopt;
    return quint32(*n);
}

} // namespace

QVariantMap ScreenIdentifier::encode() const
{
    return { { QStringLiteral("displayID"), qint64(displayID) } };
}

std::optional<ScreenIdentifier> ScreenIdentifier::decode(const QVariantMap& map)
{
    const auto id = displayNumberFrom(map.value(QStringLiteral("displayID")));
    return id ? std::optional(ScreenIdentifier { *id }) : std::nullopt;
}

std::optional<ScreenIdentifier> ScreenIdentifier::fromDeviceDescription(const QVariantMap& description)
{
    return decode({ { QStringLiteral("displayID"), description.value(QStringLiteral("NSScreenNumber")) } });
}

QVariantMap ScreensaverInfo::encode() const
{
    QVariantMap m { { QStringLiteral("name"), name }, { QStringLiteral("identifier"), identifier } };
    putOptional(m, "modulePath", modulePath);
    if (screen)
        m.insert(QStringLiteral("screen"), screen->encode());
    return m;
}

std::optional<ScreensaverInfo> ScreensaverInfo::decode(const QVariantMap& map)
{
    const auto name = value::string(map.value(QStringLiteral("name")));
    const auto identifier = value::string(map.value(QStringLiteral("identifier")));
    if (!name || !identifier)
        return std::nullopt;
    ScreensaverInfo info { *name, *identifier, value::string(map.value(QStringLiteral("modulePath"))), std::nullopt };
    if (const auto screen = value::map(map.value(QStringLiteral("screen"))))
        info.screen = ScreenIdentifier::decode(*screen);
    return info;
}

namespace screensaver_type {

QString rawValue(ScreensaverType type)
{
    switch (type) {
    case ScreensaverType::traditional:
        return QStringLiteral("saver");
    case ScreensaverType::appExtension:
        return QStringLiteral("appex");
    case ScreensaverType::sequoiaVideo:
        return QStringLiteral("video");
    case ScreensaverType::builtInMac:
        return QStringLiteral("macintosh");
    case ScreensaverType::defaultScreen:
        return QStringLiteral("default");
    }
    return {};
}

std::optional<ScreensaverType> fromRawValue(const QString& raw)
{
    for (const auto type : allCases)
        if (rawValue(type) == raw)
            return type;
    return std::nullopt;
}

QString fileExtension(ScreensaverType type)
{
    switch (type) {
    case ScreensaverType::traditional:
        return QStringLiteral("saver");
    case ScreensaverType::appExtension:
        return QStringLiteral("appex");
    default:
        return QString();
    }
}

QString providerIdentifier(ScreensaverType type)
{
    switch (type) {
    case ScreensaverType::traditional:
        return QStringLiteral("com.apple.wallpaper.choice.screen-saver");
    case ScreensaverType::appExtension:
        return QStringLiteral("com.apple.NeptuneOneExtension");
    case ScreensaverType::sequoiaVideo:
        return QStringLiteral("com.apple.wallpaper.choice.sequoia");
    case ScreensaverType::builtInMac:
        return QStringLiteral("com.apple.wallpaper.choice.macintosh");
    case ScreensaverType::defaultScreen:
        return QStringLiteral("default");
    }
    return {};
}

QString displayName(ScreensaverType type)
{
    switch (type) {
    case ScreensaverType::traditional:
        return QStringLiteral("Screen Saver");
    case ScreensaverType::appExtension:
        return QStringLiteral("App Extension");
    case ScreensaverType::sequoiaVideo:
        return QStringLiteral("Video Screensaver");
    case ScreensaverType::builtInMac:
        return QStringLiteral("Classic Mac");
    case ScreensaverType::defaultScreen:
        return QStringLiteral("Default");
    }
    return {};
}

ScreensaverType fromPath(const QString& bundlePath)
{
    QString path = bundlePath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString extension = QFileInfo(path).suffix().toLower();
    for (const auto type : allCases)
        if (fileExtension(type) == extension)
            return type;
    return ScreensaverType::traditional;
}

} // namespace screensaver_type

QVariantMap ScreensaverModule::encode() const
{
    QVariantMap m { { QStringLiteral("name"), name }, { QStringLiteral("identifier"), identifier },
        { QStringLiteral("path"), path }, { QStringLiteral("type"), screensaver_type::rawValue(type) },
        { QStringLiteral("isSystem"), isSystem } };
    putOptional(m, "thumbnail", thumbnail);
    return m;
}

std::optional<ScreensaverModule> ScreensaverModule::decode(const QVariantMap& map)
{
    const auto name = value::string(map.value(QStringLiteral("name")));
    const auto identifier = value::string(map.value(QStringLiteral("identifier")));
    const auto path = value::string(map.value(QStringLiteral("path")));
    const auto type = screensaver_type::fromRawValue(map.value(QStringLiteral("type")).toString());
    const auto isSystem = value::boolean(map.value(QStringLiteral("isSystem")));
    if (!name || !identifier || !path || !type || !isSystem)
        return std::nullopt;
    return ScreensaverModule { *name, *identifier, *path, *type, *isSystem,
        value::string(map.value(QStringLiteral("thumbnail"))) };
}

QVariantMap SpaceInfo::encode() const
{
    QVariantMap m { { QStringLiteral("uuid"), uuid }, { QStringLiteral("displayUUIDs"), displayUUIDs } };
    putOptional(m, "name", name);
    putOptional(m, "spaceID", spaceID);
    putOptional(m, "displayIdentifier", displayIdentifier);
    m.insert(QStringLiteral("isCurrent"), isCurrent);
    m.insert(QStringLiteral("isHistorical"), isHistorical);
    return m;
}

std::optional<SpaceInfo> SpaceInfo::decode(const QVariantMap& map)
{
    const auto uuid = value::string(map.value(QStringLiteral("uuid")));
    const auto uuids = map.value(QStringLiteral("displayUUIDs"));
    const auto isCurrent = value::boolean(map.value(QStringLiteral("isCurrent")));
    const auto isHistorical = value::boolean(map.value(QStringLiteral("isHistorical")));
    if (!uuid || !isCurrent || !isHistorical || !(value::isList(uuids) || uuids.typeId() == QMetaType::QStringList))
        return std::nullopt;
    return SpaceInfo { *uuid, uuids.toStringList(), value::string(map.value(QStringLiteral("name"))),
        value::integer(map.value(QStringLiteral("spaceID"))),
        value::string(map.value(QStringLiteral("displayIdentifier"))), *isCurrent, *isHistorical };
}

QVariantMap DisplayInfo::encode() const
{
    QVariantMap m { { QStringLiteral("uuid"), uuid } };
    if (displayID)
        m.insert(QStringLiteral("displayID"), qint64(*displayID));
    if (frame)
        m.insert(QStringLiteral("frame"), rectMap(*frame));
    m.insert(QStringLiteral("isMain"), isMain);
    m.insert(QStringLiteral("isConnected"), isConnected);
    if (resolution)
        m.insert(QStringLiteral("resolution"), sizeMap(*resolution));
    putOptional(m, "refreshRate", refreshRate);
    putOptional(m, "scale", scale);
    putOptional(m, "configVersion", configVersion);
    putOptional(m, "displayName", displayName);
    return m;
}

std::optional<DisplayInfo> DisplayInfo::decode(const QVariantMap& map)
{
    const auto uuid = value::string(map.value(QStringLiteral("uuid")));
    const auto isMain = value::boolean(map.value(QStringLiteral("isMain")));
    const auto isConnected = value::boolean(map.value(QStringLiteral("isConnected")));
    if (!uuid || !isMain || !isConnected)
        return std::nullopt;
    return DisplayInfo { *uuid, displayNumberFrom(map.value(QStringLiteral("displayID"))),
        rectFrom(map.value(QStringLiteral("frame"))), *isMain, *isConnected,
        sizeFrom(map.value(QStringLiteral("resolution"))), value::integer(map.value(QStringLiteral("refreshRate"))),
        value::integer(map.value(QStringLiteral("scale"))), value::integer(map.value(QStringLiteral("configVersion"))),
        value::string(map.value(QStringLiteral("displayName"))) };
}

QString DisplayInfo::friendlyName() const
{
    if (displayName)
        return *displayName + ((isMain && isConnected) ? QStringLiteral(" (Main)") : QString());
    const QString prefix = uuid.left(8) + QStringLiteral("...");
    if (isConnected)
        return (isMain ? QStringLiteral("Main Display ") : QStringLiteral("Display ")) + prefix;
    QString text = QStringLiteral("Display ") + prefix;
    if (configVersion)
        text += QStringLiteral(" (last seen: Config %1)").arg(*configVersion);
    return text;
}

QString DisplayInfo::resolutionDescription() const
{
    if (!resolution) {
        if (!frame)
            return QStringLiteral("Unknown resolution");
        return QStringLiteral("%1x%2").arg(qint64(frame->width())).arg(qint64(frame->height()));
    }
    QString text = QStringLiteral("%1x%2").arg(qint64(resolution->width())).arg(qint64(resolution->height()));
    if (refreshRate)
        text += QStringLiteral(" @ %1Hz").arg(*refreshRate);
    if (scale && *scale >= 2)
        text += QStringLiteral(" @ %1x").arg(*scale);
    return text;
}

QString wallpaperStyleRawValue(WallpaperStyle style)
{
    switch (style) {
    case WallpaperStyle::fill:
        return QStringLiteral("fill");
    case WallpaperStyle::fit:
        return QStringLiteral("fit");
    case WallpaperStyle::stretch:
        return QStringLiteral("stretch");
    case WallpaperStyle::center:
        return QStringLiteral("center");
    case WallpaperStyle::tile:
        return QStringLiteral("tile");
    case WallpaperStyle::dynamic:
        return QStringLiteral("dynamic");
    }
    return {};
}

std::optional<WallpaperStyle> wallpaperStyleFromRawValue(const QString& raw)
{
    for (const auto style : { WallpaperStyle::fill, WallpaperStyle::fit, WallpaperStyle::stretch,
             WallpaperStyle::center, WallpaperStyle::tile, WallpaperStyle::dynamic })
        if (wallpaperStyleRawValue(style) == raw)
            return style;
    return std::nullopt;
}

QVariantMap PluginkitExtension::encode() const
{
    return { { QStringLiteral("bundleIdentifier"), bundleIdentifier }, { QStringLiteral("version"), version },
        { QStringLiteral("uuid"), uuid }, { QStringLiteral("path"), path } };
}

std::optional<PluginkitExtension> PluginkitExtension::decode(const QVariantMap& map)
{
    const auto id = value::string(map.value(QStringLiteral("bundleIdentifier")));
    const auto version = value::string(map.value(QStringLiteral("version")));
    const auto uuid = value::string(map.value(QStringLiteral("uuid")));
    const auto path = value::string(map.value(QStringLiteral("path")));
    if (!id || !version || !uuid || !path)
        return std::nullopt;
    return PluginkitExtension { *id, *version, *uuid, *path };
}

QString ScreensaverTarget::description() const
{
    switch (kind) {
    case Kind::display:
        return QStringLiteral("display(%1)").arg(displayNumber);
    case Kind::space:
        return QStringLiteral("space(\"%1\")").arg(spaceUUID);
    case Kind::displaySpace:
        return QStringLiteral("displaySpace(display: %1, space: %2)").arg(displayNumber).arg(spaceNumber);
    case Kind::everywhere:
        return QStringLiteral("everywhere");
    }
    return {};
}

} // namespace quorvel::kit
