#include "kit/module_resolution.h"

#include "kit/errors.h"
#include "kit/screensaver_store.h"
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
        const auto lock = StoreLock::acquireBlocking(env_, path);
        // The application may have made the store while this waited for the lock.
        if (QFileInfo::exists(path))
            return true;
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
    const auto store = env_->plist->tryRead(path);
    if (!store)
        co_return ModuleResolutionError { ModuleResolutionError::Kind::storeUnreadable, path };
    // The same choice the kit reports for this screen's current space.
    const auto space = manager_.currentSpaceOfDisplay(screenUUID);
    const auto choice = space ? manager_.screensaverChoiceIn(*store, *space, env_->spaces->displays()) : std::nullopt;
    if (!choice)
        co_return ModuleResolutionError { ModuleResolutionError::Kind::nothingSelected, {} };
    const auto configuration = store::configurationDictionary(
        value::data(choice->value(QStringLiteral("Configuration"))).value_or(QByteArray()));
    const auto name = configuration && value::isMap(configuration->value(QStringLiteral("module")))
        ? store::describedModuleName(*configuration)
        : std::nullopt;
    if (!name)
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
