#include "host/agent_runner.h"

#include "host/idle_agent.h"
#include "host/stages.h"
#include "kit/tessary.h"
#include "platform/log.h"
#include "platform/preference_watcher.h"
#include "platform/single_instance.h"
#include "platform/termination.h"

#include <QApplication>
#include <QTextStream>

#include <exception>

namespace quorvel::saver {
namespace {

using platform::LogCategory;

// The preference domain (current host) the kit keeps "idleTime" in.
const QLatin1String kIdleTimeDomain("com.apple.screensaver");

// Empty when some screen would play a module now, as the host run with no arguments decides.
QString whyNothingPlays(const SaverEnvironment& environment)
{
    QString why;
    for (const SaverTarget& target : screenTargets()) {
        const Located located = environment.locator.moduleForScreen(target.frame);
        if (const auto* error = std::get_if<LocateError>(&located)) {
            why = why.isEmpty() ? error->message : why;
            continue;
        }
        const std::optional<QString> off = turnedOffIdentifier(environment.elections, std::get<QString>(located));
        if (!off)
            return {};
        why = why.isEmpty() ? LoadError { LoadError::Kind::TurnedOff, *off }.message() : why;
    }
    return why.isEmpty() ? QStringLiteral("no screen is connected") : why;
}

} // namespace

int runAgent(SaverEnvironment& environment, platform::Preferences& preferences)
{
    platform::LocalSocketSingleInstance instance(QString::fromLatin1(kAgentInstanceName));
    switch (instance.claim()) {
    case platform::SingleInstance::Claim::HandedOver:
        QTextStream(stdout) << "quorvel-saver: the idle agent already runs in this session" << Qt::endl;
        return 0;
    case platform::SingleInstance::Claim::Unavailable:
        platform::log::error(LogCategory::Host, QStringLiteral("idle agent: cannot make sure it runs only once"));
        break;
    case platform::SingleInstance::Claim::Primary:
        break;
    }

    const std::unique_ptr<platform::IdleMonitor> monitor = platform::makeSessionIdleMonitor();
    const platform::ProcessSessionScreensavers daemons;
    const std::unique_ptr<platform::ChildProcess> host = platform::makeChildProcess();
    IdleAgent agent({
        .monitor = *monitor,
        .daemons = daemons,
        .whyNothingPlays = [&environment] { return whyNothingPlays(environment); },
        .storedIdleTime = [&environment] { return environment.kit.getIdleTime(); },
        .otherHostRunning =
            [&environment] {
                return platform::isRunning(environment.workspace, QString::fromLatin1(kEngineBundleIdentifier));
            },
        .host = *host,
        .hostProgram = environment.hostPath,
    });
    if (const QString reason = agent.start(); !reason.isEmpty()) {
        QTextStream(stderr) << "quorvel-saver: " << reason << Qt::endl;
        platform::log::error(LogCategory::Host, QStringLiteral("idle agent: %1").arg(reason));
        return kExitFailure;
    }

    const std::unique_ptr<platform::PreferenceWatcher> watcher
        = platform::watchPreferenceSuite(preferences.domain(kIdleTimeDomain, true));
    QObject::connect(watcher.get(), &platform::PreferenceWatcher::changed, &agent, &IdleAgent::idleTimeChanged);

    platform::TerminationWatcher termination;
    QObject::connect(&termination, &platform::TerminationWatcher::terminationRequested, &agent, [&agent](int signal) {
        platform::log::info(LogCategory::Host, QStringLiteral("idle agent: signal %1: quitting").arg(signal));
        agent.stop();
        QCoreApplication::exit(0);
    });
    QApplication::setQuitOnLastWindowClosed(false);
    const int code = QApplication::exec();
    agent.stop();
    return code;
}

int runIdleTime(const SaverOptions& options, kit::Tessary& kit)
{
    if (!options.idleTimeSeconds) {
        QTextStream(stdout) << effectiveIdleTime(kit.getIdleTime()).count() << Qt::endl;
        return 0;
    }
    try {
        kit.setIdleTime(*options.idleTimeSeconds);
    } catch (const std::exception& error) {
        QTextStream(stderr) << "quorvel-saver: " << error.what() << Qt::endl;
        return kExitFailure;
    }
    return 0;
}

} // namespace quorvel::saver
