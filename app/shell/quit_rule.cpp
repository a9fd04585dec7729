#include "app/shell/quit_rule.h"

#include "app/client/generation_store.h"
#include "app/shell/app_location_manager.h"
#include "app/shell/window_directory.h"

#include <QGuiApplication>
#include <QWindow>

namespace quorvel::app {

QuitRule::QuitRule(GenerationStore& generation, AppLocationManager& location, WindowDirectory& windows,
    std::function<void()> quit, std::function<bool()> hasOpenWindow, QObject* parent)
    : QObject(parent)
    , generation_(generation)
    , location_(location)
    , windows_(windows)
    , quit_(std::move(quit))
    , hasOpenWindow_(hasOpenWindow ? std::move(hasOpenWindow) : std::function<bool()>(&QuitRule::anyWindowShown))
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::lastWindowClosed, this, &QuitRule::evaluate);
    // The store ends a run before it publishes the clip: the decision waits until both are known.
    connect(&generation_, &GenerationStore::isRunningChanged, this, &QuitRule::evaluateLater);
    connect(&generation_, &GenerationStore::clipURLChanged, this, &QuitRule::clipChanged);
    connect(&location_, &AppLocationManager::isMovingChanged, this, &QuitRule::evaluateLater);
}

bool QuitRule::busy() const
{
    return generation_.isRunning() || location_.isMoving();
}

bool QuitRule::anyWindowShown()
{
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        const Qt::WindowType type = window->type();
        if (window->isVisible() && !window->transientParent() && (type == Qt::Window || type == Qt::Dialog))
            return true;
    }
    return false;
}

void QuitRule::evaluate()
{
    if (!busy() && !hasOpenWindow_() && quit_)
        quit_();
}

void QuitRule::evaluateLater()
{
    QMetaObject::invokeMethod(this, &QuitRule::evaluate, Qt::QueuedConnection);
}

void QuitRule::clipChanged()
{
    // A main window's content opens the preview itself; without one the clip would go unseen.
    if (generation_.clipURL() && windows_.mainWindowCount() == 0)
        windows_.openWindow(windowIds::preview);
}

} // namespace quorvel::app
