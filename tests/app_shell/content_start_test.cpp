// How the screensaver comes on screen by itself, as the main window tells it: the idle time or the
// desktop's own daemon, never a promise this desktop cannot keep; the daemon's integration where
// one runs the session and none where none does; what the user changed in the settings pane shows
// once they come back to the window.
#include "content_fixture.h"
#include "kit/tessary.h"
#include "support/coro.h"

#include <gtest/gtest.h>

namespace quorvel::app {
namespace {

using namespace contentTesting;
using quorvel::testing::await;
using Card = ContentView::DaemonCard;
using Kind = platform::ScreensaverDaemonKind;

const QString kUnknown = QStringLiteral(
    "This desktop can't say when it's idle, so the screensaver won't start by itself - use Start Screen Saver.");
const QString kNever = QStringLiteral("The screensaver is set to never start by itself.");

struct ContentStartTest : ::testing::Test, ContentFixture {
    ContentStartTest()
    {
        writeExtension(embedded(), QStringLiteral("1.0.0"));
        arrange({ 1 });
    }

    void setIdleTime(std::optional<qint64> seconds)
    {
        const auto domain = env->preferences->domain(QStringLiteral("com.apple.screensaver"), true);
        if (seconds)
            domain->setValue(QStringLiteral("idleTime"), *seconds);
        else
            domain->remove(QStringLiteral("idleTime"));
    }

    // Quorvel made the screensaver everywhere by another program, as the settings pane would.
    void activateElsewhere()
    {
        auto setter = manager();
        settle(*setter);
        await(setter->tessary().setScreensaverEverywhere(
            QStringLiteral("QuorvelExtension"), kit::WriteOptions { .restartAgent = false }));
    }

    int registryQueries() const
    {
        return int(std::count_if(tools->calls.begin(), tools->calls.end(),
            [](const QStringList& arguments) { return arguments.value(0) == QStringLiteral("-m"); }));
    }
};

TEST_F(ContentStartTest, TheLineUnderTheStatusSaysHowTheScreensaverStartsHere)
{
    make();
    EXPECT_EQ(view->startLine(), std::nullopt) << "nothing starts Quorvel before it is enabled";
    await(view->enable());
    ASSERT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    const struct {
        const char* name;
        std::optional<qint64> idleTime;
        QString unavailable;
        std::optional<Kind> daemon;
        QString line;
        std::optional<QString> onboarding; // under "You're all set - Quorvel is your screensaver."
    } rows[] = {
        { "never chosen: the agent's 5 minutes", std::nullopt, {}, std::nullopt,
            "The screensaver starts after 5 minutes without input.", std::nullopt },
        { "one minute is singular", 60, {}, std::nullopt, "The screensaver starts after 1 minute without input.",
            std::nullopt },
        { "twenty minutes", 1200, {}, std::nullopt, "The screensaver starts after 20 minutes without input.",
            std::nullopt },
        { "seconds are not rounded into minutes", 90, {}, std::nullopt,
            "The screensaver starts after 90 seconds without input.", std::nullopt },
        { "never", 0, {}, std::nullopt, kNever, kNever },
        { "a negative value counts as never chosen", -5, {}, std::nullopt,
            "The screensaver starts after 5 minutes without input.", std::nullopt },
        { "idle cannot be watched", 300, "This desktop does not say when it is idle.", std::nullopt, kUnknown,
            kUnknown },
        { "a daemon decides, whatever the idle watch", 300, "no", Kind::mateScreensaver,
            "On this desktop, mate-screensaver starts the screensaver.", std::nullopt },
        { "xss-lock", 0, {}, Kind::xssLock, "On this desktop, xss-lock starts the screensaver.", std::nullopt },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        setIdleTime(row.idleTime);
        idle.reason = row.unavailable;
        sessions.running = row.daemon;
        // What the settings pane or the desktop changed is read when the window comes forward.
        view->windowActivated();
        EXPECT_EQ(view->startLine(), row.line);
        EXPECT_EQ(view->onboardingStartLine(), row.onboarding);
    }

    // Switched off elsewhere: the line goes with the active status.
    QProcess::execute(kTool, { QStringLiteral("-e"), QStringLiteral("ignore"), QStringLiteral("-i"), kExtensionId });
    make();
    EXPECT_EQ(view->statusText(), QStringLiteral("Installed - turned off in System Settings"));
    EXPECT_EQ(view->startLine(), std::nullopt);
}

TEST_F(ContentStartTest, TheDaemonThatRunsTheSessionChoosesTheIntegrationOnOffer)
{
    saverPath = QStringLiteral("/home/ana/My Apps/Quorvel.app/Contents/MacOS/quorvel-saver");
    const struct {
        const char* name;
        std::optional<Kind> running;
        QList<Kind> installed;
        bool theme;
        Card card;
        QString text;
    } rows[] = {
        { "no daemon: no card, even with xscreensaver installed", std::nullopt, { Kind::xscreensaver }, true,
            Card::none, "" },
        { "xscreensaver", Kind::xscreensaver, { Kind::xscreensaver }, false, Card::xscreensaver,
            "On this desktop, xscreensaver runs Quorvel in its own window. Add Quorvel to its list, then choose it "
            "in xscreensaver's settings." },
        { "an xscreensaver whose program is gone", Kind::xscreensaver, {}, false, Card::none, "" },
        { "mate-screensaver with the package's theme", Kind::mateScreensaver, { Kind::mateScreensaver }, true,
            Card::mateScreensaver,
            "On this desktop, mate-screensaver runs the screensaver. Choose Quorvel in its Screensaver Preferences." },
        { "mate-screensaver without it", Kind::mateScreensaver, { Kind::mateScreensaver }, false, Card::mateScreensaver,
            "On this desktop, mate-screensaver runs only the screensavers installed as its themes. The Quorvel "
            "package provides Quorvel's theme; once it is installed, choose Quorvel in the Screensaver Preferences." },
        { "xss-lock", Kind::xssLock, { Kind::xssLock }, false, Card::xsecurelock,
            "On this desktop, xss-lock starts the screen locker. For xsecurelock to play Quorvel, put this line in "
            "the locker's environment:" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sessions.running = row.running;
        sessions.installed = row.installed;
        themeInstalled = row.theme;
        make();
        EXPECT_EQ(view->daemonCard(), row.card);
        EXPECT_EQ(view->daemonCardText(), row.text);
    }
    // A shell reads the line back as the host's path, spaces and all.
    EXPECT_EQ(view->xsecurelockLine(),
        QStringLiteral("XSECURELOCK_SAVER='/home/ana/My Apps/Quorvel.app/Contents/MacOS/quorvel-saver'"));
    saverPath = QStringLiteral("/opt/it's/quorvel-saver");
    make();
    EXPECT_EQ(view->xsecurelockLine(), QStringLiteral("XSECURELOCK_SAVER='/opt/it'\\''s/quorvel-saver'"));
    saverPath = QStringLiteral("/usr/lib/quorvel/Quorvel.app/Contents/MacOS/quorvel-saver");
    make();
    EXPECT_EQ(view->xsecurelockLine(),
        QStringLiteral("XSECURELOCK_SAVER=/usr/lib/quorvel/Quorvel.app/Contents/MacOS/quorvel-saver"));
}

TEST_F(ContentStartTest, WhatTheSettingsPaneChangedShowsWhenTheWindowIsActivatedAgain)
{
    registerCopy(embedded());
    activateElsewhere();
    QProcess::execute(kTool, { QStringLiteral("-e"), QStringLiteral("ignore"), QStringLiteral("-i"), kExtensionId });
    onboarded();
    make();
    ASSERT_EQ(view->statusAction(), ContentView::StatusAction::turnOn);

    // Coming back without having opened the pane asks the registry nothing.
    const int before = registryQueries();
    view->windowActivated();
    settleAll();
    EXPECT_EQ(registryQueries(), before);

    // "Turn On" opens the pane; the user switches Quorvel on there and comes back.
    view->activateStatusAction();
    QProcess::execute(kTool, { QStringLiteral("-e"), QStringLiteral("use"), QStringLiteral("-i"), kExtensionId });
    EXPECT_EQ(view->statusText(), QStringLiteral("Installed - turned off in System Settings"));
    view->windowActivated();
    settleAll();
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    EXPECT_EQ(registryQueries(), before + 1);

    // The gear's pane: another screensaver chosen there shows too, and only once per opening.
    writeStore(initial);
    view->openSettings();
    view->windowActivated();
    settleAll();
    EXPECT_EQ(view->statusText(), QStringLiteral("Installed — not your active screensaver"));
    view->windowActivated();
    settleAll();
    EXPECT_EQ(registryQueries(), before + 2);
}

TEST_F(ContentStartTest, AnAgentThatCouldNotBeSetUpIsShownUnderTheStatus)
{
    // The autostart folder is taken by a file: the store write succeeds, the login entry cannot.
    QDir().mkpath(home.filePath(QStringLiteral("config")));
    QFile blocker(home.filePath(QStringLiteral("config/autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    make();
    await(view->enable());
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    const QString expected
        = QStringLiteral(
            "Couldn't add Quorvel's idle agent to the desktop's startup programs: Could not create the folder of %1.")
              .arg(home.filePath(QStringLiteral("config/autostart/com.quorvel.Quorvel.Agent.desktop")));
    EXPECT_EQ(view->errorText(), expected);
    EXPECT_TRUE(agentRunner.detached.empty());
}

} // namespace
} // namespace quorvel::app
