#include "kit/spaces_configuration.h"

#include "kit/value_access.h"
#include "platform/screens.h"

namespace quorvel::kit {

SpacesConfiguration::SpacesConfiguration(
    std::shared_ptr<platform::Preferences> preferences, std::shared_ptr<platform::Screens> screens)
    : spaces_(preferences)
    , windowServer_(preferences)
    , screens_(std::move(screens))
{
}

QList<platform::ScreenDescription> SpacesConfiguration::screens() const
{
    return screens_ ? screens_->screens() : QList<platform::ScreenDescription> {};
}

std::optional<platform::ScreenDescription> SpacesConfiguration::mainScreen() const
{
    const auto all = screens();
    for (const auto& screen : all)
        if (screen.isMain)
            return screen;
    if (!all.isEmpty())
        return all.first();
    return std::nullopt;
}

std::optional<QString> SpacesConfiguration::displayUUID(quint32 displayNumber) const
{
    for (const auto& screen : screens())
        if (screen.displayNumber == displayNumber)
            return screen.uuid;
    return std::nullopt;
}

QVariantMap SpacesConfiguration::nativeSpaceTree() const
{
    const auto connected = screens();
    const auto main = mainScreen();
    QVariantList monitors;
    qint64 spaceNumber = 0;
    for (const QVariantMap& monitor : spaces_.monitors()) {
        const QString name
            = value::string(monitor.value(QStringLiteral("Display Identifier"))).value_or(QStringLiteral("Unknown"));
        QString uuid = name;
        if (name == QStringLiteral("Main") && main)
            uuid = main->uuid;
        qint64 displayNumber = 0;
        for (qsizetype i = 0; i < connected.size(); ++i)
            if (connected[i].uuid.compare(uuid, Qt::CaseInsensitive) == 0) {
                displayNumber = i + 1;
                break;
            }
        const QVariantMap current = value::mapOrEmpty(monitor, QStringLiteral("Current Space"));
        const auto currentId = value::number(current.value(QStringLiteral("id64")));
        const auto currentUUID = value::string(current.value(QStringLiteral("uuid")));
        QVariantList spaces;
        for (const QVariant& s : value::list(monitor.value(QStringLiteral("Spaces"))).value_or(QVariantList {})) {
            const auto space = value::map(s);
            if (!space)
                continue;
            const auto id = value::number(space->value(QStringLiteral("id64")));
            const QString spaceUUID = value::string(space->value(QStringLiteral("uuid"))).value_or(QString());
            // The current space is named by its number; documents without numbers name it by UUID.
            const bool isCurrent
                = (currentId && id) ? qint64(*currentId) == qint64(*id) : (currentUUID && *currentUUID == spaceUUID);
            spaces.append(QVariantMap {
                { QStringLiteral("space_number"), ++spaceNumber },
                { QStringLiteral("id"), qint64(id.value_or(0)) },
                { QStringLiteral("managed_id"),
                    qint64(value::number(space->value(QStringLiteral("ManagedSpaceID"))).value_or(0)) },
                { QStringLiteral("uuid"), spaceUUID },
                { QStringLiteral("is_current"), isCurrent },
            });
        }
        monitors.append(QVariantMap { { QStringLiteral("name"), name }, { QStringLiteral("uuid"), uuid },
            { QStringLiteral("display_number"), displayNumber }, { QStringLiteral("spaces"), spaces } });
    }
    return { { QStringLiteral("monitors"), monitors } };
}

QList<DisplayInfo> SpacesConfiguration::displays() const
{
    QList<DisplayInfo> result;
    QSet<QString> seen;
    for (const auto& screen : screens()) {
        DisplayInfo info;
        info.uuid = screen.uuid;
        info.displayID = screen.displayNumber;
        info.frame = screen.frame;
        info.isMain = screen.isMain;
        info.isConnected = true;
        info.displayName = screen.localizedName;
        result.append(info);
        seen.insert(screen.uuid.toUpper());
    }
    // Displays seen before but not connected now: the newest configuration that names each.
    QList<DisplayInfo> remembered;
    for (const WindowServerDisplayConfig& config : windowServer_.displayConfigs()) {
        if (seen.contains(config.uuid.toUpper()))
            continue;
        auto it = std::find_if(
            remembered.begin(), remembered.end(), [&](const DisplayInfo& d) { return d.uuid == config.uuid; });
        if (it != remembered.end() && it->configVersion.value_or(0) >= config.configVersion)
            continue;
        DisplayInfo info;
        info.uuid = config.uuid;
        info.resolution = config.resolution;
        info.refreshRate = config.refreshRate;
        info.scale = config.scale;
        info.configVersion = config.configVersion;
        if (it != remembered.end())
            *it = info;
        else
            remembered.append(info);
    }
    result.append(remembered);
    return result;
}

} // namespace quorvel::kit
