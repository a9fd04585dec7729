// The kit wired to this platform's real services (kept apart so tests never link them).
#include "kit/kit_environment.h"

#include "platform/clock.h"
#include "platform/locations.h"
#include "platform/operating_system.h"
#include "platform/process_runner.h"
#include "platform/registry_tool.h"

namespace quorvel::kit {

std::shared_ptr<KitEnvironment> KitEnvironment::system(
    std::shared_ptr<platform::Preferences> preferences, std::shared_ptr<platform::Screens> screens, QString home)
{
    auto env = std::make_shared<KitEnvironment>();
    auto runner = std::make_shared<platform::QProcessRunner>();
    env->plist = std::make_shared<PlistManager>();
    auto system = std::make_shared<platform::LinuxOperatingSystem>();
    env->paths = std::make_shared<SystemPaths>(system, home);
    env->spaces = std::make_shared<SpacesConfiguration>(preferences, std::move(screens));
    // Found as the app finds it; when it is nowhere, each query reports it missing.
    env->pluginkit = std::make_shared<PluginkitManager>(
        runner, platform::locateRegistryTool(platform::registryToolSearch(*system)).value_or(QString()));
    env->preferences = std::move(preferences);
    env->runner = runner;
    env->sleeper = std::make_shared<platform::TimerSleeper>();
    env->clock = std::make_shared<platform::SystemClock>();
    env->killallPath = platform::killallToolPath();
    env->print = standardOutput();
    return env;
}

} // namespace quorvel::kit
