// The idle agent's decisions over a fake idle monitor and a fake host: when it starts the host,
// when it stays out of the way, and how it follows the idle time.
#include "host/idle_agent_fakes.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quorvel;
using namespace std::chrono_literals;
using quorvel::testing::Rig;

namespace {

TEST(IdleAgent, StartsTheHostAtEachIdleSpellAndEndsItOnStop)
{
    Rig rig;
    ASSERT_EQ(rig.agent.start(), QString());
    ASSERT_EQ(rig.monitor.watches, std::vector<std::chrono::milliseconds>({ 300s })) << "absent means 5 minutes";
    EXPECT_TRUE(rig.host.starts.isEmpty()) << "nothing before the idle time";

    rig.monitor.idle();
    EXPECT_EQ(rig.host.starts, QStringList({ "/opt/quorvel-saver" })) << "no arguments: full-screen everywhere";
    rig.monitor.idle();
    EXPECT_EQ(rig.host.starts.size(), 1) << "a running host is never doubled";

    // Input dismisses the host (its own dismissal); the next spell starts it again.
    rig.monitor.active();
    rig.host.end({});
    rig.monitor.idle();
    EXPECT_EQ(rig.host.starts.size(), 2);

    rig.agent.stop();
    EXPECT_EQ(rig.host.terminations, 1) << "SIGTERM to the agent ends the host it started";
    EXPECT_EQ(rig.monitor.watches.back(), 0ms);
}

TEST(IdleAgent, StaysIdleWhenSomethingElseDecides)
{
    const struct {
        const char* name;
        std::function<void(Rig&)> arrange;
    } rows[] = {
        { "a desktop daemon runs the session",
            [](Rig& r) {
                r.daemons.daemon = { platform::ScreensaverDaemonKind::xscreensaver, 77 };
            } },
        { "the store names nothing",
            [](Rig& r) { r.whyNothing = QStringLiteral("no screensaver module is selected"); } },
        { "Start Screen Saver already runs a host", [](Rig& r) { r.otherHost = true; } },
        { "the idle time is Never", [](Rig& r) { r.stored = 0; } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        row.arrange(rig);
        ASSERT_EQ(rig.agent.start(), QString());
        rig.monitor.idle();
        rig.monitor.active();
        rig.monitor.idle();
        EXPECT_TRUE(rig.host.starts.isEmpty());
    }
}

TEST(IdleAgent, AFailedHostIsLoggedAndNotRestartedBeforeTheNextSpell)
{
    for (const platform::ChildEnd end : { platform::ChildEnd { true, 0 }, platform::ChildEnd { false, 1 } }) {
        SCOPED_TRACE(end.crashed ? "crashed" : "exit 1");
        quorvel::testing::LogCapture log;
        Rig rig;
        rig.stored = 60;
        ASSERT_EQ(rig.agent.start(), QString());
        rig.monitor.idle();
        rig.host.end(end);
        EXPECT_EQ(log.messages("com.quorvel.Quorvel.Host").filter("host").filter("not restarted").size(), 1);

        // Re-arming in the same spell may make the monitor report idle again: still no restart.
        rig.stored = 120;
        rig.agent.idleTimeChanged();
        rig.monitor.idle();
        EXPECT_EQ(rig.host.starts.size(), 1);

        rig.monitor.active();
        rig.monitor.idle();
        EXPECT_EQ(rig.host.starts.size(), 2);
    }
}

TEST(IdleAgent, FollowsTheIdleTimeWhileWaiting)
{
    Rig rig;
    rig.stored = 60;
    ASSERT_EQ(rig.agent.start(), QString());
    rig.stored = 600;
    rig.agent.idleTimeChanged();
    rig.agent.idleTimeChanged(); // the file changed, the value did not: no re-arm
    rig.stored = 0;
    rig.agent.idleTimeChanged();
    rig.monitor.idle();
    EXPECT_TRUE(rig.host.starts.isEmpty()) << "Never starts nothing";
    rig.stored = -5; // not a valid count: the default
    rig.agent.idleTimeChanged();
    EXPECT_EQ(rig.monitor.watches, std::vector<std::chrono::milliseconds>({ 60s, 600s, 0ms, 300s }));
}

TEST(IdleAgent, AnUnavailableMonitorGivesItsReasonAndArmsNothing)
{
    Rig rig;
    rig.monitor.reason = QStringLiteral("This desktop does not say when it is idle.");
    EXPECT_EQ(rig.agent.start(), rig.monitor.reason);
    rig.agent.idleTimeChanged();
    rig.monitor.idle();
    EXPECT_TRUE(rig.monitor.watches.empty());
    EXPECT_TRUE(rig.host.starts.isEmpty());
}

} // namespace
