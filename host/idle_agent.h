#pragma once
// The idle agent (quorvel-saver --agent): this platform's stand-in for the system's screensaver
// engine. After the idle time without input it starts the screensaver host full-screen, unless a
// desktop screensaver daemon runs the session, nothing would play, or a host already runs. The
// host dismisses itself on input; the agent then waits for the next idle spell.

#include "kit/idle_time.h"
#include "platform/child_process.h"
#include "platform/idle_monitor.h"
#include "platform/session_screensavers.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace quorvel::saver {

// The single-instance name of the agent: one per session.
inline constexpr const char* kAgentInstanceName = "com.quorvel.Quorvel.Agent";
using kit::effectiveIdleTime;

class IdleAgent : public QObject {
    Q_OBJECT
public:
    struct Dependencies {
        platform::IdleMonitor& monitor;
        const platform::SessionScreensavers& daemons;
        // Empty when the host would play something now; otherwise why not.
        std::function<QString()> whyNothingPlays;
        // The stored idle time ("idleTime"), read again at each change.
        std::function<std::optional<qint64>()> storedIdleTime;
        // A screensaver host that this agent did not start is on screen ("Start Screen Saver").
        std::function<bool()> otherHostRunning;
        platform::ChildProcess& host;
        QString hostProgram; // started with no arguments: full-screen on every screen
    };

    explicit IdleAgent(Dependencies dependencies, QObject* parent = nullptr);

    // Arms the monitor with the idle time. Empty when the agent runs; otherwise the monitor's reason
    // why idle cannot be watched here (nothing is armed).
    QString start();
    // Reads the idle time again and re-arms the monitor when it changed.
    void idleTimeChanged();
    // Disarms and ends a host this agent started.
    void stop();

    std::chrono::seconds idleTime() const { return idleTime_; }

private:
    void becameIdle();
    void becameActive();
    void hostFinished(const platform::ChildEnd& end);
    void arm();

    Dependencies deps_;
    std::chrono::seconds idleTime_ { kit::kDefaultIdleTime };
    bool started_ = false;
    // The host of this spell ended badly: it is not started again before the next spell.
    bool hostFailedThisSpell_ = false;
    std::optional<qint64> daemonLogged_; // the pid of the daemon already reported
};

} // namespace quorvel::saver
