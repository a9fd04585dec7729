// Making a module active for a target: each operation edits the store in memory under the store's
// lock and hands it to the guarded write; before system version 14.0 the legacy preferences instead.
#include "kit/errors.h"
#include "kit/guarded_write.h"
#include "kit/screensaver_manager.h"
#include "kit/screensaver_store.h"
#include "platform/preferences.h"
#include "platform/screens.h"

namespace quorvel::kit {

using store::key;
using store::slotOrNew;

namespace {

// Refused before the name reaches a path or the registry.
void checkModuleName(const QString& module)
{
    if (module.isEmpty())
        throw TessaryError::invalidConfiguration(QStringLiteral("Screensaver name cannot be empty"));
    if (!ScreensaverManager::isPlainModuleName(module))
        throw TessaryError::screensaverNotFound(module);
}

} // namespace

void ScreensaverManager::setIdleTime(qint64 seconds)
{
    if (seconds < 0)
        throw TessaryError::invalidConfiguration(QStringLiteral("Idle time cannot be negative"));
    const auto domain = env_->preferences->domain(store::kLegacyDomain, true);
    if (!domain)
        throw TessaryError::invalidConfiguration(QStringLiteral("Failed to save idle time preference"));
    domain->setValue(key("idleTime"), seconds);
    if (!domain->synchronize())
        throw TessaryError::invalidConfiguration(QStringLiteral("Failed to save idle time preference"));
}

void ScreensaverManager::legacyWrite(const QString& module, const std::optional<QString>& path)
{
    const auto domain = env_->preferences->domain(store::kLegacyDomain, true);
    if (!domain)
        throw TessaryError::invalidConfiguration(QStringLiteral("Failed to save screensaver preference"));
    domain->setValue(key("moduleDict"),
        QVariantMap {
            { key("moduleName"), module }, { key("path"), path.value_or(QString()) }, { key("type"), qint64(0) } });
    if (!domain->synchronize())
        throw TessaryError::invalidConfiguration(QStringLiteral("Failed to save screensaver preference"));
}

QCoro::Task<> ScreensaverManager::legacySet(QString module)
{
    const auto path = co_await findModuleURL(module);
    legacyWrite(module, path);
}

QCoro::Task<ScreensaverManager::Prepared> ScreensaverManager::prepare(QString module) const
{
    const QString path = env_->paths->wallpaperIndexPath();
    Prepared prepared;
    try {
        PlistManager::Snapshot snapshot = env_->plist->readSnapshot(path);
        prepared.store = std::move(snapshot.dictionary);
        prepared.basis = std::move(snapshot.bytes);
    } catch (const std::exception&) {
        throw TessaryError::plistReadError(path);
    }
    const auto moduleURL = co_await findModuleURL(module);
    if (!moduleURL)
        throw TessaryError::screensaverNotFound(module);
    prepared.configuration = createScreensaverConfiguration(*moduleURL, screensaver_type::fromPath(*moduleURL));
    co_return prepared;
}

QCoro::Task<> ScreensaverManager::editStore(
    QString module, WriteOptions options, std::function<ScreensaverTarget(Prepared&)> edit)
{
    checkModuleName(module);
    if (!env_->paths->isModernStore()) {
        co_await legacySet(module);
        co_return;
    }
    const QString path = env_->paths->wallpaperIndexPath();
    const auto lock = co_await StoreLock::acquire(env_, path);
    Prepared p = co_await prepare(module);
    const ScreensaverTarget target = edit(p);
    GuardedWrite write(env_, [this](const QString& expected, const ScreensaverTarget& where) {
        return verifyScreensaverApplied(expected, where);
    });
    co_await write.run(p.store, path, options, module, target, 3.0, p.basis);
}

void ScreensaverManager::applyToDisplay(
    QVariantMap& store, const QVariantMap& monitor, const QByteArray& configuration) const
{
    const QString displayUUID = monitor.value(key("uuid")).toString();
    QVariantMap spaces = value::mapOrEmpty(store, key("Spaces"));
    for (const QVariant& s : value::list(monitor.value(key("spaces"))).value_or(QVariantList {})) {
        const auto uuid = value::string(value::map(s).value_or(QVariantMap {}).value(key("uuid")));
        if (!uuid)
            continue;
        QVariantMap entry = value::mapOrEmpty(spaces, *uuid);
        QVariantMap defaultSlot = slotOrNew(entry, key("Default"));
        defaultSlot.insert(key("Idle"), makeScreensaverChoice(configuration));
        entry.insert(key("Default"), defaultSlot);
        QVariantMap displays = value::mapOrEmpty(entry, key("Displays"));
        QVariantMap displaySlot = slotOrNew(displays, displayUUID);
        displaySlot.insert(key("Idle"), makeScreensaverChoice(configuration));
        displays.insert(displayUUID, displaySlot);
        entry.insert(key("Displays"), displays);
        spaces.insert(*uuid, entry);
    }
    store.insert(key("Spaces"), spaces);
}

void ScreensaverManager::setSpaceEntry(
    QVariantMap& store, const QString& spaceKey, const QStringList& displayUUIDs, const QByteArray& configuration) const
{
    QVariantMap spaces = value::mapOrEmpty(store, key("Spaces"));
    QVariantMap entry = value::mapOrEmpty(spaces, spaceKey);
    QVariantMap defaultSlot = slotOrNew(entry, key("Default"));
    defaultSlot.insert(key("Idle"), makeScreensaverChoice(configuration));
    entry.insert(key("Default"), defaultSlot);
    QVariantMap displays = value::mapOrEmpty(entry, key("Displays"));
    // A display slot keeps its other keys (its wallpaper); only the screensaver changes.
    for (const QString& uuid : displayUUIDs) {
        QVariantMap displaySlot = slotOrNew(displays, uuid);
        displaySlot.insert(key("Idle"), makeScreensaverChoice(configuration));
        displays.insert(uuid, displaySlot);
    }
    entry.insert(key("Displays"), displays);
    spaces.insert(spaceKey, entry);
    store.insert(key("Spaces"), spaces);
}

void ScreensaverManager::retireEverywhereChoice(QVariantMap& store) const
{
    // Every reader looks at this slot first, so while it holds a screensaver no narrower choice shows.
    QVariantMap everywhere = value::mapOrEmpty(store, key("AllSpacesAndDisplays"));
    const auto choice = value::map(everywhere.value(key("Idle")));
    if (!choice)
        return;
    QStringList spaceKeys;
    const QVariantList monitors = value::list(getNativeSpaceTree().value(key("monitors"))).value_or(QVariantList {});
    for (const QVariant& m : monitors)
        for (const QVariant& s :
            value::list(value::map(m).value_or(QVariantMap {}).value(key("spaces"))).value_or(QVariantList {}))
            if (const auto uuid = value::string(value::map(s).value_or(QVariantMap {}).value(key("uuid"))))
                spaceKeys.append(*uuid);
    if (monitors.isEmpty())
        spaceKeys.append(QString());
    // The spaces that showed it through this slot keep showing it through their own default slot.
    QVariantMap spaces = value::mapOrEmpty(store, key("Spaces"));
    for (const QString& spaceKey : spaceKeys) {
        QVariantMap entry = value::mapOrEmpty(spaces, spaceKey);
        QVariantMap defaultSlot = slotOrNew(entry, key("Default"));
        if (defaultSlot.contains(key("Idle")))
            continue;
        defaultSlot.insert(key("Idle"), *choice);
        entry.insert(key("Default"), defaultSlot);
        spaces.insert(spaceKey, entry);
    }
    store.insert(key("Spaces"), spaces);
    everywhere.remove(key("Idle"));
    if (everywhere.value(key("Type")) == QStringLiteral("idle"))
        everywhere.insert(key("Type"), QStringLiteral("individual"));
    store.insert(key("AllSpacesAndDisplays"), everywhere);
}

QStringList ScreensaverManager::connectedDisplayUUIDs() const
{
    QStringList uuids;
    for (const auto& screen : env_->spaces->screens())
        uuids.append(screen.uuid);
    return uuids;
}

QCoro::Task<> ScreensaverManager::setScreensaverEverywhere(QString module, WriteOptions options)
{
    co_await editStore(module, options, [this](Prepared& p) {
        QVariantMap& store = p.store;
        const QVariantMap spaces = value::mapOrEmpty(store, key("Spaces"));
        if (!spaces.isEmpty()) {
            store.insert(key("AllSpacesAndDisplays"),
                QVariantMap {
                    { key("Type"), QStringLiteral("idle") }, { key("Idle"), makeScreensaverChoice(p.configuration) } });
            const QVariant monitors = getNativeSpaceTree().value(key("monitors"));
            if (value::isList(monitors)) {
                for (const QVariant& m : monitors.toList()) {
                    const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
                    const auto number = value::integer(monitor.value(key("display_number")));
                    if (!number)
                        continue;
                    if (!value::isList(monitor.value(key("spaces"))) || !value::isString(monitor.value(key("uuid"))))
                        throw TessaryError::displayNotFound(int(*number));
                    applyToDisplay(store, monitor, p.configuration);
                }
            } else {
                // No usable monitors: the entry for "no particular space" and every connected screen.
                setSpaceEntry(store, QString(), connectedDisplayUUIDs(), p.configuration);
            }
            QVariantMap systemDefault = slotOrNew(store, key("SystemDefault"));
            systemDefault.insert(key("Idle"), makeScreensaverChoice(p.configuration));
            store.insert(key("SystemDefault"), systemDefault);
        } else {
            QVariantMap slot { { key("Type"), QStringLiteral("individual") } };
            const QVariantMap all = value::mapOrEmpty(store, key("AllSpacesAndDisplays"));
            if (const auto desktop = value::map(all.value(key("Desktop"))))
                slot.insert(key("Desktop"), *desktop);
            else if (const auto linked = value::map(all.value(key("Linked"))))
                slot.insert(key("Desktop"), *linked);
            slot.insert(key("Idle"), makeScreensaverChoice(p.configuration));
            store.insert(key("AllSpacesAndDisplays"), slot);
            store.insert(key("SystemDefault"), slot);
        }
        return ScreensaverTarget::everywhere();
    });
}

QCoro::Task<> ScreensaverManager::setScreensaverForDisplay(QString module, int displayNumber, WriteOptions options)
{
    co_await editStore(module, options, [this, displayNumber](Prepared& p) {
        const auto monitor = monitorWithNumber(displayNumber);
        if (!monitor || !value::isList(monitor->value(key("spaces"))) || !value::isString(monitor->value(key("uuid"))))
            throw TessaryError::displayNotFound(displayNumber);
        retireEverywhereChoice(p.store);
        applyToDisplay(p.store, *monitor, p.configuration);
        return ScreensaverTarget::onDisplay(displayNumber);
    });
}

QCoro::Task<> ScreensaverManager::applyToSpace(QString module, QString spaceKey, std::optional<QString> displayUUID,
    ScreensaverTarget target, WriteOptions options)
{
    co_await editStore(module, options, [&](Prepared& p) {
        retireEverywhereChoice(p.store);
        setSpaceEntry(
            p.store, spaceKey, displayUUID ? QStringList { *displayUUID } : connectedDisplayUUIDs(), p.configuration);
        return target;
    });
}

QCoro::Task<> ScreensaverManager::setScreensaver(
    QString module, std::optional<ScreenIdentifier> screen, WriteOptions options)
{
    if (!screen) {
        co_await setScreensaverEverywhere(module, options);
        co_return;
    }
    const auto uuid = env_->spaces->displayUUID(screen->displayID);
    if (!uuid)
        throw TessaryError::invalidScreenIdentifier();
    co_await applyToSpace(module, QString(), uuid, ScreensaverTarget::onSpace(QString()), options);
}

QCoro::Task<> ScreensaverManager::setScreensaverForSpace(
    QString module, QString spaceUUID, std::optional<ScreenIdentifier> screen, WriteOptions options)
{
    if (spaceUUID.isEmpty()) {
        co_await setScreensaver(module, screen, options);
        co_return;
    }
    std::optional<QString> displayUUID;
    if (screen) {
        displayUUID = env_->spaces->displayUUID(screen->displayID);
        if (!displayUUID)
            throw TessaryError::invalidScreenIdentifier();
    }
    co_await applyToSpace(module, spaceUUID, displayUUID, ScreensaverTarget::onSpace(spaceUUID), options);
}

QCoro::Task<> ScreensaverManager::setScreensaverForSpaceID(
    QString module, qint64 spaceID, std::optional<ScreenIdentifier> screen, WriteOptions options)
{
    const auto found = space(spaceID);
    if (!found)
        throw TessaryError::spaceNotFound();
    co_await setScreensaverForSpace(module, found->uuid, screen, options);
}

QCoro::Task<> ScreensaverManager::setScreensaverForDisplaySpace(
    QString module, int displayNumber, int spaceNumber, WriteOptions options)
{
    std::optional<QString> spaceUUID;
    if (const auto monitor = monitorWithNumber(displayNumber))
        for (const QVariant& s : value::list(monitor->value(key("spaces"))).value_or(QVariantList {})) {
            const QVariantMap space = value::map(s).value_or(QVariantMap {});
            if (value::integer(space.value(key("space_number"))) == spaceNumber)
                spaceUUID = value::string(space.value(key("uuid")));
        }
    if (!spaceUUID)
        throw TessaryError::spaceNotFoundOnDisplay(displayNumber, spaceNumber);
    co_await applyToSpace(
        module, *spaceUUID, std::nullopt, ScreensaverTarget::onDisplaySpace(displayNumber, spaceNumber), options);
}

} // namespace quorvel::kit
