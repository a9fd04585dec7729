#include "host/idle_agent.h"

#include "platform/log.h"

namespace quorvel::saver {
namespace {

using platform::LogCategory;

QString describe(std::chrono::seconds idleTime)
{
    return idleTime.count() == 0 ? QStringLiteral("never") : QStringLiteral("after %1 s").arg(idleTime.count());
}

} // namespace

IdleAgent::IdleAgent(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , deps_(std::move(dependencies))
{
    connect(&deps_.monitor, &platform::IdleMonitor::becameIdle, this, &IdleAgent::becameIdle);
    connect(&deps_.monitor, &platform::IdleMonitor::becameActive, this, &IdleAgent::becameActive);
    connect(&deps_.host, &platform::ChildProcess::finished, this, &IdleAgent::hostFinished);
}

QString IdleAgent::start()
{
    if (const QString reason = deps_.monitor.unavailableReason(); !reason.isEmpty())
        return reason;
    started_ = true;
    idleTime_ = effectiveIdleTime(deps_.storedIdleTime());
    platform::log::info(LogCategory::Host,
        QStringLiteral("idle agent: watching %1, starting the screensaver %2")
            .arg(deps_.monitor.mechanism(), describe(idleTime_)));
    arm();
    return {};
}

void IdleAgent::idleTimeChanged()
{
    if (!started_)
        return;
    const std::chrono::seconds now = effectiveIdleTime(deps_.storedIdleTime());
    if (now == idleTime_)
        return;
    idleTime_ = now;
    platform::log::info(
        LogCategory::Host, QStringLiteral("idle agent: the screensaver now starts %1").arg(describe(now)));
    arm();
}

void IdleAgent::stop()
{
    if (started_)
        deps_.monitor.watch(std::chrono::milliseconds(0));
    started_ = false;
    if (deps_.host.isRunning())
        deps_.host.terminate();
}

void IdleAgent::arm()
{
    deps_.monitor.watch(idleTime_);
}

void IdleAgent::becameIdle()
{
    if (!started_ || idleTime_.count() == 0)
        return;
    if (const auto daemon = deps_.daemons.runningDaemon()) {
        if (daemonLogged_ != daemon->pid) {
            daemonLogged_ = daemon->pid;
            platform::log::info(LogCategory::Host,
                QStringLiteral("idle agent: %1 (pid %2) runs this session's screensaver; staying out of its way")
                    .arg(platform::daemonProgramName(daemon->kind))
                    .arg(daemon->pid));
        }
        return;
    }
    if (hostFailedThisSpell_ || deps_.host.isRunning() || deps_.otherHostRunning())
        return;
    if (const QString why = deps_.whyNothingPlays(); !why.isEmpty()) {
        platform::log::info(LogCategory::Host, QStringLiteral("idle agent: nothing to play: %1").arg(why));
        return;
    }
    if (!deps_.host.start(deps_.hostProgram, {})) {
        platform::log::error(LogCategory::Host,
            QStringLiteral("idle agent: could not start %1: %2").arg(deps_.hostProgram, deps_.host.startError()));
        hostFailedThisSpell_ = true;
        return;
    }
    platform::log::info(
        LogCategory::Host, QStringLiteral("idle agent: idle %1; screensaver started").arg(describe(idleTime_)));
}

void IdleAgent::becameActive()
{
    hostFailedThisSpell_ = false;
}

void IdleAgent::hostFinished(const platform::ChildEnd& end)
{
    if (end.succeeded())
        return;
    hostFailedThisSpell_ = true;
    platform::log::error(LogCategory::Host,
        end.crashed
            ? QStringLiteral("idle agent: the screensaver host crashed; not restarted before the next idle spell")
            : QStringLiteral("idle agent: the screensaver host exited with status %1; not restarted before "
                             "the next idle spell")
                  .arg(end.exitCode));
}

} // namespace quorvel::saver
