// The manager wired to this platform's real services (kept apart so tests never need them).
#include "app/install/plugin_manager.h"
#include "app/install/registry_tool.h"

#include "kit/kit_environment.h"
#include "platform/process_runner.h"

namespace quorvel::app {

PluginManagerServices systemPluginManagerServices(const platform::OperatingSystem& system,
    std::shared_ptr<platform::Preferences> preferences, std::shared_ptr<platform::Screens> screens, QString home)
{
    auto runner = std::make_shared<platform::QProcessRunner>();
    const std::optional<QString> tool = locateRegistryTool(registryToolSearch(system));
    auto kit = kit::KitEnvironment::system(std::move(preferences), std::move(screens), std::move(home));
    if (tool)
        kit->pluginkit = std::make_shared<kit::PluginkitManager>(kit->runner, *tool);
    return PluginManagerServices { std::move(runner), tool, system, std::move(kit) };
}

} // namespace quorvel::app
