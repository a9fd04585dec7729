#include "host/screen_modules.h"

#include "platform/log.h"

#include <QFileInfo>
#include <QPalette>
#include <QWidget>

namespace quorvel::saver {

ScreenModules::ScreenModules(const ModuleLocator& locator, Stage& stage, Reporter report, Loader load)
    : locator_(locator)
    , stage_(stage)
    , report_(std::move(report))
    , load_(std::move(load))
{
}

ScreenModules::~ScreenModules()
{
    stop();
}

int ScreenModules::start(const QList<SaverTarget>& targets)
{
    if (stopped_)
        return runningCount();
    for (const SaverTarget& target : targets) {
        Located located = locator_.moduleForScreen(target.frame);
        QString error;
        if (const auto* failure = std::get_if<LocateError>(&located)) {
            error = failure->message;
        } else if (SaverSession* session = sessionFor(std::get<QString>(located), &error)) {
            if (session->start({ target }) > 0)
                continue;
            error = QStringLiteral("the module could not show a view");
        }
        cover(target, error);
    }
    return runningCount();
}

SaverSession* ScreenModules::sessionFor(const QString& bundlePath, QString* error)
{
    const QString key = QFileInfo(bundlePath).absoluteFilePath();
    if (auto it = modules_.find(key); it != modules_.end())
        return it->second.session.get();
    if (auto it = unloadable_.find(key); it != unloadable_.end()) {
        *error = it->second;
        return nullptr;
    }
    LoadResult result = load_(bundlePath);
    if (auto* failure = std::get_if<LoadError>(&result)) {
        *error = unloadable_[key] = failure->message();
        return nullptr;
    }
    Module module;
    module.loaded = std::move(std::get<std::unique_ptr<LoadedModule>>(result));
    auto principal = makeModulePrincipal(module.loaded->module(), error);
    if (!principal) {
        unloadable_[key] = *error;
        return nullptr;
    }
    platform::log::info(platform::LogCategory::Host, QStringLiteral("loaded %1").arg(key));
    module.session = std::make_unique<SaverSession>(std::move(principal), stage_);
    return modules_.emplace(key, std::move(module)).first->second.session.get();
}

void ScreenModules::cover(const SaverTarget& target, const QString& reason)
{
    report_(QStringLiteral("screen %1: %2").arg(target.screenName, reason));
    if (firstFailure_.isEmpty())
        firstFailure_ = reason;
    // A screen left uncovered would show the desktop under a running screensaver.
    auto black = std::make_unique<QWidget>();
    black->setObjectName(QStringLiteral("cover"));
    black->setAutoFillBackground(true);
    QPalette palette = black->palette();
    palette.setColor(QPalette::Window, Qt::black);
    black->setPalette(palette);
    if (stage_.present(black.get(), target))
        covers_.emplace_back(target.screenName, std::move(black));
}

void ScreenModules::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    for (auto& [path, module] : modules_)
        module.session->stop();
    for (auto& [screen, black] : covers_)
        stage_.withdraw(black.get());
    covers_.clear();
}

void ScreenModules::stopScreen(const QString& screenName)
{
    for (auto& [path, module] : modules_)
        module.session->stopScreen(screenName);
    for (auto it = covers_.begin(); it != covers_.end();) {
        if (it->first == screenName) {
            stage_.withdraw(it->second.get());
            it = covers_.erase(it);
        } else {
            ++it;
        }
    }
}

int ScreenModules::runningCount() const
{
    int running = 0;
    for (const auto& [path, module] : modules_)
        running += module.session->runningCount();
    return running;
}

} // namespace quorvel::saver
