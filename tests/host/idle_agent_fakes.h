#pragma once
// An idle agent over a fake idle monitor, fake session daemons and a fake host process.

#include "host/idle_agent.h"

#include <QStringList>

#include <vector>

namespace quorvel::testing {

class FakeMonitor final : public platform::IdleMonitor {
public:
    QString unavailableReason() const override { return reason; }
    QString mechanism() const override { return QStringLiteral("a fake"); }
    void watch(std::chrono::milliseconds threshold) override { watches.push_back(threshold); }
    std::optional<std::chrono::milliseconds> idleTime() const override { return std::nullopt; }
    void idle() { emit becameIdle(); }
    void active() { emit becameActive(); }

    QString reason;
    std::vector<std::chrono::milliseconds> watches;
};

class FakeDaemons final : public platform::SessionScreensavers {
public:
    std::optional<platform::RunningScreensaverDaemon> runningDaemon() const override { return daemon; }
    bool isInstalled(platform::ScreensaverDaemonKind) const override { return true; }
    std::optional<platform::RunningScreensaverDaemon> daemon;
};

class FakeHost final : public platform::ChildProcess {
public:
    bool start(const QString& program, const QStringList& arguments) override
    {
        starts.append(program + (arguments.isEmpty() ? QString() : " " + arguments.join(' ')));
        running = startable;
        return startable;
    }
    bool isRunning() const override { return running; }
    QString startError() const override { return QStringLiteral("no such file"); }
    void terminate() override { ++terminations; }
    void end(platform::ChildEnd how)
    {
        running = false;
        emit finished(how);
    }

    QStringList starts;
    bool running = false;
    bool startable = true;
    int terminations = 0;
};

struct Rig {
    FakeMonitor monitor;
    FakeDaemons daemons;
    FakeHost host;
    QString whyNothing;
    std::optional<qint64> stored;
    std::function<std::optional<qint64>()> source; // instead of `stored` when set
    bool otherHost = false;
    saver::IdleAgent agent { {
        .monitor = monitor,
        .daemons = daemons,
        .whyNothingPlays = [this] { return whyNothing; },
        .storedIdleTime = [this] { return source ? source() : stored; },
        .otherHostRunning = [this] { return otherHost; },
        .host = host,
        .hostProgram = QStringLiteral("/opt/quorvel-saver"),
    } };
};

} // namespace quorvel::testing
