// The main window's content from a first launch to an active screensaver with a job running, over
// the real registry tool, a whole kit in a temporary home and a loopback service: what each state
// shows, what each button does, and that no failure ever reads as success.
#include "app/client/debug_credentials.h"
#include "app/create/create_view.h"
#include "app/create/random_recipe.h"
#include "content_fixture.h"
#include "kit/errors.h"
#include "support/coro.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace quorvel::app {
namespace {

using namespace contentTesting;
using quorvel::testing::await;
using Screen = ContentView::Screen;
using Dot = ContentView::Dot;
using Action = ContentView::StatusAction;

const QString kRollback = QStringLiteral("Couldn't make the screensaver change; the previous settings were restored.");

struct ContentViewTest : ::testing::Test, ContentFixture {
    ContentViewTest()
    {
        writeExtension(embedded(), QStringLiteral("1.0.0"));
        arrange({ 2, 1 });
    }

    QStringList hostAppLog() const { return log.messages(QStringLiteral("com.quorvel.Quorvel.HostApp")); }
};

TEST_F(ContentViewTest, FromFirstLaunchToAnActiveScreensaverWithAJobRunning)
{
    make();
    // First launch: nothing registered, nothing active.
    EXPECT_EQ(view->screen(), Screen::onboarding);
    EXPECT_FALSE(view->showsAllSet());
    EXPECT_TRUE(view->enableEnabled());
    EXPECT_EQ(view->onboardingCaption(), QStringLiteral("One click - no System Settings maze."));
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver not installed"));
    EXPECT_EQ(view->statusDot(), Dot::grey);
    EXPECT_EQ(view->statusAction(), Action::install);
    EXPECT_EQ(view->logoUrl(), server.url(QStringLiteral("/cdn/logo.png")).toString());
    EXPECT_EQ(debugChecks, 0) << "the start-up checks belong to the main screen";
    EXPECT_EQ(autostart.read(IdleAgent::entryId), std::nullopt) << "nothing starts at login before enabling";

    // "Enable as Screensaver" registers the extension and makes it the screensaver everywhere.
    await(view->enable());
    EXPECT_TRUE(view->pluginManager().isInstalled());
    EXPECT_EQ(view->pluginManager().installedPath(), embedded());
    EXPECT_TRUE(view->showsAllSet());
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    EXPECT_EQ(view->statusDot(), Dot::green);
    EXPECT_EQ(view->statusAction(), Action::none);
    EXPECT_EQ(view->errorText(), std::nullopt);
    EXPECT_FALSE(view->isEnabling());
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Ready")) << "the enable action leaves the install message alone";
    EXPECT_EQ(env->plist->read(storePath() + QStringLiteral(".backup")), initial) << "the user's store is the backup";
    EXPECT_EQ(view->pluginManager().tessary().getActiveScreensavers(), QStringList { "QuorvelExtension" });
    ASSERT_EQ(runner->detached.size(), 1u);
    EXPECT_EQ(runner->detached[0].arguments, QStringList { QStringLiteral("WallpaperAgent") });
    // The idle agent starts now and with every session from here on.
    ASSERT_EQ(agentRunner.detached.size(), 1u);
    EXPECT_EQ(agentRunner.detached[0].program, saverPath);
    EXPECT_EQ(agentRunner.detached[0].arguments, QStringList { QStringLiteral("--agent") });
    const std::optional<platform::AutostartState> entry = autostart.read(IdleAgent::entryId);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->program, saverPath);
    EXPECT_TRUE(entry->enabled);
    EXPECT_NE(
        std::find(sleeper->waits.begin(), sleeper->waits.end(), std::chrono::milliseconds(3000)), sleeper->waits.end())
        << "the write waited for the agent before verifying";

    // "Make your first wumble - it's free" ends onboarding for good and opens the create window.
    view->finishOnboarding();
    EXPECT_EQ(defaults.values.value(ContentView::hasOnboardedKey), QVariant(true));
    EXPECT_EQ(opened, QStringList { "create" });
    EXPECT_EQ(view->screen(), Screen::main);
    ASSERT_TRUE(waitFor([&] { return view->credits() == 3; }));
    EXPECT_EQ(debugChecks, 1);
    EXPECT_EQ(view->creditCaption(), QStringLiteral("3 wumble credits"));
    EXPECT_EQ(view->plansSubtitle(), QStringLiteral("One free wumble, on us for downloading · plans from $1.99/mo"));
    EXPECT_FALSE(view->showsLatest());
    EXPECT_TRUE(view->createEnabled());
    EXPECT_EQ(view->createTooltip(), QStringLiteral("Create a wumble"));

    // A job runs: its stage shows and a second one cannot be started from here.
    startJob();
    EXPECT_TRUE(view->showsLatest());
    EXPECT_EQ(view->latestHeading(), QStringLiteral("Generating a wumble"));
    EXPECT_FALSE(view->createEnabled());
    EXPECT_EQ(view->createTooltip(), QStringLiteral("A wumble is already generating"));
    EXPECT_FALSE(view->showsClipReady());
    opened.clear();
    view->openCreate();
    EXPECT_TRUE(opened.isEmpty());

    // The clip arrives: the preview opens once and the balance is read again.
    server.serve("/balance", json(200, R"({"credits":2})"));
    finishJob(R"({"done":true,"ok":true,"clip":"https://cdn.example/c.mp4","log":"done"})");
    EXPECT_EQ(view->latestHeading(), QStringLiteral("Latest wumble"));
    EXPECT_TRUE(view->showsClipReady());
    EXPECT_EQ(view->generationError(), std::nullopt);
    EXPECT_EQ(opened, QStringList { "preview" });
    ASSERT_TRUE(waitFor([&] { return view->credits() == 2; }));
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
}

TEST_F(ContentViewTest, TheMoveCardComesFirstThenOnboardingThenTheMainScreen)
{
    const struct {
        const char* name;
        bool outsideApplications;
        bool onboarded;
        Screen screen;
    } rows[] = {
        { "fresh copy in Downloads", true, false, Screen::moveCard },
        { "onboarded copy in Downloads", true, true, Screen::moveCard },
        { "first launch in Applications", false, false, Screen::onboarding },
        { "onboarded", false, true, Screen::main },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        defaults.values.clear();
        if (row.onboarded)
            onboarded();
        make(row.outsideApplications ? home.filePath(QStringLiteral("Downloads/Quorvel.app")) : QString());
        EXPECT_EQ(view->screen(), row.screen);
    }
}

TEST_F(ContentViewTest, AnAlreadyActiveScreensaverShowsTheAllSetOnboardingAtOnce)
{
    make();
    await(view->enable());
    view.reset();
    make();
    EXPECT_EQ(view->screen(), Screen::onboarding);
    EXPECT_TRUE(view->showsAllSet());
}

TEST_F(ContentViewTest, StatusLineDotAndButtonFollowTheRegistryAndTheStore)
{
    const QString ignore = QStringLiteral("ignore");
    const struct {
        const char* name;
        bool registered;
        bool turnedOff;
        bool active;
        QString text;
        Dot dot;
        Action action;
        QString button;
    } rows[] = {
        { "not registered", false, false, false, "Screensaver not installed", Dot::grey, Action::install, "Install" },
        { "registered", true, false, false, "Installed — not your active screensaver", Dot::orange, Action::enable,
            "Enable as Screensaver" },
        { "active", true, false, true, "Screensaver active", Dot::green, Action::none, "" },
        { "turned off", true, true, false, "Installed - turned off in System Settings", Dot::orange, Action::turnOn,
            "Turn On" },
        { "turned off wins over active", true, true, true, "Installed - turned off in System Settings", Dot::orange,
            Action::turnOn, "Turn On" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(home.filePath(QStringLiteral("data"))).removeRecursively();
        writeStore(initial);
        if (row.registered)
            registerCopy(embedded());
        if (row.active) {
            auto setter = manager();
            settle(*setter);
            await(setter->tessary().setScreensaverEverywhere(
                QStringLiteral("QuorvelExtension"), kit::WriteOptions { .restartAgent = false }));
        }
        if (row.turnedOff)
            QProcess::execute(kTool, { QStringLiteral("-e"), ignore, QStringLiteral("-i"), kExtensionId });
        make();
        EXPECT_EQ(view->statusText(), row.text);
        EXPECT_EQ(view->statusDot(), row.dot);
        EXPECT_EQ(view->statusAction(), row.action);
        EXPECT_EQ(view->statusActionText(), row.button);
    }
}

TEST_F(ContentViewTest, PlansRowAndCreditCaptionFollowTheBalance)
{
    onboarded();
    const QString unknown = QStringLiteral("8 wumble credits a month · plans from $1.99/mo");
    const QString left = QStringLiteral("One free wumble, on us for downloading · plans from $1.99/mo");
    const QString out = QStringLiteral("Fresh out of wumble credits · 8 a month, from $1.99/mo");
    const struct {
        const char* name;
        CannedReply reply;
        bool plans;
        QString subtitle;
        std::optional<QString> caption;
    } rows[] = {
        { "three left", json(200, R"({"credits":3})"), true, left, QStringLiteral("3 wumble credits") },
        { "one left is singular", json(200, R"({"credits":1})"), true, left, QStringLiteral("1 wumble credit") },
        { "none left", json(200, R"({"credits":0})"), true, out, QStringLiteral("0 wumble credits") },
        { "overdrawn", json(200, R"({"credits":-2})"), true, out, QStringLiteral("-2 wumble credits") },
        { "credits as text count as unknown", json(200, R"({"credits":"3"})"), true, unknown, std::nullopt },
        { "paid never sees the plans", json(200, R"({"credits":8,"paid":true})"), false, left,
            QStringLiteral("8 wumble credits") },
        { "a server error changes nothing", json(500, R"({"credits":5,"paid":true})"), true, unknown, std::nullopt },
        { "garbage changes nothing", json(200, "credits=5"), true, unknown, std::nullopt },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server.serve("/balance", row.reply);
        make();
        const int before = int(server.requestsTo("/balance").size());
        await(view->refreshBalance());
        EXPECT_EQ(int(server.requestsTo("/balance").size()), before + 1);
        EXPECT_EQ(view->showsPlans(), row.plans);
        EXPECT_EQ(view->plansSubtitle(), row.subtitle);
        EXPECT_EQ(view->creditCaption(), row.caption);
        EXPECT_EQ(view->enrollmentError(), std::nullopt);
    }
}

TEST_F(ContentViewTest, DebugModeChangedAnywhereShowsInEveryWindowAtOnce)
{
    onboarded();
    make();
    await(view->refreshBalance());
    create::SystemRandomIndexSource random;
    create::CreateView createScreen(
        { app->auth(), app->generation(), observedDefaults, doubles.identity, doubles.sleeper, random, {}, {} });
    int mainChanges = 0;
    int createChanges = 0;
    QObject::connect(view.get(), &ContentView::changed, [&] { ++mainChanges; });
    QObject::connect(&createScreen, &create::CreateView::changed, [&] { ++createChanges; });

    // The create window's switch reaches the main window without anything else happening there.
    createScreen.setDebugMode(true);
    EXPECT_GT(mainChanges, 0) << "the main window repaints at once";
    EXPECT_GT(createChanges, 0);
    EXPECT_EQ(view->creditCaption(), contentTexts::debugCredits);
    EXPECT_TRUE(view->showsDebugConsole());

    // A denied access check (this machine has no debug credentials) turns it off for both.
    mainChanges = createChanges = 0;
    EXPECT_FALSE(
        await(checkDebugAccess(app->auth(), DebugSources { doubles.identity, doubles.secrets }, observedDefaults)));
    EXPECT_GT(mainChanges, 0) << "the caption and the console must go at once";
    EXPECT_GT(createChanges, 0);
    EXPECT_EQ(view->creditCaption(), QStringLiteral("3 wumble credits"));
    EXPECT_FALSE(view->showsDebugConsole());
    EXPECT_FALSE(createScreen.debugMode());

    // Setting what is already set announces nothing.
    mainChanges = 0;
    createScreen.setDebugMode(false);
    EXPECT_EQ(mainChanges, 0);
}

TEST_F(ContentViewTest, ThePreviewOpensOncePerNewClip)
{
    onboarded();
    make();
    startJob();
    finishJob(R"({"done":true,"ok":true,"clip":"https://cdn.example/1.mp4"})");
    EXPECT_EQ(opened.count("preview"), 1);
    // Another window's content made now does not open it again for the same clip.
    auto second = std::make_unique<ContentView>(ContentServices { app->auth(), app->generation(), app->appLocation(),
        observedDefaults, doubles.workspace, daemon, PluginManagerServices { tools, kTool, system, env },
        [this] { return countDebugCheck(&debugChecks); }, [this](const QString& id) { opened << id; }, QString(),
        startServices() });
    QCoreApplication::processEvents();
    EXPECT_EQ(opened.count("preview"), 1);
    second.reset();

    // A failed run opens nothing, and its error shows; the next clip opens it again.
    job.end.reset();
    startJob();
    finishJob(R"({"done":true,"ok":false,"log":"queued\nrender failed: out of memory"})");
    EXPECT_EQ(opened.count("preview"), 1);
    EXPECT_EQ(view->generationError(), QStringLiteral("render failed: out of memory"));
    EXPECT_FALSE(view->showsClipReady());
    job.end.reset();
    startJob();
    EXPECT_EQ(view->generationError(), std::nullopt) << "no error while running";
    finishJob(R"({"done":true,"ok":true,"clip":"https://cdn.example/2.mp4"})");
    EXPECT_EQ(opened.count("preview"), 2);
}

TEST_F(ContentViewTest, ButtonsReachTheirWindowsAndTheWorkspace)
{
    onboarded();
    make();
    view->openLibrary();
    view->openUpgrade();
    view->openPreview();
    EXPECT_EQ(opened, (QStringList { "library", "upgrade", "preview" }));

    view->startScreenSaver();
    view->openSettings();
    ASSERT_EQ(doubles.workspace.openedUrls.size(), 2);
    EXPECT_EQ(doubles.workspace.openedUrls[0],
        QUrl::fromLocalFile(QStringLiteral("/System/Library/CoreServices/ScreenSaverEngine.app")));
    EXPECT_EQ(doubles.workspace.openedUrls[1],
        QUrl(QStringLiteral("x-apple.systempreferences:com.apple.Wallpaper-Settings.extension")));

    // "Turn On" opens the same pane, and "Start Screen Saver" works whatever is active.
    registerCopy(embedded());
    QProcess::execute(kTool, { QStringLiteral("-e"), QStringLiteral("ignore"), QStringLiteral("-i"), kExtensionId });
    make();
    view->activateStatusAction();
    view->startScreenSaver();
    ASSERT_EQ(doubles.workspace.openedUrls.size(), 4);
    EXPECT_EQ(doubles.workspace.openedUrls[2], doubles.workspace.openedUrls[1]);
    EXPECT_EQ(doubles.workspace.openedUrls[3], doubles.workspace.openedUrls[0]);
}

TEST_F(ContentViewTest, AFailedInstallReportsWhatHappened)
{
    const QString tool = writeScript(home.filePath(QStringLiteral("failing-tool")),
        "case \"$1\" in -a) echo 'pluginkit: the registry is locked'; exit 1;; esac");
    make({}, tool);
    await(view->install());
    const QString failure
        = QStringLiteral("QuorvelExtension.appex exited with status 1: pluginkit: the registry is locked");
    EXPECT_EQ(view->statusMessage(), QStringLiteral("Install failed: ") + failure);
    EXPECT_EQ(view->errorText(), std::nullopt) << "the reason shows once, in the status message";
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver not installed"));
    EXPECT_TRUE(hostAppLog().contains(QStringLiteral("Install failed: ") + failure));

    // A tool that says yes and then lists nothing has not registered anything.
    const QString liar = writeScript(home.filePath(QStringLiteral("lying-tool")), "exit 0");
    make({}, liar);
    await(view->install());
    EXPECT_EQ(
        view->statusMessage(), QStringLiteral("Install failed: the plug-in registry does not list the extension"));
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver not installed"));
}

// Every way the enable action can fail: the exact text shows where the user looks, the status
// never claims an active screensaver, and the user's store stays as it was.
TEST_F(ContentViewTest, AFailedEnableShowsWhyAndKeepsTheUsersScreensaver)
{
    const QString locked
        = QStringLiteral("QuorvelExtension.appex exited with status 1: pluginkit: the registry is locked");
    const struct {
        const char* name;
        QByteArray script; // a registry tool of our own; empty for the real one
        std::function<void(ContentViewTest&)> arrange;
        QString error;
        QString status;
        bool installLogged;
    } rows[] = {
        { "registration refused", "case \"$1\" in -a) echo 'pluginkit: the registry is locked'; exit 1;; esac", {},
            locked, "Screensaver not installed", true },
        { "a tool that prints garbage", "printf 'pluginkit: \\377\\376 (\\n\\t\\t/\\n'", {},
            QStringLiteral("Screensaver not found: QuorvelExtension"), "Screensaver not installed", false },
        { "the agent puts the old store back", {},
            [](ContentViewTest& t) { t.sleeper->duringWait = [&t] { t.writeStore(t.initial); }; }, kRollback,
            "Installed — not your active screensaver", false },
        { "a store that cannot be written", {},
            [](ContentViewTest& t) {
                // The backup's place is taken by a folder: the write stops before it starts.
                QDir().mkpath(t.storePath() + QStringLiteral(".backup/taken"));
            },
            QStringLiteral("Failed to write plist: ") + storePath()
                + QStringLiteral(": couldn't refresh its backup: Is a directory"),
            "Installed — not your active screensaver", false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(home.filePath(QStringLiteral("data"))).removeRecursively();
        QDir(storePath() + QStringLiteral(".backup")).removeRecursively();
        QFile::remove(storePath() + QStringLiteral(".backup"));
        writeStore(initial);
        sleeper->duringWait = nullptr;
        log.clear();
        if (row.arrange)
            row.arrange(*this);
        std::optional<QString> tool = kTool;
        if (!row.script.isEmpty())
            tool = writeScript(home.filePath(QStringLiteral("tool")), row.script);
        make({}, tool);

        await(view->enable());
        ASSERT_TRUE(view->errorText().has_value());
        EXPECT_EQ(view->errorText(), row.error);
        EXPECT_EQ(view->onboardingCaption(), view->errorText()) << "onboarding shows the same reason";
        EXPECT_EQ(view->statusText(), row.status);
        EXPECT_FALSE(view->showsAllSet());
        EXPECT_FALSE(view->isEnabling());
        EXPECT_TRUE(view->enableEnabled()) << "the user can try again";
        EXPECT_EQ(view->statusMessage(), QStringLiteral("Ready"));
        EXPECT_EQ(store(), initial);
        EXPECT_EQ(hostAppLog().contains(QStringLiteral("Install failed: ") + locked), row.installLogged);
        EXPECT_EQ(autostart.read(IdleAgent::entryId), std::nullopt) << "no login entry for what did not happen";
        EXPECT_TRUE(agentRunner.detached.empty()) << "no agent for a screensaver that is not Quorvel";
    }
}

TEST_F(ContentViewTest, AHangingRegistryToolIsReportedNotReadAsNothingRegistered)
{
    auto runner = std::make_shared<kit::fixtures::ScriptedProcessRunner>();
    // What it printed before it was killed is no listing to believe.
    platform::ProcessResult hung
        = kit::fixtures::ScriptedProcessRunner::finished(-1, "+    com.quorvel.Quorvel.Extension(1)\tU\tD\t/A");
    hung.timedOut = true;
    hung.errorText = QStringLiteral("did not finish within 30000 ms and was killed.");
    runner->results = { hung, hung, hung, hung };
    make({}, QStringLiteral("/opt/quorvel-pluginkit"), runner);
    const QString expected = QStringLiteral("quorvel-pluginkit -m -A -D -v -p com.apple.screensaver exited with status "
                                            "-1: +    com.quorvel.Quorvel.Extension(1)\tU\tD\t/A\ndid not finish "
                                            "within 30000 ms and was killed.");
    EXPECT_EQ(view->errorText(), expected);
    EXPECT_EQ(view->onboardingCaption(), expected);
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver not installed"));
}

namespace {
QCoro::Task<> enableThenMark(ContentView& view, bool* done)
{
    co_await view.enable();
    *done = true;
}
} // namespace

TEST_F(ContentViewTest, ASecondEnableWhileOneRunsDoesNothing)
{
    make();
    sleeper->yield = true;
    bool firstDone = false;
    QCoro::Task<> first = enableThenMark(*view, &firstDone);
    ASSERT_TRUE(waitFor([&] { return view->pluginManager().isCheckingScreensaver(); }));
    EXPECT_FALSE(view->enableEnabled());
    EXPECT_FALSE(view->statusActionEnabled());
    const auto registrations = [&] {
        return std::count_if(tools->calls.begin(), tools->calls.end(),
            [](const QStringList& arguments) { return arguments.value(0) == QStringLiteral("-a"); });
    };
    // A refused click must not end the running one's guard early (the next would then write).
    const auto stillGuarded = [&] {
        EXPECT_FALSE(firstDone);
        EXPECT_TRUE(view->isEnabling());
        EXPECT_TRUE(view->pluginManager().isCheckingScreensaver());
        EXPECT_FALSE(view->enableEnabled());
    };
    await(view->enable()); // returns at once
    stillGuarded();
    view->activateStatusAction();
    stillGuarded();
    ASSERT_TRUE(waitFor([&] { return firstDone; }));
    QTest::qWait(50);
    EXPECT_FALSE(view->isEnabling());
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    EXPECT_EQ(registrations(), 1);
    EXPECT_EQ(runner->detached.size(), 1u) << "one write, one agent restart";
    EXPECT_EQ(env->plist->read(storePath() + QStringLiteral(".backup")), initial);
}

} // namespace
} // namespace quorvel::app
