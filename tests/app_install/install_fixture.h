#pragma once
// A PluginManager over a temporary home: the real registry tool (or a script standing in for it),
// an app bundle with the extension on disk, and a whole kit with injected clock, sleeper and spaces.

#include "app/install/plugin_manager.h"
#include "kit/kit_environment_fixture.h"
#include "kit/plist_codec.h"
#include "kit/tessary.h"
#include "support/environment_guard.h"
#include "support/log_capture.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvel::app::testing {

inline const QString kExtensionId = QStringLiteral("com.quorvel.Quorvel.Extension");
inline const QString kTool = QStringLiteral(QUORVEL_BIN_DIR "/quorvel-pluginkit");

// Runs children for real and counts the ones still running.
class CountingRunner final : public platform::ProcessRunner {
public:
    QCoro::Task<platform::ProcessResult> run(
        QString program, QStringList arguments, std::chrono::milliseconds timeout) override
    {
        ++running;
        calls.push_back(arguments);
        platform::ProcessResult result = co_await real.run(program, arguments, timeout);
        --running;
        co_return result;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        return real.startDetached(program, arguments);
    }

    platform::QProcessRunner real;
    int running = 0;
    std::vector<QStringList> calls;
};

// The running app is `main`; other bundles are read from disk as the system reads them.
class BundleSystem final : public platform::OperatingSystem {
public:
    platform::OperatingSystemVersion version() const override { return { 14, 0, 0 }; }
    std::optional<platform::BundleInfo> mainBundle() const override { return main; }
    std::optional<platform::BundleInfo> bundle(const QString& path) const override { return disk.bundle(path); }

    std::optional<platform::BundleInfo> main;
    platform::LinuxOperatingSystem disk;
};

// An extension bundle at `appex` with the given short version (and a build number that differs from it).
inline void writeExtension(const QString& appex, const QString& shortVersion, const QString& identifier = kExtensionId)
{
    QDir().mkpath(appex + QStringLiteral("/Contents"));
    QFile info(appex + QStringLiteral("/Contents/Info.plist"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly | QIODevice::Truncate));
    info.write(*kit::serializeXmlPlist(QVariantMap { { QStringLiteral("CFBundleIdentifier"), identifier },
                                           { QStringLiteral("CFBundleShortVersionString"), shortVersion },
                                           { QStringLiteral("CFBundleVersion"), QStringLiteral("77") },
                                           { QStringLiteral("NSExtension"),
                                               QVariantMap { { QStringLiteral("NSExtensionPointIdentifier"),
                                                   QStringLiteral("com.apple.screensaver") } } } })
                    .bytes);
}

// A stand-in registry tool: a shell script (of our own test) at a path in the temporary home.
inline QString writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

struct InstallFixture : kit::fixtures::KitFixture {
    quorvel::testing::EnvironmentGuard dataHome { "XDG_DATA_HOME" };
    std::shared_ptr<CountingRunner> tools = std::make_shared<CountingRunner>();
    BundleSystem system;
    quorvel::testing::LogCapture log;
    QString appPath;

    InstallFixture()
    {
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        appPath = home.filePath(QStringLiteral("Applications/Quorvel.app"));
        platform::BundleInfo app;
        app.bundlePath = appPath;
        app.identifier = QStringLiteral("com.quorvel.Quorvel");
        app.plugInsPath = appPath + QStringLiteral("/Contents/PlugIns");
        app.executablePath = appPath + QStringLiteral("/Contents/MacOS/Quorvel");
        system.main = app;
        // The kit finds the module through the same registry, not in a screensaver folder.
        QDir(modulesDir() + QStringLiteral("/QuorvelExtension.appex")).removeRecursively();
        env->pluginkit = std::make_shared<kit::PluginkitManager>(tools, kTool);
    }

    QString embedded() const { return appPath + QStringLiteral("/Contents/PlugIns/QuorvelExtension.appex"); }

    std::unique_ptr<PluginManager> manager(std::optional<QString> tool = kTool)
    {
        return std::make_unique<PluginManager>(PluginManagerServices { tools, tool, system, env });
    }

    // Until the start-up work (and whatever it started) is done.
    void settle(const PluginManager& m)
    {
        for (int quiet = 0; quiet < 3; ++quiet) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return tools->running == 0 && !m.isLoading(); }, 10000));
            QCoreApplication::processEvents();
        }
    }

    // Runs the real tool directly, as another program registering a copy would.
    void registerCopy(const QString& path)
    {
        QProcess p;
        p.start(kTool, { QStringLiteral("-a"), path });
        ASSERT_TRUE(p.waitForFinished(10000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }

    QStringList pluginLog() const { return log.messages(QStringLiteral("com.quorvel.Quorvel.PluginManager")); }
};

} // namespace quorvel::app::testing
