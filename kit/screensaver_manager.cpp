#include "kit/screensaver_manager.h"

#include "kit/errors.h"
#include "kit/plist_codec.h"
#include "kit/value_access.h"
#include "platform/clock.h"
#include "platform/preferences.h"
#include "platform/screens.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace quorvel::kit {

namespace {

const QString kScreenSaverProvider = QStringLiteral("com.apple.wallpaper.choice.screen-saver");
const QString kLegacyDomain = QStringLiteral("com.apple.screensaver");

QString key(const char* text)
{
    return QString::fromLatin1(text);
}

// A slot dictionary to edit: the existing one, or a new individual slot.
QVariantMap slotOrNew(const QVariantMap& parent, const QString& name)
{
    if (const auto existing = value::map(parent.value(name)))
        return *existing;
    return { { key("Type"), QStringLiteral("individual") } };
}

} // namespace

ScreensaverManager::ScreensaverManager(std::shared_ptr<KitEnvironment> env)
    : env_(std::move(env))
{
}

bool ScreensaverManager::isValidSpaceUUID(const QString& uuid)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(uuid).hasMatch();
}

void ScreensaverManager::debug(bool enabled, const QString& line) const
{
    if (enabled)
        env_->print(QStringLiteral("🔧 DEBUG: ") + line);
}

// ---- modules and configurations

QCoro::Task<std::optional<QString>> ScreensaverManager::findModuleURL(QString name) const
{
    for (const QString& dir : env_->paths->screensaverModulesDirectories()) {
        for (const char* extension : { ".saver", ".appex" }) {
            const QString candidate = dir + QLatin1Char('/') + name + QString::fromLatin1(extension);
            if (QFileInfo::exists(candidate))
                co_return candidate;
        }
    }
    try {
        const auto found = co_await env_->pluginkit->findExtension(name);
        if (found)
            co_return found->path;
    } catch (const std::exception&) {
        // A registry that cannot be asked finds nothing.
    }
    co_return std::nullopt;
}

QByteArray ScreensaverManager::createScreensaverConfiguration(const QString& modulePath, ScreensaverType type) const
{
    switch (type) {
    case ScreensaverType::traditional:
    case ScreensaverType::appExtension: {
        QString url = QString::fromUtf8(QUrl::fromLocalFile(modulePath).toEncoded());
        if (url.endsWith(QLatin1Char('/')))
            url.chop(1);
        return env_->plist->createBinaryPlist({ { key("module"), QVariantMap { { key("relative"), url } } } });
    }
    case ScreensaverType::sequoiaVideo:
        return env_->plist->createBinaryPlist({ { key("values"),
            QVariantMap { { key("appearance"), QStringLiteral("automatic") },
                { key("picker"), QVariantMap { { key("id"), qint64(0) } } } } } });
    case ScreensaverType::builtInMac:
    case ScreensaverType::defaultScreen:
        break;
    }
    return QByteArray();
}

std::optional<QString> ScreensaverManager::decodeScreensaverConfiguration(const QByteArray& bytes) const
{
    const auto parsed = parsePlist(bytes);
    if (!parsed.value || !value::isMap(*parsed.value))
        throw TessaryError::plistReadError(QStringLiteral("binary data"));
    const QVariantMap config = parsed.value->toMap();
    if (const auto relative = value::string(value::mapOrEmpty(config, key("module")).value(key("relative")))) {
        const QUrl url(*relative);
        if (url.isValid() && !relative->isEmpty()) {
            QString path = url.path();
            while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
                path.chop(1);
            return QFileInfo(path).completeBaseName();
        }
    }
    const QVariantMap values = value::mapOrEmpty(config, key("values"));
    if (values.contains(key("legacyScreenSaverGenerationCount")))
        return QStringLiteral("Dynamic Desktop");
    if (const auto appearance = value::string(values.value(key("appearance"))))
        return QStringLiteral("Sequoia Video (") + *appearance + QLatin1Char(')');
    return std::nullopt;
}

QVariantMap ScreensaverManager::makeScreensaverChoice(const QByteArray& configuration) const
{
    const QDateTime now = env_->clock->now();
    const QVariantMap choice { { key("Configuration"), configuration }, { key("Files"), QVariantList {} },
        { key("Provider"), kScreenSaverProvider } };
    return { { key("Content"), QVariantMap { { key("Choices"), QVariantList { choice } } } }, { key("LastSet"), now },
        { key("LastUse"), now } };
}

QCoro::Task<QList<ScreensaverModule>> ScreensaverManager::listAvailableScreensavers() const
{
    QList<ScreensaverModule> modules;
    try {
        const auto extensions = co_await env_->pluginkit->discoverScreensaverExtensions();
        for (const auto& extension : extensions) {
            if (extension.bundleIdentifier.contains(QStringLiteral("legacyScreenSaver")))
                continue;
            modules.append({ bundleBaseName(extension.path), QFileInfo(extension.path).fileName(), extension.path,
                ScreensaverType::appExtension, extension.path.startsWith(QStringLiteral("/System/")), {} });
        }
    } catch (const std::exception&) {
        // Without the registry the folders still list their modules.
    }
    for (const QString& dir : env_->paths->screensaverModulesDirectories()) {
        QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileInfo().suffix().toLower() != QStringLiteral("saver")
                || path.contains(QStringLiteral("Default Collections")))
                continue;
            modules.append({ it.fileInfo().completeBaseName(), it.fileName(), path, ScreensaverType::traditional,
                path.startsWith(QStringLiteral("/System/")), {} });
        }
    }
    co_return modules;
}

// ---- reading which module is active

std::optional<QString> ScreensaverManager::activeModuleName(const QString& spaceUUID) const
{
    QVariantMap store;
    try {
        store = env_->plist->read(env_->paths->wallpaperIndexPath());
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return moduleNameIn(store, spaceUUID, env_->spaces->displays());
}

std::optional<QString> ScreensaverManager::moduleNameIn(
    const QVariantMap& store, const QString& spaceUUID, const QList<DisplayInfo>& displayList) const
{
    const QVariantMap spaces = value::mapOrEmpty(store, key("Spaces"));
    const QVariantMap entry = value::map(spaces.value(spaceUUID)).value_or(value::mapOrEmpty(spaces, QString()));

    auto firstChoice = [](const QVariantMap& choiceEntry) {
        const QVariantList choices = value::list(value::mapOrEmpty(choiceEntry, key("Content")).value(key("Choices")))
                                         .value_or(QVariantList {});
        return choices.isEmpty() ? std::optional<QVariantMap>() : value::map(choices.first());
    };
    auto idleOrLinked = [&](const QVariantMap& slot, bool linkedNeedsConfiguration) -> std::optional<QVariantMap> {
        if (const auto idle = value::map(slot.value(key("Idle"))))
            return idle;
        if (const auto linked = value::map(slot.value(key("Linked")))) {
            if (!linkedNeedsConfiguration)
                return linked;
            const auto choice = firstChoice(*linked);
            if (choice && !value::data(choice->value(key("Configuration"))).value_or(QByteArray()).isEmpty())
                return linked;
        }
        return std::nullopt;
    };

    std::optional<QVariantMap> chosen = idleOrLinked(value::mapOrEmpty(store, key("AllSpacesAndDisplays")), true);
    if (!chosen)
        chosen = idleOrLinked(value::mapOrEmpty(entry, key("Default")), false);
    if (!chosen) {
        const QVariantMap displaySlots = value::mapOrEmpty(entry, key("Displays"));
        for (const DisplayInfo& display : displayList) {
            if ((chosen = idleOrLinked(value::mapOrEmpty(displaySlots, display.uuid), false)))
                break;
        }
    }
    if (!chosen)
        chosen = idleOrLinked(value::mapOrEmpty(store, key("SystemDefault")), false);
    if (!chosen)
        return std::nullopt;
    const auto choice = firstChoice(*chosen);
    if (!choice)
        return std::nullopt;
    const QString provider = value::string(choice->value(key("Provider"))).value_or(QString());
    if (provider == QStringLiteral("com.apple.wallpaper.choice.image")
        || provider == QStringLiteral("com.apple.wallpaper.choice.dynamic")
        || (provider.startsWith(QStringLiteral("com.apple.wallpaper.")) && provider != kScreenSaverProvider))
        return QStringLiteral("Automatic");
    try {
        return decodeScreensaverConfiguration(value::data(choice->value(key("Configuration"))).value_or(QByteArray()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<QString> ScreensaverManager::legacyModuleName() const
{
    for (const auto& suite :
        { env_->preferences->domain(kLegacyDomain, true), env_->preferences->suite(kLegacyDomain) }) {
        if (!suite)
            continue;
        if (const auto name = value::string(
                value::map(suite->value(key("moduleDict"))).value_or(QVariantMap {}).value(key("moduleName"))))
            return name;
    }
    return std::nullopt;
}

std::optional<QString> ScreensaverManager::screenUUID(const std::optional<ScreenIdentifier>& screen) const
{
    if (!screen) {
        const auto main = env_->spaces->mainScreen();
        return main ? std::optional(main->uuid) : std::nullopt;
    }
    return env_->spaces->displayUUID(screen->displayID);
}

std::optional<ScreensaverInfo> ScreensaverManager::getActiveScreensaver(std::optional<ScreenIdentifier> screen) const
{
    if (!env_->paths->isModernStore()) {
        const auto name = legacyModuleName();
        if (!name)
            return std::nullopt;
        std::optional<QString> path;
        for (const auto& suite : { env_->preferences->domain(kLegacyDomain, true) })
            if (suite)
                path = value::string(
                    value::map(suite->value(key("moduleDict"))).value_or(QVariantMap {}).value(key("path")));
        return ScreensaverInfo { *name, *name, path, std::nullopt };
    }
    const auto uuid = screenUUID(screen);
    if (!uuid)
        return std::nullopt;
    for (const QVariant& m : value::list(getNativeSpaceTree().value(key("monitors"))).value_or(QVariantList {})) {
        const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
        if (value::string(monitor.value(key("uuid"))) != *uuid)
            continue;
        for (const QVariant& s : value::list(monitor.value(key("spaces"))).value_or(QVariantList {})) {
            const QVariantMap space = value::map(s).value_or(QVariantMap {});
            if (!value::boolean(space.value(key("is_current"))).value_or(false))
                continue;
            const auto name = activeModuleName(space.value(key("uuid")).toString());
            if (!name)
                return std::nullopt;
            std::optional<ScreenIdentifier> identifier = screen;
            if (!identifier)
                if (const auto main = env_->spaces->mainScreen())
                    identifier = ScreenIdentifier { main->displayNumber };
            return ScreensaverInfo { *name, *name, std::nullopt, identifier };
        }
    }
    return std::nullopt;
}

QStringList ScreensaverManager::getActiveScreensavers() const
{
    if (!env_->paths->isModernStore()) {
        const auto name = legacyModuleName();
        return name ? QStringList { *name } : QStringList {};
    }
    QStringList names;
    // One read of the store answers for every space.
    QVariantMap store;
    try {
        store = env_->plist->read(env_->paths->wallpaperIndexPath());
    } catch (const std::exception&) {
        return names;
    }
    const QList<DisplayInfo> displayList = env_->spaces->displays();
    const QVariantList monitors = value::list(getNativeSpaceTree().value(key("monitors"))).value_or(QVariantList {});
    for (const QVariant& m : monitors)
        for (const QVariant& s :
            value::list(value::map(m).value_or(QVariantMap {}).value(key("spaces"))).value_or(QVariantList {}))
            if (const auto name = moduleNameIn(
                    store, value::map(s).value_or(QVariantMap {}).value(key("uuid")).toString(), displayList))
                names.append(*name);
    // With no monitors at all, what the store says for "no particular space" is what applies.
    if (monitors.isEmpty())
        if (const auto name = moduleNameIn(store, QString(), displayList))
            names.append(*name);
    names.removeDuplicates();
    names.sort();
    return names;
}

// ---- spaces

QList<SpaceInfo> ScreensaverManager::getAllSpaces(bool includeHistorical) const
{
    QVariantMap spaces;
    try {
        spaces = value::mapOrEmpty(env_->plist->read(env_->paths->wallpaperIndexPath()), key("Spaces"));
    } catch (const std::exception&) {
    }
    const auto live = env_->spaces->missionControlSpaces();
    QList<SpaceInfo> result;
    for (auto it = spaces.begin(); it != spaces.end(); ++it) {
        if (it.key().isEmpty() || it.key() == QStringLiteral("SystemDefault"))
            continue;
        SpaceInfo info;
        info.uuid = it.key();
        info.displayUUIDs = value::mapOrEmpty(value::map(it.value()).value_or(QVariantMap {}), key("Displays")).keys();
        const auto match
            = std::find_if(live.begin(), live.end(), [&](const MissionControlSpace& s) { return s.uuid == it.key(); });
        if (match != live.end()) {
            info.spaceID = match->spaceID;
            info.displayIdentifier = match->displayIdentifier;
            info.isCurrent = match->isCurrent;
        } else {
            info.isHistorical = true;
            if (!includeHistorical)
                continue;
        }
        result.append(info);
    }
    return result;
}

std::optional<SpaceInfo> ScreensaverManager::getActiveSpace() const
{
    const auto all = getAllSpaces(false);
    for (const auto& s : all)
        if (s.isCurrent)
            return s;
    for (const auto& s : all)
        if (!s.uuid.isEmpty())
            return s;
    return std::nullopt;
}

std::optional<SpaceInfo> ScreensaverManager::space(qint64 spaceID) const
{
    for (const auto& s : getAllSpaces(true))
        if (s.spaceID == spaceID)
            return s;
    return std::nullopt;
}

// ---- idle time and the legacy preferences

std::optional<qint64> ScreensaverManager::getIdleTime() const
{
    const auto domain = env_->preferences->domain(kLegacyDomain, true);
    return domain ? value::integer(domain->value(key("idleTime"))) : std::nullopt;
}

void ScreensaverManager::setIdleTime(qint64 seconds)
{
    if (seconds < 0)
        throw TessaryError::invalidConfiguration(QStringLiteral("Idle time cannot be negative"));
    const auto domain = env_->preferences->domain(kLegacyDomain, true);
    if (!domain)
        throw TessaryError::invalidConfiguration(QStringLiteral("Failed to save idle time preference"));
    domain->setValue(key("idleTime"), seconds);
    if (!domain->synchronize())
        throw TessaryError::invalidConfiguration(QStringLiteral("Failed to save idle time preference"));
}

void ScreensaverManager::legacyWrite(const QString& module, const std::optional<QString>& path)
{
    const auto domain = env_->preferences->domain(kLegacyDomain, true);
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

// ---- set operations

QCoro::Task<ScreensaverManager::Prepared> ScreensaverManager::prepare(QString module) const
{
    const QString path = env_->paths->wallpaperIndexPath();
    Prepared prepared;
    try {
        prepared.store = env_->plist->read(path);
    } catch (const std::exception&) {
        throw TessaryError::plistReadError(path);
    }
    const auto moduleURL = co_await findModuleURL(module);
    if (!moduleURL)
        throw TessaryError::screensaverNotFound(module);
    prepared.configuration = createScreensaverConfiguration(*moduleURL, screensaver_type::fromPath(*moduleURL));
    co_return prepared;
}

std::optional<QVariantMap> ScreensaverManager::monitorWithNumber(qint64 displayNumber) const
{
    for (const QVariant& m : value::list(getNativeSpaceTree().value(key("monitors"))).value_or(QVariantList {})) {
        const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
        if (value::integer(monitor.value(key("display_number"))) == displayNumber)
            return monitor;
    }
    return std::nullopt;
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

QCoro::Task<> ScreensaverManager::editStore(
    QString module, bool skipRestart, bool enableDebug, std::function<ScreensaverTarget(Prepared&)> edit)
{
    if (!env_->paths->isModernStore()) {
        co_await legacySet(module);
        co_return;
    }
    const QString path = env_->paths->wallpaperIndexPath();
    co_await env_->writeQueue->lock(path);
    StoreWriteGuard guard(*env_->writeQueue, path);
    Prepared p = co_await prepare(module);
    const ScreensaverTarget target = edit(p);
    co_await writeWithAutoRollback(p.store, path, !skipRestart, enableDebug, module, target, 3.0);
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

QStringList ScreensaverManager::connectedDisplayUUIDs() const
{
    QStringList uuids;
    for (const auto& screen : env_->spaces->screens())
        uuids.append(screen.uuid);
    return uuids;
}

QCoro::Task<> ScreensaverManager::setScreensaverEverywhere(QString module, bool skipRestart, bool enableDebug)
{
    co_await editStore(module, skipRestart, enableDebug, [this](Prepared& p) {
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

QCoro::Task<> ScreensaverManager::setScreensaverForDisplay(
    QString module, int displayNumber, bool skipRestart, bool enableDebug)
{
    co_await editStore(module, skipRestart, enableDebug, [this, displayNumber](Prepared& p) {
        const auto monitor = monitorWithNumber(displayNumber);
        if (!monitor || !value::isList(monitor->value(key("spaces"))) || !value::isString(monitor->value(key("uuid"))))
            throw TessaryError::displayNotFound(displayNumber);
        applyToDisplay(p.store, *monitor, p.configuration);
        return ScreensaverTarget::onDisplay(displayNumber);
    });
}

QCoro::Task<> ScreensaverManager::applyToSpace(QString module, QString spaceKey, std::optional<QString> displayUUID,
    ScreensaverTarget target, bool skipRestart, bool enableDebug)
{
    co_await editStore(module, skipRestart, enableDebug, [&](Prepared& p) {
        setSpaceEntry(
            p.store, spaceKey, displayUUID ? QStringList { *displayUUID } : connectedDisplayUUIDs(), p.configuration);
        return target;
    });
}

QCoro::Task<> ScreensaverManager::setScreensaver(
    QString module, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug)
{
    if (!screen) {
        co_await setScreensaverEverywhere(module, skipRestart, enableDebug);
        co_return;
    }
    const auto uuid = env_->spaces->displayUUID(screen->displayID);
    if (!uuid)
        throw TessaryError::invalidScreenIdentifier();
    co_await applyToSpace(module, QString(), uuid, ScreensaverTarget::onSpace(QString()), skipRestart, enableDebug);
}

QCoro::Task<> ScreensaverManager::setScreensaverForSpace(
    QString module, QString spaceUUID, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug)
{
    if (spaceUUID.isEmpty()) {
        co_await setScreensaver(module, screen, skipRestart, enableDebug);
        co_return;
    }
    std::optional<QString> displayUUID;
    if (screen) {
        displayUUID = env_->spaces->displayUUID(screen->displayID);
        if (!displayUUID)
            throw TessaryError::invalidScreenIdentifier();
    }
    co_await applyToSpace(
        module, spaceUUID, displayUUID, ScreensaverTarget::onSpace(spaceUUID), skipRestart, enableDebug);
}

QCoro::Task<> ScreensaverManager::setScreensaverForSpaceID(
    QString module, qint64 spaceID, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug)
{
    const auto found = space(spaceID);
    if (!found)
        throw TessaryError::spaceNotFound();
    co_await setScreensaverForSpace(module, found->uuid, screen, skipRestart, enableDebug);
}

QCoro::Task<> ScreensaverManager::setScreensaverForDisplaySpace(
    QString module, int displayNumber, int spaceNumber, bool skipRestart, bool enableDebug)
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
    co_await applyToSpace(module, *spaceUUID, std::nullopt,
        ScreensaverTarget::onDisplaySpace(displayNumber, spaceNumber), skipRestart, enableDebug);
}

} // namespace quorvel::kit
