#pragma once
// What the kit's managers share: the one PlistManager, the paths, the live spaces, the registry,
// the platform services (injected; tests pass doubles) and where the kit's printed lines go.

#include "kit/plist_manager.h"
#include "kit/pluginkit_manager.h"
#include "kit/spaces_configuration.h"
#include "kit/system_paths.h"

#include <QHash>
#include <QString>

#include <coroutine>
#include <deque>
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

// Serialises the set operations on one store path: a second writer waits until the first has
// written, verified and (if need be) rolled back, so neither loses the other's original state.
class StoreWriteQueue {
public:
    struct Awaiter {
        StoreWriteQueue* queue;
        QString path;
        bool await_ready();
        void await_suspend(std::coroutine_handle<> handle);
        void await_resume() { }
    };
    // co_await lock(path); then unlock(path) exactly once (StoreWriteGuard does it).
    Awaiter lock(const QString& path) { return { this, path }; }
    void unlock(const QString& path);

private:
    struct State {
        bool busy = false;
        std::deque<std::coroutine_handle<>> waiters;
    };
    QHash<QString, State> states_;
};

class StoreWriteGuard {
public:
    StoreWriteGuard(StoreWriteQueue& queue, QString path)
        : queue_(queue)
        , path_(std::move(path))
    {
    }
    ~StoreWriteGuard() { queue_.unlock(path_); }
    StoreWriteGuard(const StoreWriteGuard&) = delete;
    StoreWriteGuard& operator=(const StoreWriteGuard&) = delete;

private:
    StoreWriteQueue& queue_;
    QString path_;
};

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

    // The real services of this platform, the store under `home` (the user's home when empty).
    static std::shared_ptr<KitEnvironment> system(std::shared_ptr<platform::Preferences> preferences,
        std::shared_ptr<platform::Screens> screens, QString home = {});
    static std::function<void(const QString&)> standardOutput();
};

} // namespace quorvel::kit
