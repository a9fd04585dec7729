#include "install_fixture.h"
#include "support/coro.h"

#include <gtest/gtest.h>

using namespace quorvel::app;
using namespace quorvel::app::testing;
using quorvel::kit::fixtures::MonitorSpec;
using quorvel::testing::await;

namespace {

struct Registering : ::testing::Test, InstallFixture { };

template <typename F> QString pluginErrorOf(F&& f)
{
    try {
        f();
    } catch (const PluginError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST_F(Registering, FirstLaunchFindsNothingThenInstallRegistersTheEmbeddedCopy)
{
    writeExtension(embedded(), QStringLiteral("1.0.0"));
    auto m = manager();
    EXPECT_TRUE(m->isLoading());
    settle(*m);
    EXPECT_FALSE(m->isInstalled());
    EXPECT_EQ(m->lastError(), std::nullopt);
    EXPECT_EQ(m->embeddedExtensionVersion(), QStringLiteral("1.0.0"));
    EXPECT_TRUE(pluginLog().contains(QStringLiteral("pluginkit registration: path=none version=none election=none")));
    // Nothing registered is never registered behind the user's back.
    EXPECT_EQ(tools->calls.size(), 2u);

    await(m->install());
    EXPECT_TRUE(m->isInstalled());
    EXPECT_FALSE(m->isLoading());
    EXPECT_FALSE(m->isTurnedOff());
    EXPECT_EQ(m->installedPath(), embedded());
    EXPECT_EQ(m->installedVersion(), QStringLiteral("1.0.0"));
    EXPECT_EQ(m->installedElection(), PluginElection::active);
    EXPECT_TRUE(pluginLog().contains(QStringLiteral("Installing extension from: ") + embedded()));
    EXPECT_TRUE(pluginLog().contains(QStringLiteral("Extension installed successfully")));

    // The next start finds the same copy and version, and leaves the registry alone.
    log.clear();
    tools->calls.clear();
    auto again = manager();
    settle(*again);
    EXPECT_TRUE(again->isInstalled());
    EXPECT_EQ(tools->calls.size(), 2u);
    for (const QString& line : pluginLog())
        EXPECT_FALSE(line.startsWith(QStringLiteral("Re-registering"))) << line.toStdString();
}

TEST_F(Registering, RegistersAgainAfterAnUpdateOrWhenAnotherCopyWins)
{
    writeExtension(embedded(), QStringLiteral("1.0.0"));
    registerCopy(embedded());
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        { "version bump", [&] { writeExtension(embedded(), QStringLiteral("1.1.0")); } },
        { "downgrade", [&] { writeExtension(embedded(), QStringLiteral("1.0.9")); } },
        { "a second copy elsewhere registered later",
            [&] {
                const QString other = home.filePath(QStringLiteral("Downloads/Quorvel.app/Contents/PlugIns/"
                                                                   "QuorvelExtension.appex"));
                writeExtension(other, QStringLiteral("1.0.9"));
                registerCopy(other);
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.change();
        const QString version = *system.bundle(embedded())->shortVersion;
        log.clear();
        auto m = manager();
        settle(*m);
        EXPECT_TRUE(
            pluginLog().contains(QStringLiteral("Re-registering embedded extension after update: ") + embedded()));
        EXPECT_EQ(m->installedPath(), embedded());
        EXPECT_EQ(m->installedVersion(), version);
        EXPECT_EQ(m->installedElection(), PluginElection::active);
        EXPECT_EQ(m->lastError(), std::nullopt);
    }
}

TEST_F(Registering, OnlyACopyElsewhereIsReplacedByTheEmbeddedOne)
{
    writeExtension(embedded(), QStringLiteral("2.0.0"));
    const QString old = home.filePath(QStringLiteral("Old/Quorvel.app/Contents/PlugIns/QuorvelExtension.appex"));
    writeExtension(old, QStringLiteral("1.0.0"));
    registerCopy(old);
    auto m = manager();
    settle(*m);
    EXPECT_EQ(m->installedPath(), embedded());
    EXPECT_EQ(m->installedVersion(), QStringLiteral("2.0.0"));

    // A missing embedded bundle is never registered, whatever the registry says.
    QDir(appPath).removeRecursively();
    registerCopy(old);
    tools->calls.clear();
    auto gone = manager();
    settle(*gone);
    // The embedded entry is still the one shown (now superseded), and it is not registered again.
    EXPECT_EQ(gone->installedPath(), embedded());
    EXPECT_EQ(gone->installedElection(), PluginElection::superseded);
    EXPECT_EQ(tools->calls.size(), 2u);
    const int before = int(tools->calls.size());
    EXPECT_EQ(
        pluginErrorOf([&] { await(gone->install()); }), QStringLiteral("Embedded extension not found in app bundle"));
    EXPECT_EQ(int(tools->calls.size()), before);
    EXPECT_EQ(gone->lastError(), std::nullopt);
    EXPECT_FALSE(gone->isLoading());
}

// Registry tools that misbehave: the state shows what happened, and nothing foreign counts as ours.
TEST_F(Registering, ToolsThatFailPrintGarbageOrForgeLines)
{
    writeExtension(embedded(), QStringLiteral("1.0.0"));
    const QByteArray ours
        = "printf '+    com.quorvel.Quorvel.Extension(1.0.0)\\tU\\tD\\t" + embedded().toUtf8() + "\\n'";
    const struct {
        const char* name;
        QByteArray script;
        bool installed;
        std::optional<QString> error;
        const char* logged;
    } cases[] = {
        { "exits non-zero after a valid listing", ours + "\nexit 3", true, std::nullopt,
            "Process exited with status: 3" },
        { "garbage", "printf 'pluginkit: \\377\\376 nonsense (\\n\\t\\t/\\n'", false, std::nullopt,
            "pluginkit registration: path=none version=none election=none" },
        { "not valid UTF-8 around a valid line", ours + "\nprintf '\\377\\n'", false, std::nullopt, nullptr },
        { "forged foreign identifiers",
            "printf '+    x.com.quorvel.Quorvel.Extension(9)\\tU\\tD\\t/evil/QuorvelExtension.appex\\n'\n"
            "printf '+    com.quorvel.Quorvel.ExtensionEvil(9)\\tU\\tD\\t/evil/E.appex\\n'\n"
            "printf '+    com.quorvel.Quorvel.Extension\\001(9)\\tU\\tD\\t/evil/E.appex\\n'",
            false, std::nullopt, "pluginkit registration: path=none version=none election=none" },
        { "killed by a signal", "kill -9 $$", false,
            std::optional<QString>(QStringLiteral("quorvel-pluginkit -m -A -D -v -p com.apple.screensaver exited with "
                                                  "status -1")),
            "Process exited with status: -1" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        const QString tool = writeScript(home.filePath(QStringLiteral("quorvel-pluginkit")), c.script);
        auto m = manager(tool);
        settle(*m);
        EXPECT_EQ(m->isInstalled(), c.installed);
        if (c.error) {
            EXPECT_TRUE(m->lastError().value_or(QString()).startsWith(*c.error)) << m->lastError()->toStdString();
        } else {
            EXPECT_EQ(m->lastError(), std::nullopt);
        }
        if (c.logged) {
            EXPECT_TRUE(pluginLog().contains(QString::fromUtf8(c.logged))) << pluginLog().join('\n').toStdString();
        }
    }
}

TEST_F(Registering, FailedRegistrationIsThrownAndPublished)
{
    writeExtension(embedded(), QStringLiteral("1.0.0"));
    const QString tool = writeScript(home.filePath(QStringLiteral("tool")),
        "case \"$1\" in -a) echo 'pluginkit: error: the registry is locked' >&2; exit 1;; esac");
    auto m = manager(tool);
    settle(*m);
    const QString expected
        = QStringLiteral("QuorvelExtension.appex exited with status 1: pluginkit: error: the registry is locked");
    EXPECT_EQ(pluginErrorOf([&] { await(m->install()); }), expected);
    EXPECT_EQ(m->lastError(), expected);
    EXPECT_FALSE(m->isLoading());
    EXPECT_FALSE(m->isInstalled());
    EXPECT_TRUE(pluginLog().contains(QStringLiteral("Process exited with status: 1")));

    // A missing tool: a launch error in the state, and the same from install.
    auto missing = manager(home.filePath(QStringLiteral("no-such-tool")));
    settle(*missing);
    ASSERT_TRUE(missing->lastError());
    EXPECT_FALSE(missing->isInstalled());
    EXPECT_THROW(await(missing->install()), PluginError);
    auto unlocated = manager(std::nullopt);
    settle(*unlocated);
    EXPECT_TRUE(unlocated->lastError().value_or(QString()).contains(QStringLiteral("quorvel-pluginkit")));
}

namespace {

struct Enabling : ::testing::Test, InstallFixture {
    Enabling()
    {
        writeExtension(embedded(), QStringLiteral("1.0.0"));
        arrange({ 2, 1 });
    }
    const QString kRollback
        = QStringLiteral("Couldn't make the screensaver change; the previous settings were restored.");
};

} // namespace

TEST_F(Enabling, ARolledBackWriteKeepsTheUsersChoiceAndTellsWhy)
{
    auto m = manager();
    settle(*m);
    await(m->install());
    // The agent puts its own idea of the store back while the kit waits.
    sleeper->duringWait = [&] { writeStore(initial); };
    await(m->enableScreensaver());
    EXPECT_EQ(m->screensaverError(), kRollback);
    EXPECT_FALSE(m->isActiveScreensaver());
    EXPECT_FALSE(m->isCheckingScreensaver());
    EXPECT_EQ(store(), initial);
    // The status check that the enable action runs next keeps the reason; a later one clears it.
    m->checkActiveScreensaver();
    EXPECT_EQ(m->screensaverError(), kRollback);
    m->checkActiveScreensaver();
    EXPECT_EQ(m->screensaverError(), std::nullopt);
}

TEST_F(Enabling, TheCheckMatchesTheModuleNameExactly)
{
    auto m = manager();
    settle(*m);
    await(m->install());
    // Only one space of three names it.
    await(m->tessary().setScreensaverForSpace(QStringLiteral("QuorvelExtension"), quorvel::kit::fixtures::spaceUUID(3),
        std::nullopt, quorvel::kit::WriteOptions { .restartAgent = false }));
    m->checkActiveScreensaver();
    EXPECT_TRUE(m->isActiveScreensaver());

    writeStore(initial);
    QDir().mkpath(modulesDir() + QStringLiteral("/quorvelextension.appex"));
    await(m->tessary().setScreensaverEverywhere(
        QStringLiteral("quorvelextension"), quorvel::kit::WriteOptions { .restartAgent = false }));
    m->checkActiveScreensaver();
    EXPECT_FALSE(m->isActiveScreensaver());
    // An unreadable store names nothing.
    writeBytes("not a store");
    m->checkActiveScreensaver();
    EXPECT_FALSE(m->isActiveScreensaver());
}

// The app's own objects are enough to make a manager; the tool is the one beside the app, not one
// fixed when the app was built.
TEST_F(Registering, MadeFromTheAppsPlatformObjectsFindsTheToolBesideTheApp)
{
    quorvel::testing::EnvironmentGuard override("QUORVEL_PLUGINKIT");
    qunsetenv("QUORVEL_PLUGINKIT");
    writeExtension(embedded(), QStringLiteral("1.0.0"));
    const QString beside = home.filePath(QStringLiteral("Applications/quorvel-pluginkit"));
    ASSERT_TRUE(QFile::link(kTool, beside));

    PluginManagerServices services = systemPluginManagerServices(system, preferences, screens, home.path());
    EXPECT_EQ(services.toolPath, beside);
    PluginManager m(std::move(services));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m.isLoading(); }, 10000));
    EXPECT_EQ(m.lastError(), std::nullopt);
    await(m.install());
    EXPECT_EQ(m.installedPath(), embedded());
}
