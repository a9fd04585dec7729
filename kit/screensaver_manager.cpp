// Reading the store: which module each space, screen or the whole system shows; spaces; idle time.
#include "kit/screensaver_manager.h"

#include "kit/guarded_write.h"
#include "kit/screensaver_store.h"
#include "kit/value_access.h"
#include "platform/preferences.h"
#include "platform/screens.h"

#include <QRegularExpression>

namespace quorvel::kit {

using store::key;

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

// ---- which module is active

std::optional<QString> ScreensaverManager::activeModuleName(const QString& spaceUUID) const
{
    const auto store = env_->plist->tryRead(env_->paths->wallpaperIndexPath());
    return store ? moduleNameIn(*store, spaceUUID, env_->spaces->displays()) : std::nullopt;
}

std::optional<QVariantMap> ScreensaverManager::screensaverChoiceIn(
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
    return chosen ? firstChoice(*chosen) : std::nullopt;
}

std::optional<QString> ScreensaverManager::moduleNameIn(
    const QVariantMap& store, const QString& spaceUUID, const QList<DisplayInfo>& displayList) const
{
    const auto choice = screensaverChoiceIn(store, spaceUUID, displayList);
    if (!choice)
        return std::nullopt;
    const QString provider = value::string(choice->value(key("Provider"))).value_or(QString());
    if (provider == QStringLiteral("com.apple.wallpaper.choice.image")
        || provider == QStringLiteral("com.apple.wallpaper.choice.dynamic")
        || (provider.startsWith(QStringLiteral("com.apple.wallpaper.")) && provider != store::kScreenSaverProvider))
        return QStringLiteral("Automatic");
    // Bytes that are no configuration name nothing here, though decoding them alone is an error.
    const auto configuration
        = store::configurationDictionary(value::data(choice->value(key("Configuration"))).value_or(QByteArray()));
    return configuration ? store::describedModuleName(*configuration) : std::nullopt;
}

std::optional<QString> ScreensaverManager::currentSpaceOfDisplay(const QString& displayUUID) const
{
    const QVariantList monitors = value::list(getNativeSpaceTree().value(key("monitors"))).value_or(QVariantList {});
    // With no monitors at all, what the store says for "no particular space" is what applies.
    if (monitors.isEmpty())
        return QString();
    for (const QVariant& m : monitors) {
        const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
        if (value::string(monitor.value(key("uuid"))).value_or(QString()).compare(displayUUID, Qt::CaseInsensitive)
            != 0)
            continue;
        for (const QVariant& s : value::list(monitor.value(key("spaces"))).value_or(QVariantList {})) {
            const QVariantMap space = value::map(s).value_or(QVariantMap {});
            if (value::boolean(space.value(key("is_current"))).value_or(false))
                return value::string(space.value(key("uuid"))).value_or(QString());
        }
    }
    return std::nullopt;
}

std::optional<QString> ScreensaverManager::legacyModuleName() const
{
    for (const auto& suite :
        { env_->preferences->domain(store::kLegacyDomain, true), env_->preferences->suite(store::kLegacyDomain) }) {
        if (!suite)
            continue;
        if (const auto name = value::string(
                value::map(suite->value(key("moduleDict"))).value_or(QVariantMap {}).value(key("moduleName"))))
            return name;
    }
    return std::nullopt;
}

std::optional<ScreensaverInfo> ScreensaverManager::getActiveScreensaver(std::optional<ScreenIdentifier> screen) const
{
    if (!env_->paths->isModernStore()) {
        const auto name = legacyModuleName();
        if (!name)
            return std::nullopt;
        std::optional<QString> path;
        if (const auto domain = env_->preferences->domain(store::kLegacyDomain, true))
            path = value::string(
                value::map(domain->value(key("moduleDict"))).value_or(QVariantMap {}).value(key("path")));
        return ScreensaverInfo { *name, *name, path, std::nullopt };
    }
    std::optional<platform::ScreenDescription> target;
    if (screen) {
        for (const auto& s : env_->spaces->screens())
            if (s.displayNumber == screen->displayID)
                target = s;
    } else {
        target = env_->spaces->mainScreen();
    }
    if (!target)
        return std::nullopt;
    const auto spaceUUID = currentSpaceOfDisplay(target->uuid);
    if (!spaceUUID)
        return std::nullopt;
    const auto name = activeModuleName(*spaceUUID);
    if (!name)
        return std::nullopt;
    return ScreensaverInfo { *name, *name, std::nullopt, ScreenIdentifier { target->displayNumber } };
}

QStringList ScreensaverManager::getActiveScreensavers() const
{
    if (!env_->paths->isModernStore()) {
        const auto name = legacyModuleName();
        return name ? QStringList { *name } : QStringList {};
    }
    // One read of the store answers for every space.
    const auto store = env_->plist->tryRead(env_->paths->wallpaperIndexPath());
    if (!store)
        return {};
    QStringList names;
    const QList<DisplayInfo> displayList = env_->spaces->displays();
    const QVariantList monitors = value::list(getNativeSpaceTree().value(key("monitors"))).value_or(QVariantList {});
    for (const QVariant& m : monitors)
        for (const QVariant& s :
            value::list(value::map(m).value_or(QVariantMap {}).value(key("spaces"))).value_or(QVariantList {}))
            if (const auto name = moduleNameIn(
                    *store, value::map(s).value_or(QVariantMap {}).value(key("uuid")).toString(), displayList))
                names.append(*name);
    // With no monitors at all, what the store says for "no particular space" is what applies.
    if (monitors.isEmpty())
        if (const auto name = moduleNameIn(*store, QString(), displayList))
            names.append(*name);
    names.removeDuplicates();
    names.sort();
    return names;
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

bool ScreensaverManager::verifyScreensaverApplied(const QString& expected, const ScreensaverTarget& target) const
{
    switch (target.kind) {
    case ScreensaverTarget::Kind::display: {
        const auto monitor = monitorWithNumber(target.displayNumber);
        if (!monitor)
            return false;
        for (const QVariant& s : value::list(monitor->value(key("spaces"))).value_or(QVariantList {}))
            if (activeModuleName(value::map(s).value_or(QVariantMap {}).value(key("uuid")).toString()) == expected)
                return true;
        return false;
    }
    case ScreensaverTarget::Kind::space:
        return activeModuleName(target.spaceUUID) == expected;
    case ScreensaverTarget::Kind::displaySpace: {
        const auto monitor = monitorWithNumber(target.displayNumber);
        if (!monitor)
            return false;
        for (const QVariant& s : value::list(monitor->value(key("spaces"))).value_or(QVariantList {})) {
            const QVariantMap space = value::map(s).value_or(QVariantMap {});
            if (value::integer(space.value(key("space_number"))) == target.spaceNumber)
                return activeModuleName(space.value(key("uuid")).toString()) == expected;
        }
        return false;
    }
    case ScreensaverTarget::Kind::everywhere:
        return getActiveScreensavers().contains(expected);
    }
    return false;
}

QCoro::Task<> ScreensaverManager::writeWithAutoRollback(QVariantMap store, QString path, WriteOptions options,
    std::optional<QString> expectedModule, std::optional<ScreensaverTarget> target, double settleSeconds)
{
    GuardedWrite write(env_, [this](const QString& expected, const ScreensaverTarget& where) {
        return verifyScreensaverApplied(expected, where);
    });
    co_await write.run(
        std::move(store), std::move(path), options, std::move(expectedModule), std::move(target), settleSeconds);
}

// ---- spaces

QList<SpaceInfo> ScreensaverManager::getAllSpaces(bool includeHistorical) const
{
    const QVariantMap spaces = value::mapOrEmpty(
        env_->plist->tryRead(env_->paths->wallpaperIndexPath()).value_or(QVariantMap {}), key("Spaces"));
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

std::optional<qint64> ScreensaverManager::getIdleTime() const
{
    const auto domain = env_->preferences->domain(store::kLegacyDomain, true);
    return domain ? value::integer(domain->value(key("idleTime"))) : std::nullopt;
}

} // namespace quorvel::kit
