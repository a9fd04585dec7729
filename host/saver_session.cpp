#include "host/saver_session.h"

#include "platform/log.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <exception>

namespace quorvel::saver {
namespace {

using platform::LogCategory;

QString describe(const SaverTarget& target)
{
    return QStringLiteral("%1 %2x%3+%4+%5")
        .arg(target.isPreview ? QStringLiteral("preview") : QStringLiteral("view"))
        .arg(target.frame.width())
        .arg(target.frame.height())
        .arg(target.frame.x())
        .arg(target.frame.y());
}

// Where a view's window ended up, " on screen K of N (NAME WxH+X+Y)", or nothing when it has no
// window of its own. Names and geometries need not tell screens apart; the position does.
QString whereShown(const QWidget* view)
{
    const QWindow* window = view->windowHandle();
    QScreen* screen = window && !view->parentWidget() ? window->screen() : nullptr;
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (!screen || !screens.contains(screen))
        return {};
    const QRect geometry = screen->geometry();
    return QStringLiteral(" on screen %1 of %2 (%3 %4x%5+%6+%7)")
        .arg(screens.indexOf(screen) + 1)
        .arg(screens.size())
        .arg(screen->name())
        .arg(geometry.width())
        .arg(geometry.height())
        .arg(geometry.x())
        .arg(geometry.y());
}

// Runs one call into the module; a module that throws loses that call, never the host.
template <typename F> bool guarded(const QString& what, F&& call)
{
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        platform::log::error(LogCategory::Host, QStringLiteral("%1 failed: %2").arg(what, QString::fromUtf8(e.what())));
    } catch (...) {
        platform::log::error(LogCategory::Host, QStringLiteral("%1 failed").arg(what));
    }
    return false;
}

} // namespace

SaverSession::SaverSession(std::unique_ptr<SaverPrincipal> principal, Stage& stage)
    : principal_(std::move(principal))
    , stage_(stage)
{
}

SaverSession::~SaverSession()
{
    stop();
}

int SaverSession::start(const QList<SaverTarget>& targets)
{
    if (stopped_ || !principal_)
        return runningCount();
    for (const SaverTarget& target : targets)
        startOne(target);
    return runningCount();
}

bool SaverSession::startOne(const SaverTarget& target)
{
    const QString name = describe(target);
    RunningView running;
    running.target = target;
    if (!guarded(name + QStringLiteral(": making the view controller"),
            [&] { running.controller = principal_->makeViewController(); })
        || !running.controller) {
        platform::log::error(LogCategory::Host, name + QStringLiteral(": the module made no view controller"));
        return false;
    }
    if (!guarded(name + QStringLiteral(": loading the view"),
            [&] { running.view = running.controller->loadView(target.frame, target.isPreview); })
        || !running.view) {
        platform::log::error(LogCategory::Host, name + QStringLiteral(": the module made no view"));
        guarded(name + QStringLiteral(": destroying the view controller"), [&] { running.controller.reset(); });
        return false;
    }
    if (!stage_.present(running.view, target)) {
        platform::log::error(LogCategory::Host, name + QStringLiteral(": could not be shown"));
        guarded(name + QStringLiteral(": destroying the view controller"), [&] { running.controller.reset(); });
        return false;
    }
    // A view that cannot start stays on the display, black; it is still stopped and torn down.
    guarded(name + QStringLiteral(": startAnimation"), [&] { running.controller->startAnimation(); });
    platform::log::info(LogCategory::Host, name + QStringLiteral(" started") + whereShown(running.view));
    views_.push_back(std::move(running));
    return true;
}

void SaverSession::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    for (RunningView& running : views_)
        guarded(
            describe(running.target) + QStringLiteral(": stopAnimation"), [&] { running.controller->stopAnimation(); });
    for (RunningView& running : views_)
        tearDown(running);
    views_.clear();
    guarded(QStringLiteral("destroying the principal"), [&] { principal_.reset(); });
    platform::log::info(LogCategory::Host, QStringLiteral("session stopped"));
}

void SaverSession::tearDown(RunningView& running)
{
    stage_.withdraw(running.view);
    const QPointer<QWidget> view = running.view;
    guarded(describe(running.target) + QStringLiteral(": destroying the view controller"),
        [&] { running.controller.reset(); });
    // A module that leaves its view behind would keep it on screen (and playing) until exit.
    if (view)
        delete view.data();
}

int SaverSession::stopScreen(const QString& screenName)
{
    if (screenName.isEmpty())
        return 0;
    int removed = 0;
    for (auto it = views_.begin(); it != views_.end();) {
        if (it->target.screenName != screenName) {
            ++it;
            continue;
        }
        guarded(describe(it->target) + QStringLiteral(": stopAnimation"), [&] { it->controller->stopAnimation(); });
        tearDown(*it);
        it = views_.erase(it);
        ++removed;
    }
    return removed;
}

QList<QWidget*> SaverSession::views() const
{
    QList<QWidget*> list;
    for (const RunningView& running : views_)
        list << running.view;
    return list;
}

} // namespace quorvel::saver
