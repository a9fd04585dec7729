// The real executable in a throwaway home: one agent per session, the idle time set and printed
// through the kit and reaching a running agent through the preference file, and a module the
// registry has turned off never played.
#include "host/idle_agent_fakes.h"
#include "kit/tessary.h"
#include "platform/preference_watcher.h"
#include "platform/preferences.h"
#include "platform/single_instance.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

struct Home {
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    Home()
    {
        for (const char* folder : { "home", "config", "data", "runtime" })
            QDir().mkpath(dir.filePath(folder));
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Run run(const QStringList& arguments, int timeoutMs = 20000) const
    {
        QProcess saver;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", path("home"));
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("XDG_RUNTIME_DIR", path("runtime"));
        environment.insert("QUORVEL_PLUGINKIT", QString::fromUtf8(QUORVEL_PLUGINKIT));
        environment.remove("XSCREENSAVER_WINDOW");
        saver.setProcessEnvironment(environment);
        saver.start(QString::fromUtf8(QUORVEL_SAVER), arguments);
        Run result;
        if (!saver.waitForFinished(timeoutMs)) {
            saver.kill();
            saver.waitForFinished();
            ADD_FAILURE() << "quorvel-saver " << arguments.join(' ').toStdString() << " did not end";
            return result;
        }
        result.exitCode = saver.exitStatus() == QProcess::NormalExit ? saver.exitCode() : -1;
        result.out = QString::fromUtf8(saver.readAllStandardOutput());
        result.err = QString::fromUtf8(saver.readAllStandardError());
        return result;
    }

    int registry(const QStringList& arguments) const
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", path("data"));
        tool.setProcessEnvironment(environment);
        tool.start(QString::fromUtf8(QUORVEL_PLUGINKIT), arguments);
        return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
};

TEST(AgentProcess, ASecondAgentOfTheSessionEndsAtOnce)
{
    Home home;
    // This test is the session's agent: it holds the agent's claim as a running agent would.
    quorvel::platform::LocalSocketSingleInstance first(
        QString::fromLatin1(quorvel::saver::kAgentInstanceName), home.path("runtime/quorvel"));
    ASSERT_EQ(first.claim(), quorvel::platform::SingleInstance::Claim::Primary);
    const Home::Run second = home.run({ "--agent" }, 10000);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(second.out, "quorvel-saver: the idle agent already runs in this session\n");
}

TEST(AgentProcess, TheIdleTimeIsSetPrintedAndFollowedByARunningAgent)
{
    Home home;
    auto preferences = std::make_shared<quorvel::platform::FilePreferences>(
        QStringLiteral("com.quorvel.saver"), home.path("config/quorvel/Preferences"));
    auto env = std::make_shared<quorvel::kit::KitEnvironment>();
    env->preferences = preferences;
    quorvel::kit::Tessary kit(env);
    quorvel::testing::Rig rig;
    rig.source = [&kit] { return kit.getIdleTime(); };
    const auto watcher = quorvel::platform::watchPreferenceSuite(preferences->domain("com.apple.screensaver", true));
    QObject::connect(watcher.get(), &quorvel::platform::PreferenceWatcher::changed, &rig.agent,
        &quorvel::saver::IdleAgent::idleTimeChanged);
    ASSERT_EQ(rig.agent.start(), QString());

    EXPECT_EQ(home.run({ "--idle-time" }).out, "300\n") << "absent means 5 minutes";
    ASSERT_EQ(home.run({ "--idle-time", "42" }).exitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.monitor.watches.back() == 42s; }, 5000))
        << "the running agent re-arms without a restart";
    EXPECT_EQ(kit.getIdleTime(), 42);
    EXPECT_EQ(home.run({ "--idle-time" }).out, "42\n");

    // Every later write replaces the file whole: the watch survives the rename.
    ASSERT_EQ(home.run({ "--idle-time=0" }).exitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.monitor.watches.back() == 0ms; }, 5000)) << "Never disarms";

    const Home::Run negative = home.run({ "--idle-time", "-5" });
    EXPECT_EQ(negative.exitCode, 1);
    EXPECT_EQ(negative.err, "quorvel-saver: Invalid configuration: Idle time cannot be negative\n");
    EXPECT_EQ(home.run({ "--idle-time", "soon" }).exitCode, 64);
    EXPECT_EQ(home.run({ "--idle-time" }).out, "0\n") << "a refused value writes nothing";
}

TEST(AgentProcess, AModuleTurnedOffInTheRegistryIsNotPlayed)
{
    Home home;
    const QString bundle = home.path("Apps/Quorvel.app/Contents/PlugIns/QuorvelExtension.appex");
    QDir().mkpath(bundle + "/Contents/MacOS");
    QFile::copy(QString::fromUtf8(HOST_TEST_MODULE), bundle + "/Contents/MacOS/libtest.so");
    quorvel::testing::writeFile(bundle + "/Contents/Info.plist",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>com.quorvel.Quorvel.Extension</string>"
        "<key>CFBundleShortVersionString</key><string>1.0</string>"
        "<key>QuorvelPlugInLibrary</key><string>MacOS/libtest.so</string></dict></plist>");
    ASSERT_EQ(home.registry({ "-a", bundle }), 0);
    ASSERT_EQ(home.registry({ "-e", "ignore", "-i", "com.quorvel.Quorvel.Extension" }), 0);

    const Home::Run off = home.run({ "--bundle", bundle, "--preview" });
    EXPECT_EQ(off.exitCode, 1);
    EXPECT_TRUE(off.err.contains("quorvel-saver: turned off: com.quorvel.Quorvel.Extension")) << off.err.toStdString();
    EXPECT_FALSE(off.err.contains("loaded ")) << "nothing of it is loaded";

    // Turned on again, the same bundle gets as far as its library (removed here, so the run ends).
    ASSERT_EQ(home.registry({ "-e", "use", "-i", "com.quorvel.Quorvel.Extension" }), 0);
    QFile::remove(bundle + "/Contents/MacOS/libtest.so");
    const Home::Run on = home.run({ "--bundle", bundle, "--preview" });
    EXPECT_EQ(on.exitCode, 1);
    EXPECT_FALSE(on.err.contains("turned off")) << on.err.toStdString();
}

} // namespace
