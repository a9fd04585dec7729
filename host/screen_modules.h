#pragma once
// The full-screen saver when no bundle is given: each screen plays the module its own choice
// selects. Each distinct bundle is loaded once and gets one principal (one session) for all the
// screens that chose it; a screen whose module cannot be found or loaded is reported and covered
// black while the others play.

#include "host/module_loader.h"
#include "host/module_locator.h"
#include "host/saver_session.h"

#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace quorvel::saver {

class ScreenModules {
public:
    using Loader = std::function<LoadResult(const QString& bundlePath)>;
    using Reporter = std::function<void(const QString& message)>;

    ScreenModules(const ModuleLocator& locator, Stage& stage, Reporter report, Loader load = loadSaverModule);
    ~ScreenModules();
    ScreenModules(const ScreenModules&) = delete;
    ScreenModules& operator=(const ScreenModules&) = delete;

    // Starts a view on each target with its module, or a black cover. Returns the number of
    // module views running.
    int start(const QList<SaverTarget>& targets);
    // Stops every session (each in its own contract order) and takes the covers down. Idempotent.
    void stop();
    // One screen was unplugged: its view or cover goes, the rest play on.
    void stopScreen(const QString& screenName);
    bool isStopped() const { return stopped_; }
    int runningCount() const;
    // Why no module view runs, when none does: the first screen's reason.
    QString firstFailure() const { return firstFailure_; }

private:
    struct Module {
        std::unique_ptr<LoadedModule> loaded; // declared first: outlives its session
        std::unique_ptr<SaverSession> session;
    };

    // The session of the module at `bundlePath`, loading it on first use; null (reason in `error`)
    // when it cannot be loaded or made no principal.
    SaverSession* sessionFor(const QString& bundlePath, QString* error);
    void cover(const SaverTarget& target, const QString& reason);

    const ModuleLocator& locator_;
    Stage& stage_;
    Reporter report_;
    Loader load_;
    std::map<QString, Module> modules_; // by absolute bundle path
    std::map<QString, QString> unloadable_; // bundle path -> why, so a broken bundle is tried once
    std::vector<std::pair<QString, std::unique_ptr<QWidget>>> covers_; // screen name, black widget
    QString firstFailure_;
    bool stopped_ = false;
};

} // namespace quorvel::saver
