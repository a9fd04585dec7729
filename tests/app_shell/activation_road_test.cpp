// The road of activation on this machine's own pieces, from a fresh home: "Enable as Screensaver"
// registers the built extension with the real registry tool, writes the store through the guarded
// write on the displays and spaces this desktop has, and the real screensaver host then plays the
// very module the store names. The user's earlier choice is the backup and comes back on a rollback.
#include "app/shell/content_view.h"
#include "app/shell/quorvel_app.h"
#include "content_fixture.h"
#include "kit/kit_environment.h"
#include "kit/kit_environment_fixture.h"
#include "kit/tessary.h"
#include "platform/preferences.h"
#include "platform/screens.h"
#include "platform/screensaver_daemon.h"
#include "platform/spaces.h"
#include "shell_doubles.h"
#include "support/coro.h"
#include "support/environment_guard.h"
#include "support/memory_preferences.h"

#include "extension_bundle_paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvel::app {
namespace {

using quorvel::testing::EnvironmentGuard;

const QString kBuiltApp = QStringLiteral(QUORVEL_BIN_DIR "/Quorvel.app");
const QString kSaver = QStringLiteral(QUORVEL_BIN_DIR "/quorvel-saver");
const QString kRollback = QStringLiteral("Couldn't make the screensaver change; the previous settings were restored.");

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ActivationRoad : public ::testing::Test {
protected:
    ActivationRoad()
    {
        // Both this process and the host read the same home, settings and registry.
        for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME" })
            qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
        qputenv("HOME", home.path().toUtf8());
        qunsetenv("QUORVEL_PLUGINKIT");
        bundles.main = bundles.disk.bundle(kBuiltApp);
        // The user's own screensaver, chosen before Quorvel came.
        QDir().mkpath(home.filePath(QStringLiteral("Library/Screen Savers/Drift.saver")));
    }

    // A content view over this desktop's real screens, synthesised spaces and registry tool; only
    // the kit's settle wait and the agent restart are stood in for.
    std::unique_ptr<ContentView> makeView()
    {
        auto screens = std::make_shared<platform::QtScreens>();
        auto preferences = std::make_shared<platform::FilePreferences>(
            QStringLiteral("com.quorvel.Quorvel"), QString(), std::make_shared<platform::SynthesizedSpaces>(screens));
        PluginManagerServices plugins = systemPluginManagerServices(bundles, preferences, screens, home.path());
        EXPECT_EQ(plugins.toolPath, kBuiltApp + QStringLiteral("/Contents/MacOS/quorvel-pluginkit"))
            << "the copy the app carries";
        plugins.kit->sleeper = sleeper;
        plugins.kit->killallPath = QStringLiteral("/bin/true");
        if (!app)
            app = std::make_unique<QuorvelApp>(doubles.services(kBuiltApp, { QStringLiteral(QUORVEL_BIN_DIR) }));
        auto view = std::make_unique<ContentView>(ContentServices { app->auth(), app->generation(), app->appLocation(),
            observedDefaults, doubles.workspace, daemon, std::move(plugins), {}, [](const QString&) {}, QString(),
            { idle, sessions, {}, autostart, agentRunner, kSaver } });
        EXPECT_TRUE(QTest::qWaitFor([&] { return !view->pluginManager().isLoading(); }, 10000));
        return view;
    }

    QString storePath() const
    {
        return home.filePath(QStringLiteral("Library/Application Support/com.apple.wallpaper/Store/Index.plist"));
    }

    // Runs the host as the desktop would, until it has loaded a module or given up; its error output.
    QString runHost()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("QT_LOGGING_RULES", "com.quorvel.Quorvel.Host.info=true");
        environment.insert("QUORVEL_PLUGINKIT", QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit"));
        // The feed's service is a closed port: the module plays its own sample clip.
        environment.insert("QUORVEL_SERVICE_URL", "http://127.0.0.1:9");
        environment.insert("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")));
        environment.insert("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("run")));
        environment.remove("XSCREENSAVER_WINDOW");
        QDir().mkpath(home.filePath(QStringLiteral("run")));
        QFile::setPermissions(
            home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess host;
        host.setProcessEnvironment(environment);
        host.start(kSaver, {});
        QString errors;
        (void)QTest::qWaitFor(
            [&] {
                host.waitForReadyRead(50);
                errors += QString::fromUtf8(host.readAllStandardError());
                return errors.contains(QStringLiteral("loaded ")) || host.state() == QProcess::NotRunning;
            },
            20000);
        if (host.state() != QProcess::NotRunning) {
            host.terminate();
            host.waitForFinished(15000);
        }
        return errors + QString::fromUtf8(host.readAllStandardError());
    }

    // The user's earlier choice, made everywhere before Quorvel was enabled.
    void chooseDrift(ContentView& view)
    {
        quorvel::testing::await(view.pluginManager().tessary().setScreensaverEverywhere(
            QStringLiteral("Drift"), kit::WriteOptions { .restartAgent = false }));
        ASSERT_EQ(view.pluginManager().tessary().getActiveScreensavers(), QStringList { QStringLiteral("Drift") });
    }

    QTemporaryDir home;
    EnvironmentGuard homeGuard { "HOME" }, configGuard { "XDG_CONFIG_HOME" }, dataGuard { "XDG_DATA_HOME" },
        toolGuard { "QUORVEL_PLUGINKIT" };
    testing::BundleSystem bundles;
    std::shared_ptr<kit::fixtures::HookSleeper> sleeper = std::make_shared<kit::fixtures::HookSleeper>();
    quorvel::testing::AppDoubles doubles;
    quorvel::testing::MemoryPreferenceSuite defaults;
    UserDefaults observedDefaults { defaults };
    contentTesting::RecordingDaemon daemon;
    contentTesting::StubIdleMonitor idle;
    contentTesting::ToldSessionScreensavers sessions;
    platform::XdgAutostart autostart { home.filePath(QStringLiteral("XDG_CONFIG_HOME")) };
    kit::fixtures::ScriptedProcessRunner agentRunner;
    std::unique_ptr<QuorvelApp> app;
};

TEST_F(ActivationRoad, FromAFreshHomeEnableRegistersWritesVerifiesAndTheHostPlaysQuorvel)
{
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral(QUORVEL_EXTENSION_BUNDLE_DIR)));
    auto view = makeView();
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver not installed"));
    ASSERT_FALSE(QFileInfo::exists(storePath())) << "a fresh home: nothing has made the store yet";

    quorvel::testing::await(view->enable());
    EXPECT_EQ(view->errorText(), std::nullopt);
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    EXPECT_TRUE(view->showsAllSet());
    EXPECT_EQ(view->pluginManager().installedPath(), QDir::cleanPath(QStringLiteral(QUORVEL_EXTENSION_BUNDLE_DIR)));
    EXPECT_NE(
        std::find(sleeper->waits.begin(), sleeper->waits.end(), std::chrono::milliseconds(3000)), sleeper->waits.end())
        << "the write waited for the agent before verifying";

    // The host, started as the desktop starts it, finds Quorvel through the store and the registry.
    const QString printed = runHost();
    EXPECT_TRUE(
        printed.contains(QStringLiteral("loaded ") + QDir::cleanPath(QStringLiteral(QUORVEL_EXTENSION_BUNDLE_DIR))))
        << printed.toStdString();

    // A new start of the app reads the same state.
    view.reset();
    EXPECT_EQ(makeView()->statusText(), QStringLiteral("Screensaver active"));
}

TEST_F(ActivationRoad, TheUsersEarlierScreensaverIsTheBackupAndStaysInForceOnARollback)
{
    // The desktop ran the host before: it made the store, and the user chose a screensaver of their own.
    EXPECT_TRUE(runHost().contains(QStringLiteral("no screensaver module is selected")));
    ASSERT_TRUE(QFileInfo::exists(storePath()));
    auto view = makeView();
    chooseDrift(*view);
    const QByteArray users = bytesOf(storePath());

    // The agent writes its own idea of the store back while the kit waits for it.
    sleeper->duringWait = [&] {
        QFile file(storePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(users);
    };
    quorvel::testing::await(view->enable());
    EXPECT_EQ(view->errorText(), kRollback);
    EXPECT_EQ(view->onboardingCaption(), kRollback);
    EXPECT_EQ(view->statusText(), QStringLiteral("Installed — not your active screensaver"));
    EXPECT_FALSE(view->showsAllSet());
    EXPECT_EQ(bytesOf(storePath()), users);
    EXPECT_EQ(view->pluginManager().tessary().getActiveScreensavers(), QStringList { QStringLiteral("Drift") });
    // The host does not play Quorvel: the user's own choice is still the one in force.
    const QString printed = runHost();
    EXPECT_FALSE(printed.contains(QStringLiteral("QuorvelExtension.appex"))) << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("Drift"))) << printed.toStdString();

    // Enabled for real, the user's choice is what a rollback would bring back.
    sleeper->duringWait = nullptr;
    quorvel::testing::await(view->enable());
    EXPECT_EQ(view->statusText(), QStringLiteral("Screensaver active"));
    EXPECT_EQ(bytesOf(storePath() + QStringLiteral(".backup")), users);
}

} // namespace
} // namespace quorvel::app
