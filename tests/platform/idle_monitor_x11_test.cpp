#include "platform/linux/idle_monitors.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace quorvel::platform;
using namespace std::chrono_literals;

// An Xvfb of the test's own. It never resets when its last client leaves, so the settings a
// monitor gives back can be read after the monitor is gone.
class PrivateXServer {
public:
    PrivateXServer()
    {
        server_.start("Xvfb", { "-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0", "320x240x24" });
        QByteArray number;
        while (!number.endsWith('\n') && server_.waitForReadyRead(10000))
            number += server_.readAllStandardOutput();
        if (!number.trimmed().isEmpty())
            name_ = ":" + QString::fromLatin1(number.trimmed());
    }
    ~PrivateXServer()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    const QString& name() const { return name_; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", name_);
        return environment;
    }

    // Real pointer motion, which the server counts as input.
    void input()
    {
        moved_ = !moved_;
        QProcess xdotool;
        xdotool.setProcessEnvironment(environment());
        xdotool.start("xdotool", { "mousemove", moved_ ? "40" : "80", moved_ ? "30" : "60" });
        ASSERT_TRUE(xdotool.waitForFinished(5000));
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    }

    // Starts the test's screensaver client and waits until its first request reached the server.
    void startClient(QProcess& client, const QStringList& arguments) const
    {
        client.setProcessEnvironment(environment());
        client.start(QUORVEL_BIN_DIR "/x_screensaver_client", arguments);
        ASSERT_TRUE(client.waitForReadyRead(5000));
        ASSERT_EQ(client.readLine().trimmed(), "ready");
    }

    QByteArray serverSettings() const
    {
        QProcess client;
        client.setProcessEnvironment(environment());
        client.start(QUORVEL_BIN_DIR "/x_screensaver_client", { "settings" });
        client.waitForFinished(5000);
        return client.readAllStandardOutput().trimmed();
    }

private:
    QProcess server_;
    QString name_;
    bool moved_ = false;
};

#define START_X_SERVER(server)                                                                                         \
    PrivateXServer server;                                                                                             \
    if (server.name().isEmpty())                                                                                       \
    GTEST_SKIP() << "no virtual X server"

TEST(X11IdleMonitor, IdleSpellsStartAtTheThresholdAndEndAtTheNextInput)
{
    START_X_SERVER(server);
    auto monitor = makeX11IdleMonitor(server.name());
    ASSERT_TRUE(monitor->isAvailable()) << monitor->unavailableReason().toStdString();
    QSignalSpy idle(monitor.get(), &IdleMonitor::becameIdle);
    QSignalSpy active(monitor.get(), &IdleMonitor::becameActive);

    server.input();
    QElapsedTimer sinceInput;
    sinceInput.start();
    monitor->watch(1s);
    ASSERT_TRUE(idle.wait(4000));
    EXPECT_GE(sinceInput.elapsed(), 950);
    EXPECT_LT(sinceInput.elapsed(), 2000);
    EXPECT_GE(monitor->idleTime().value_or(0ms), 950ms);
    EXPECT_EQ(active.count(), 0);

    server.input();
    ASSERT_TRUE(active.wait(2000));
    EXPECT_EQ(idle.count(), 1);
    EXPECT_LT(monitor->idleTime().value_or(1h), 1s);

    sinceInput.restart();
    ASSERT_TRUE(idle.wait(4000));
    EXPECT_GE(sinceInput.elapsed(), 950);
    EXPECT_EQ(idle.count(), 2);
    EXPECT_EQ(active.count(), 1);
}

TEST(X11IdleMonitor, ARearmedThresholdAppliesToTheSpellInProgressAndZeroGivesTheServerBack)
{
    START_X_SERVER(server);
    const QByteArray before = server.serverSettings();
    ASSERT_FALSE(before.isEmpty());
    auto monitor = makeX11IdleMonitor(server.name());
    QSignalSpy idle(monitor.get(), &IdleMonitor::becameIdle);

    server.input();
    QElapsedTimer sinceInput;
    sinceInput.start();
    monitor->watch(30s);
    EXPECT_EQ(server.serverSettings(), "30 0");
    // Only one program can stand in for the server's screensaver; a second one says so.
    auto second = makeX11IdleMonitor(server.name());
    ASSERT_TRUE(second->isAvailable());
    second->watch(1s);
    EXPECT_EQ(second->unavailableReason(), idle_reason::kSaverTaken);

    // The server's timer would count the new timeout from now; the spell began before.
    QTest::qWait(1200);
    monitor->watch(3s);
    ASSERT_TRUE(idle.wait(4000));
    EXPECT_GE(sinceInput.elapsed(), 2900);
    EXPECT_LT(sinceInput.elapsed(), 3600);

    server.input();
    monitor->watch(0ms);
    EXPECT_EQ(server.serverSettings(), before);
    // Let go, the server's screensaver is free for the next program.
    second->watch(1s);
    EXPECT_TRUE(second->isAvailable());
    second->watch(0ms);
    EXPECT_FALSE(idle.wait(1600));

    monitor->watch(1s);
    monitor.reset();
    EXPECT_EQ(server.serverSettings(), before);
}

TEST(X11IdleMonitor, ASuspendedScreensaverHoldsItOffUntilResumed)
{
    START_X_SERVER(server);
    auto monitor = makeX11IdleMonitor(server.name());
    QSignalSpy idle(monitor.get(), &IdleMonitor::becameIdle);
    monitor->watch(1s);

    QProcess browser;
    server.startClient(browser, { "suspend", "2000" });
    server.input();
    EXPECT_FALSE(idle.wait(1700));
    ASSERT_TRUE(browser.waitForFinished(3000));
    QElapsedTimer sinceResume;
    sinceResume.start();
    ASSERT_TRUE(idle.wait(3000));
    EXPECT_LT(sinceResume.elapsed(), 1600);
}

TEST(X11IdleMonitor, AResetHeartbeatHoldsItOff)
{
    START_X_SERVER(server);
    auto monitor = makeX11IdleMonitor(server.name());
    QSignalSpy idle(monitor.get(), &IdleMonitor::becameIdle);
    QSignalSpy active(monitor.get(), &IdleMonitor::becameActive);
    monitor->watch(1s);

    QProcess player;
    server.startClient(player, { "reset", "2000", "300" });
    EXPECT_FALSE(idle.wait(1700));
    ASSERT_TRUE(player.waitForFinished(3000));
    ASSERT_TRUE(idle.wait(3000));
    // Resets while nothing is idle end no spell.
    EXPECT_EQ(active.count(), 0);
}

TEST(SessionIdleMonitor, ChoosesByWhatTheSessionOffers)
{
    START_X_SERVER(server);
    const QDBusConnection noBus("quorvel-no-bus");
    struct Row {
        const char* name;
        SessionFacts facts;
        QString mechanism;
        QString reason;
    };
    const QString x11 = "the X server's screensaver timer";
    const std::vector<Row> rows {
        { "an X11 desktop uses the server's timer", { "MATE", false, server.name() }, x11, {} },
        { "GNOME without its idle monitor falls back to X11", { "ubuntu:GNOME", false, server.name() }, x11, {} },
        { "the X bridge of a Wayland session is not asked", { "KDE", true, server.name() }, "nothing",
            idle_reason::kNoDesktopSupport },
        { "no display at all", { "", false, "" }, "nothing", idle_reason::kNoDesktopSupport },
        { "a display that is gone", { "", false, ":65000" }, "nothing", idle_reason::kDisplayUnreachable },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto monitor = makeIdleMonitorFor(row.facts, noBus);
        EXPECT_EQ(monitor->mechanism(), row.mechanism);
        EXPECT_EQ(monitor->unavailableReason(), row.reason);
    }
}

} // namespace
