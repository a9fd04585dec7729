#include "kit/module_resolution.h"

#include "kit/errors.h"
#include "kit/plist_codec.h"
#include "kit/value_access.h"
#include "platform/screens.h"

#include <QFileInfo>

namespace quorvel::kit {

QString ModuleResolutionError::message() const
{
    switch (kind) {
    case Kind::storeUnreadable:
        return QStringLiteral("the wallpaper store %1 cannot be read").arg(detail);
    case Kind::nothingSelected:
        return QStringLiteral("no screensaver module is selected in the wallpaper store");
    case Kind::notAModule:
        return QStringLiteral("the selected screensaver choice names no module");
    case Kind::moduleNotInstalled:
        return QStringLiteral("the selected screensaver \"%1\" is not installed").arg(detail);
    case Kind::noScreen:
        return QStringLiteral("no screen is connected");
    }
    return {};
}

ModuleResolver::ModuleResolver(std::shared_ptr<KitEnvironment> env)
    : manager_(env)
    , env_(std::move(env))
{
}

bool ModuleResolver::ensureStore() const
{
    const QString path = env_->paths->wallpaperIndexPath();
    if (QFileInfo::exists(path))
        return true;
    QVariantMap spaces;
    for (const MissionControlSpace& space : env_->spaces->missionControlSpaces())
        if (!space.uuid.isEmpty())
            spaces.insert(space.uuid, QVariantMap {});
    const QVariantMap individual { { QStringLiteral("Type"), QStringLiteral("individual") } };
    try {
        env_->plist->write({ { QStringLiteral("AllSpacesAndDisplays"), individual },
                               { QStringLiteral("SystemDefault"), individual }, { QStringLiteral("Spaces"), spaces } },
            path);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

QCoro::Task<ModuleResolution> ModuleResolver::resolve(QString screenUUID) const
{
    const QString path = env_->paths->wallpaperIndexPath();
    QVariantMap store;
    try {
        store = env_->plist->read(path);
    } catch (const std::exception&) {
        co_return ModuleResolutionError { ModuleResolutionError::Kind::storeUnreadable, path };
    }
    QString currentSpace;
    for (const QVariant& m :
        value::list(manager_.getNativeSpaceTree().value(QStringLiteral("monitors"))).value_or(QVariantList {})) {
        const QVariantMap monitor = value::map(m).value_or(QVariantMap {});
        if (monitor.value(QStringLiteral("uuid")).toString().compare(screenUUID, Qt::CaseInsensitive) != 0)
            continue;
        for (const QVariant& s : value::list(monitor.value(QStringLiteral("spaces"))).value_or(QVariantList {}))
            if (value::map(s).value_or(QVariantMap {}).value(QStringLiteral("is_current")).toBool())
                currentSpace = value::map(s)->value(QStringLiteral("uuid")).toString();
    }
    const QVariantMap spaces = value::mapOrEmpty(store, QStringLiteral("Spaces"));
    const QVariantMap entry = value::map(spaces.value(currentSpace)).value_or(value::mapOrEmpty(spaces, QString()));
    const QList<QVariantMap> candidates = {
        value::mapOrEmpty(value::mapOrEmpty(entry, QStringLiteral("Displays")), screenUUID),
        value::mapOrEmpty(entry, QStringLiteral("Default")),
        value::mapOrEmpty(store, QStringLiteral("AllSpacesAndDisplays")),
        value::mapOrEmpty(store, QStringLiteral("SystemDefault")),
    };
    std::optional<QVariantMap> choice;
    for (const QVariantMap& slot : candidates) {
        const auto idle = value::map(slot.value(QStringLiteral("Idle")));
        if (!idle)
            continue;
        const QVariantList choices
            = value::list(value::mapOrEmpty(*idle, QStringLiteral("Content")).value(QStringLiteral("Choices")))
                  .value_or(QVariantList {});
        if ((choice = choices.isEmpty() ? std::nullopt : value::map(choices.first())))
            break;
    }
    if (!choice)
        co_return ModuleResolutionError { ModuleResolutionError::Kind::nothingSelected, {} };
    std::optional<QString> name;
    try {
        name = manager_.decodeScreensaverConfiguration(
            value::data(choice->value(QStringLiteral("Configuration"))).value_or(QByteArray()));
    } catch (const std::exception&) {
    }
    if (!name
        || !value::isMap(parsePlist(choice->value(QStringLiteral("Configuration")).toByteArray())
                             .value.value_or(QVariant())
                             .toMap()
                             .value(QStringLiteral("module"))))
        co_return ModuleResolutionError { ModuleResolutionError::Kind::notAModule, {} };
    const auto bundle = co_await manager_.findModuleURL(*name);
    if (!bundle)
        co_return ModuleResolutionError { ModuleResolutionError::Kind::moduleNotInstalled, *name };
    co_return *bundle;
}

QCoro::Task<ModuleResolution> ModuleResolver::resolveMain() const
{
    const auto main = env_->spaces->mainScreen();
    if (!main)
        co_return ModuleResolutionError { ModuleResolutionError::Kind::noScreen, {} };
    co_return co_await resolve(main->uuid);
}

} // namespace quorvel::kit
