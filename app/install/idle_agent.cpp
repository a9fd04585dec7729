#include "app/install/idle_agent.h"

#include "platform/autostart.h"
#include "platform/log.h"
#include "platform/process_runner.h"

namespace quorvel::app {

namespace {
using platform::LogCategory;
} // namespace

IdleAgent::IdleAgent(platform::Autostart& autostart, platform::ProcessRunner& runner, QString hostPath)
    : autostart_(autostart)
    , runner_(runner)
    , hostPath_(std::move(hostPath))
{
}

platform::AutostartEntry IdleAgent::entry(bool enabled) const
{
    return { entryId, QStringLiteral("Quorvel Idle Agent"),
        QStringLiteral("Starts the Quorvel screensaver when the computer has been idle"), hostPath_, { agentArgument },
        enabled };
}

std::optional<QString> IdleAgent::writeEntry(bool enabled)
{
    const std::optional<QString> failure = autostart_.write(entry(enabled));
    if (!failure)
        return std::nullopt;
    const QString message
        = QStringLiteral("Couldn't add Quorvel's idle agent to the desktop's startup programs: %1").arg(*failure);
    platform::log::error(LogCategory::HostApp, message);
    return message;
}

std::optional<QString> IdleAgent::refreshEntry()
{
    const std::optional<platform::AutostartState> found = autostart_.read(entryId);
    if (!found || found->program == hostPath_)
        return std::nullopt;
    platform::log::info(LogCategory::HostApp,
        QStringLiteral("The idle agent's startup entry named %1; it now starts %2")
            .arg(found->program.value_or(QStringLiteral("nothing")), hostPath_));
    return writeEntry(found->enabled);
}

std::optional<QString> IdleAgent::enable()
{
    if (std::optional<QString> failure = writeEntry(true))
        return failure;
    if (!runner_.startDetached(hostPath_, { agentArgument })) {
        const QString message = QStringLiteral("Couldn't start Quorvel's idle agent %1.").arg(hostPath_);
        platform::log::error(LogCategory::HostApp, message);
        return message;
    }
    platform::log::info(LogCategory::HostApp, QStringLiteral("Started the idle agent %1").arg(hostPath_));
    return std::nullopt;
}

} // namespace quorvel::app
