#pragma once
// What the kit's managers share: the one PlistManager, the paths, the live spaces, the registry,
// the platform services (injected; tests pass doubles) and where the kit's printed lines go.

#include "kit/plist_manager.h"
#include "kit/pluginkit_manager.h"
#include "kit/spaces_configuration.h"
#include "kit/store_lock.h"
#include "kit/system_paths.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace quorvel::platform {
class Preferences;
class ProcessRunner;
class Sleeper;
class Clock;
class OperatingSystem;
class Screens;
}

namespace quorvel::kit {

struct KitEnvironment {
    std::shared_ptr<PlistManager> plist;
    std::shared_ptr<SystemPaths> paths;
    std::shared_ptr<SpacesConfiguration> spaces;
    std::shared_ptr<PluginkitManager> pluginkit;
    std::shared_ptr<platform::Preferences> preferences;
    std::shared_ptr<platform::ProcessRunner> runner;
    std::shared_ptr<platform::Sleeper> sleeper;
    std::shared_ptr<platform::Clock> clock;
    QString killallPath;
    // Receives each printed line without its newline; standard output by default.
    std::function<void(const QString&)> print;
    std::shared_ptr<StoreWriteQueue> writeQueue = std::make_shared<StoreWriteQueue>();
    // How long an edit waits for another program's lock on the store, and how often it looks.
    std::chrono::milliseconds storeLockTimeout { 30000 };
    std::chrono::milliseconds storeLockPoll { 50 };

    // The real services of this platform, the store under `home` (the user's home when empty).
    static std::shared_ptr<KitEnvironment> system(std::shared_ptr<platform::Preferences> preferences,
        std::shared_ptr<platform::Screens> screens, QString home = {});
    static std::function<void(const QString&)> standardOutput();
};

} // namespace quorvel::kit
