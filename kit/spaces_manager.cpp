#include "kit/spaces_manager.h"

#include "kit/value_access.h"
#include "platform/preferences.h"

namespace quorvel::kit {

namespace {

QVariant readPreference(
    platform::Preferences& preferences, const QString& name, const QString& key, bool hostOnly, bool suiteFirst)
{
    if (suiteFirst) {
        if (auto suite = preferences.suite(name)) {
            const QVariant v = suite->value(key);
            if (v.isValid())
                return v;
        }
    }
    if (auto domain = preferences.domain(name, hostOnly))
        return domain->value(key);
    return {};
}

// Space ids come as integers, sometimes as reals; compare them as whole numbers.
std::optional<qint64> wholeNumber(const QVariant& v)
{
    if (const auto n = value::number(v))
        return qint64(*n);
    return std::nullopt;
}

} // namespace

SpacesManager::SpacesManager(std::shared_ptr<platform::Preferences> preferences)
    : preferences_(std::move(preferences))
{
}

QVariantMap SpacesManager::displayConfiguration() const
{
    const QVariant v = readPreference(
        *preferences_, QStringLiteral("com.apple.spaces"), QStringLiteral("SpacesDisplayConfiguration"), false, true);
    return value::map(v).value_or(QVariantMap {});
}

QList<QVariantMap> SpacesManager::monitors() const
{
    const QVariantMap management = value::mapOrEmpty(displayConfiguration(), QStringLiteral("Management Data"));
    QList<QVariantMap> result;
    for (const QVariant& m : value::list(management.value(QStringLiteral("Monitors"))).value_or(QVariantList {}))
        if (const auto monitor = value::map(m))
            result.append(*monitor);
    return result;
}

QList<MissionControlSpace> SpacesManager::getMissionControlSpaces() const
{
    QList<MissionControlSpace> spaces;
    for (const QVariantMap& monitor : monitors()) {
        const QString display
            = value::string(monitor.value(QStringLiteral("Display Identifier"))).value_or(QStringLiteral("Unknown"));
        const QVariantMap current = value::mapOrEmpty(monitor, QStringLiteral("Current Space"));
        const auto currentUUID = value::string(current.value(QStringLiteral("uuid")));
        for (const QVariant& s : value::list(monitor.value(QStringLiteral("Spaces"))).value_or(QVariantList {})) {
            const auto space = value::map(s);
            if (!space)
                continue;
            const QString uuid = value::string(space->value(QStringLiteral("uuid"))).value_or(QString());
            spaces.append({ wholeNumber(space->value(QStringLiteral("ManagedSpaceID"))).value_or(0), uuid, display,
                currentUUID && *currentUUID == uuid, false, false });
        }
        if (const auto collapsed = value::map(monitor.value(QStringLiteral("Collapsed Space")))) {
            spaces.append({ wholeNumber(collapsed->value(QStringLiteral("ManagedSpaceID"))).value_or(0),
                value::string(collapsed->value(QStringLiteral("uuid"))).value_or(QString()), display, false, true,
                value::boolean(collapsed->value(QStringLiteral("AutoCreated"))).value_or(false) });
        }
    }
    return spaces;
}

WindowServerDisplayManager::WindowServerDisplayManager(std::shared_ptr<platform::Preferences> preferences)
    : preferences_(std::move(preferences))
{
}

std::optional<QVariantMap> WindowServerDisplayManager::displaySets() const
{
    return value::map(readPreference(
        *preferences_, QStringLiteral("com.apple.windowserver.displays"), QStringLiteral("DisplaySets"), true, false));
}

QList<WindowServerDisplayConfig> WindowServerDisplayManager::displayConfigs() const
{
    const auto sets = displaySets();
    if (!sets)
        return {};
    const QVariantList configs = value::list(sets->value(QStringLiteral("Configs"))).value_or(QVariantList {});
    std::optional<qint64> newest;
    for (const QVariant& c : configs)
        if (const auto version
            = value::integer(value::map(c).value_or(QVariantMap {}).value(QStringLiteral("ConfigVersion"))))
            newest = std::max(newest.value_or(*version), *version);
    QList<WindowServerDisplayConfig> result;
    for (const QVariant& c : configs) {
        const auto config = value::map(c);
        if (!config)
            continue;
        const auto version = value::integer(config->value(QStringLiteral("ConfigVersion")));
        for (const QVariant& d :
            value::list(config->value(QStringLiteral("DisplayConfig"))).value_or(QVariantList {})) {
            const auto display = value::map(d);
            if (!display)
                continue;
            const auto uuid = value::string(display->value(QStringLiteral("UUID")));
            if (!uuid)
                continue;
            const QVariantMap info = value::mapOrEmpty(*display, QStringLiteral("CurrentInfo"));
            const QSizeF resolution(value::number(info.value(QStringLiteral("Wide"))).value_or(0),
                value::number(info.value(QStringLiteral("High"))).value_or(0));
            result.append({ *uuid, resolution, qint64(value::number(info.value(QStringLiteral("Hz"))).value_or(0)),
                qint64(value::number(info.value(QStringLiteral("Scale"))).value_or(0)), version.value_or(0),
                version && newest && *version == *newest });
        }
    }
    return result;
}

QSet<QString> WindowServerDisplayManager::getAllKnownDisplayUUIDs() const
{
    QSet<QString> uuids;
    const auto sets = displaySets();
    if (!sets)
        return uuids;
    for (const QVariant& entry : value::list(sets->value(QStringLiteral("Underscan"))).value_or(QVariantList {})) {
        if (const auto uuid = value::string(entry))
            uuids.insert(*uuid);
        else if (const auto uuidInMap
            = value::string(value::map(entry).value_or(QVariantMap {}).value(QStringLiteral("UUID"))))
            uuids.insert(*uuidInMap);
    }
    return uuids;
}

} // namespace quorvel::kit
