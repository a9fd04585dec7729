#include "kit/wallpaper_manager.h"

#include "kit/errors.h"
#include "kit/guarded_write.h"
#include "kit/plist_codec.h"
#include "kit/value_access.h"
#include "platform/clock.h"
#include "platform/process_runner.h"
#include "platform/screens.h"

#include <QFileInfo>
#include <QUrl>

namespace quorvel::kit {

namespace {

QVariantMap withDesktop(const QVariantMap& parent, const QString& name, const QVariantMap& choice)
{
    QVariantMap slot = value::map(parent.value(name))
                           .value_or(QVariantMap { { QStringLiteral("Type"), QStringLiteral("individual") } });
    slot.insert(QStringLiteral("Desktop"), choice);
    return slot;
}

} // namespace

WallpaperManager::WallpaperManager(std::shared_ptr<KitEnvironment> env)
    : env_(env)
    , screensavers_(env)
{
}

QVariantMap WallpaperManager::makeWallpaperChoice(const QString& imagePath, WallpaperStyle style) const
{
    // A relative path would be stored as a relative file URL that the agent resolves against its own folder.
    const QString absoluteImage = QFileInfo(imagePath).absoluteFilePath();
    const QByteArray configuration
        = env_->plist->createBinaryPlist({ { QStringLiteral("type"), QStringLiteral("imageFile") },
            { QStringLiteral("url"),
                QVariantMap { { QStringLiteral("relative"),
                    QString::fromUtf8(QUrl::fromLocalFile(absoluteImage).toEncoded()) } } } });
    const QByteArray options = env_->plist->createBinaryPlist({ { QStringLiteral("values"),
        QVariantMap { { QStringLiteral("style"),
            QVariantMap { { QStringLiteral("picker"),
                QVariantMap { { QStringLiteral("_0"),
                    QVariantMap { { QStringLiteral("id"), wallpaperStyleRawValue(style) } } } } } } } } } });
    const QVariantMap choice { { QStringLiteral("Configuration"), configuration },
        { QStringLiteral("Files"), QVariantList {} },
        { QStringLiteral("Provider"), QStringLiteral("com.apple.wallpaper.choice.image") } };
    const QDateTime now = env_->clock->now();
    return { { QStringLiteral("Content"),
                 QVariantMap { { QStringLiteral("Choices"), QVariantList { choice } },
                     { QStringLiteral("EncodedOptionValues"), options } } },
        { QStringLiteral("LastSet"), now }, { QStringLiteral("LastUse"), now } };
}

QVariantMap WallpaperManager::checkedChoice(const QString& imagePath, WallpaperStyle style) const
{
    if (!QFileInfo(imagePath).isFile())
        throw TessaryError::fileNotFound(QFileInfo(imagePath).absoluteFilePath());
    return makeWallpaperChoice(imagePath, style);
}

void WallpaperManager::writeAndRestart(const QVariantMap& store, const QByteArray& basis)
{
    env_->plist->write(store, env_->paths->wallpaperIndexPath(), basis);
    GuardedWrite::restartWallpaperAgent(*env_);
}

QCoro::Task<> WallpaperManager::setWallpaper(QString imagePath)
{
    if (!env_->paths->isModernStore())
        throw TessaryError::sonomaRequired();
    co_await setWallpaperOnAllDisplays(imagePath, WallpaperOptions {});
}

QCoro::Task<> WallpaperManager::setWallpaperOnAllDisplays(QString imagePath, WallpaperOptions options)
{
    QList<int> numbers;
    for (const QVariant& m :
        value::list(screensavers_.getNativeSpaceTree().value(QStringLiteral("monitors"))).value_or(QVariantList {}))
        if (const auto n
            = value::integer(value::map(m).value_or(QVariantMap {}).value(QStringLiteral("display_number"))))
            numbers.append(int(*n));
    if (numbers.isEmpty())
        throw TessaryError::invalidConfiguration(QStringLiteral("No displays found"));
    for (const int n : numbers)
        co_await setWallpaperForDisplay(imagePath, n, options);
}

QCoro::Task<> WallpaperManager::setWallpaperForDisplay(QString imagePath, int displayNumber, WallpaperOptions options)
{
    const QVariantMap choice = checkedChoice(imagePath, options.style);
    std::optional<QVariantMap> monitor;
    for (const QVariant& m :
        value::list(screensavers_.getNativeSpaceTree().value(QStringLiteral("monitors"))).value_or(QVariantList {}))
        if (value::integer(value::map(m).value_or(QVariantMap {}).value(QStringLiteral("display_number")))
            == displayNumber)
            monitor = value::map(m);
    if (!monitor)
        throw TessaryError::displayNotFound(displayNumber);
    const QString path = env_->paths->wallpaperIndexPath();
    const auto lock = co_await StoreLock::acquire(env_, path);
    PlistManager::Snapshot snapshot = env_->plist->readSnapshot(path);
    QVariantMap& store = snapshot.dictionary;
    const QString displayUUID = monitor->value(QStringLiteral("uuid")).toString();
    QVariantMap spaces = value::mapOrEmpty(store, QStringLiteral("Spaces"));
    for (const QVariant& s : value::list(monitor->value(QStringLiteral("spaces"))).value_or(QVariantList {})) {
        const QString uuid = value::map(s).value_or(QVariantMap {}).value(QStringLiteral("uuid")).toString();
        QVariantMap entry = value::mapOrEmpty(spaces, uuid);
        entry.insert(QStringLiteral("Default"), withDesktop(entry, QStringLiteral("Default"), choice));
        QVariantMap displays = value::mapOrEmpty(entry, QStringLiteral("Displays"));
        displays.insert(displayUUID, withDesktop(displays, displayUUID, choice));
        entry.insert(QStringLiteral("Displays"), displays);
        spaces.insert(uuid, entry);
    }
    store.insert(QStringLiteral("Spaces"), spaces);
    writeAndRestart(store, snapshot.bytes);
}

QCoro::Task<> WallpaperManager::setWallpaperForSpace(QString imagePath, QString spaceUUID, WallpaperOptions options)
{
    if (spaceUUID.isEmpty())
        throw TessaryError::invalidConfiguration(QStringLiteral("Space UUID cannot be empty"));
    const QVariantMap choice = checkedChoice(imagePath, options.style);
    const QString path = env_->paths->wallpaperIndexPath();
    const auto lock = co_await StoreLock::acquire(env_, path);
    PlistManager::Snapshot snapshot = env_->plist->readSnapshot(path);
    QVariantMap& store = snapshot.dictionary;
    QVariantMap spaces = value::mapOrEmpty(store, QStringLiteral("Spaces"));
    QVariantMap entry = value::mapOrEmpty(spaces, spaceUUID);
    entry.insert(QStringLiteral("Default"), withDesktop(entry, QStringLiteral("Default"), choice));
    // With no screen named, the display slots this space already has show the picture too.
    QVariantMap displays = value::mapOrEmpty(entry, QStringLiteral("Displays"));
    for (auto it = displays.begin(); it != displays.end(); ++it)
        *it = withDesktop(displays, it.key(), choice);
    if (!displays.isEmpty())
        entry.insert(QStringLiteral("Displays"), displays);
    spaces.insert(spaceUUID, entry);
    store.insert(QStringLiteral("Spaces"), spaces);
    writeAndRestart(store, snapshot.bytes);
}

QCoro::Task<> WallpaperManager::setWallpaperForSpaceID(QString imagePath, qint64 spaceID, WallpaperOptions options)
{
    const auto space = screensavers_.space(spaceID);
    if (!space)
        throw TessaryError::spaceNotFound();
    co_await setWallpaperForSpace(imagePath, space->uuid, options);
}

QCoro::Task<> WallpaperManager::setWallpaperForDisplaySpace(
    QString imagePath, int displayNumber, int spaceNumber, WallpaperOptions options)
{
    QString uuid;
    for (const QVariant& m :
        value::list(screensavers_.getNativeSpaceTree().value(QStringLiteral("monitors"))).value_or(QVariantList {})) {
        const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
        if (value::integer(monitor.value(QStringLiteral("display_number"))) != displayNumber)
            continue;
        for (const QVariant& s : value::list(monitor.value(QStringLiteral("spaces"))).value_or(QVariantList {}))
            if (value::integer(value::map(s).value_or(QVariantMap {}).value(QStringLiteral("space_number")))
                == spaceNumber)
                uuid = value::map(s)->value(QStringLiteral("uuid")).toString();
    }
    if (uuid.isEmpty())
        throw TessaryError::spaceNotFound();
    co_await setWallpaperForSpace(imagePath, uuid, options);
}

std::optional<WallpaperInfo> WallpaperManager::getCurrentWallpaper(std::optional<ScreenIdentifier> screen) const
{
    if (!env_->paths->isModernStore())
        return std::nullopt;
    const auto stored = env_->plist->tryRead(env_->paths->wallpaperIndexPath());
    if (!stored)
        return std::nullopt;
    const QVariantMap& store = *stored;
    std::optional<platform::ScreenDescription> target;
    for (const auto& s : env_->spaces->screens())
        if (screen ? s.displayNumber == screen->displayID : s.isMain)
            target = s;
    if (!target && !screen)
        target = env_->spaces->mainScreen();
    if (!target)
        return std::nullopt;
    QString spaceUUID;
    for (const QVariant& m :
        value::list(screensavers_.getNativeSpaceTree().value(QStringLiteral("monitors"))).value_or(QVariantList {})) {
        const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
        if (monitor.value(QStringLiteral("uuid")).toString() != target->uuid)
            continue;
        for (const QVariant& s : value::list(monitor.value(QStringLiteral("spaces"))).value_or(QVariantList {}))
            if (value::map(s).value_or(QVariantMap {}).value(QStringLiteral("is_current")).toBool())
                spaceUUID = value::map(s)->value(QStringLiteral("uuid")).toString();
    }
    const QVariantMap entry = value::mapOrEmpty(value::mapOrEmpty(store, QStringLiteral("Spaces")), spaceUUID);
    // The screen's own slot in the space, then the space's, then the all-spaces slot.
    const QList<QVariantMap> candidates
        = { value::mapOrEmpty(value::mapOrEmpty(entry, QStringLiteral("Displays")), target->uuid),
              value::mapOrEmpty(entry, QStringLiteral("Default")),
              value::mapOrEmpty(store, QStringLiteral("AllSpacesAndDisplays")) };
    for (const QVariantMap& slot : candidates) {
        const QVariantMap content
            = value::mapOrEmpty(value::mapOrEmpty(slot, QStringLiteral("Desktop")), QStringLiteral("Content"));
        const QVariantMap choice
            = value::map(value::list(content.value(QStringLiteral("Choices"))).value_or(QVariantList {}).value(0))
                  .value_or(QVariantMap {});
        const auto config
            = parsePlist(value::data(choice.value(QStringLiteral("Configuration"))).value_or(QByteArray()));
        const auto url
            = value::string(value::mapOrEmpty(config.value.value_or(QVariant()).toMap(), QStringLiteral("url"))
                                .value(QStringLiteral("relative")));
        if (!url)
            continue;
        WallpaperInfo info { *url, WallpaperStyle::fill, ScreenIdentifier { target->displayNumber },
            spaceUUID.isEmpty() ? std::nullopt : std::optional(spaceUUID) };
        const auto options
            = parsePlist(value::data(content.value(QStringLiteral("EncodedOptionValues"))).value_or(QByteArray()));
        const QString style = value::mapOrEmpty(
            value::mapOrEmpty(value::mapOrEmpty(value::mapOrEmpty(options.value.value_or(QVariant()).toMap(),
                                                    QStringLiteral("values")),
                                  QStringLiteral("style")),
                QStringLiteral("picker")),
            QStringLiteral("_0"))
                                  .value(QStringLiteral("id"))
                                  .toString();
        info.style = wallpaperStyleFromRawValue(style).value_or(WallpaperStyle::fill);
        return info;
    }
    return std::nullopt;
}

} // namespace quorvel::kit
