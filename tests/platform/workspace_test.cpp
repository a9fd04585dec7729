#include "platform/workspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

using quorvel::platform::DesktopWorkspace;

bool waitFor(const std::function<bool()>& condition, int ms = 5000)
{
    for (int waited = 0; waited < ms; waited += 10) {
        if (condition())
            return true;
        QThread::msleep(10);
    }
    return condition();
}

QString writeScript(const QTemporaryDir& dir, const QString& name, const QString& marker)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(marker).toUtf8());
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QString readMarker(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QStringLiteral("<none>");
}

TEST(DesktopWorkspace, DeclarationsAreListedWhileHeld)
{
    QTemporaryDir dir;
    DesktopWorkspace workspace(QStringLiteral("/nonexistent"), dir.filePath("runtime"));
    EXPECT_TRUE(workspace.runningApplications().isEmpty());
    {
        auto declaration = workspace.declareRunning("com.quorvel.Quorvel", "/home/u/Applications/Quorvel.app");
        const auto running = workspace.runningApplications();
        ASSERT_EQ(running.size(), 1);
        EXPECT_EQ(running.first().bundleIdentifier, "com.quorvel.Quorvel");
        EXPECT_EQ(running.first().bundlePath, "/home/u/Applications/Quorvel.app");
        EXPECT_EQ(running.first().pid, QCoreApplication::applicationPid());
        EXPECT_FALSE(workspace.isTerminated(QCoreApplication::applicationPid()));
    }
    EXPECT_TRUE(workspace.runningApplications().isEmpty());
}

TEST(DesktopWorkspace, AChildDeclaresItselfIsTerminatedAndItsLeftoverIsDropped)
{
    QTemporaryDir dir;
    const QString runtime = dir.filePath("runtime");
    DesktopWorkspace workspace(QStringLiteral("/nonexistent"), runtime);
    QProcess child;
    child.start(QStringLiteral(QUORVEL_BIN_DIR "/platform_test_child"),
        { "declare", runtime, "com.apple.Wallpaper-Settings.extension", "/opt/saver" });
    ASSERT_TRUE(child.waitForReadyRead(10'000));
    ASSERT_EQ(child.readLine().trimmed(), "ready");

    const auto running = workspace.runningApplications();
    ASSERT_EQ(running.size(), 1);
    EXPECT_EQ(running.first().bundleIdentifier, "com.apple.Wallpaper-Settings.extension");
    EXPECT_EQ(running.first().pid, child.processId());
    EXPECT_FALSE(workspace.isTerminated(child.processId()));

    const qint64 pid = child.processId();
    EXPECT_TRUE(workspace.terminate(pid));
    ASSERT_TRUE(child.waitForFinished(10'000));
    EXPECT_TRUE(workspace.isTerminated(pid));
    // Killed by the signal, the child could not remove its file; the list must not believe it.
    EXPECT_EQ(QDir(runtime).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(workspace.runningApplications().isEmpty());
    EXPECT_TRUE(QDir(runtime).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(workspace.terminate(pid));
}

TEST(DesktopWorkspace, NeverSignalsProcessGroups)
{
    DesktopWorkspace workspace(QStringLiteral("/nonexistent"), QDir::tempPath() + "/quorvel-unused");
    // kill(0) and kill(-1) would reach this test's whole group or every process of the user.
    EXPECT_FALSE(workspace.terminate(0));
    EXPECT_FALSE(workspace.terminate(-1));
    EXPECT_TRUE(workspace.isTerminated(0));
}

TEST(DesktopWorkspace, IgnoresARuntimeFolderOthersCouldWriteTo)
{
    QTemporaryDir dir;
    const QString runtime = dir.filePath("runtime");
    DesktopWorkspace workspace(QStringLiteral("/nonexistent"), runtime);
    auto declaration = workspace.declareRunning("com.quorvel.Quorvel", "/opt/Quorvel.app");
    ASSERT_EQ(workspace.runningApplications().size(), 1);
    // A planted entry could otherwise steer SIGTERM at any of our processes.
    QFile::setPermissions(runtime,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::WriteOther
            | QFileDevice::ExeOther | QFileDevice::ReadOther);
    EXPECT_TRUE(workspace.runningApplications().isEmpty());

    const QString link = dir.filePath("link");
    ASSERT_TRUE(QFile::link(runtime, link));
    EXPECT_TRUE(DesktopWorkspace(QStringLiteral("/nonexistent"), link).runningApplications().isEmpty());
}

TEST(DesktopWorkspace, SpecialUrlsStartTheSaver)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("saver-args");
    DesktopWorkspace workspace(writeScript(dir, "quorvel-saver", marker), dir.filePath("runtime"));

    ASSERT_TRUE(workspace.openURL(QUrl("x-apple.systempreferences:com.apple.Wallpaper-Settings.extension")));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(marker); }));
    EXPECT_EQ(readMarker(marker), "--settings");
    QFile::remove(marker);

    ASSERT_TRUE(workspace.openURL(QUrl::fromLocalFile("/System/Library/CoreServices/ScreenSaverEngine.app")));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(marker); }));
    EXPECT_EQ(readMarker(marker), "");
}

TEST(DesktopWorkspace, OpensApplicationsThroughTheirInfoPlist)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("app-args");
    const QString bundle = dir.filePath("Quorvel.app");
    QDir().mkpath(bundle + "/Contents/MacOS");
    QFile::rename(writeScript(dir, "Quorvel", marker), bundle + "/Contents/MacOS/Quorvel");
    QFile info(bundle + "/Contents/Info.plist");
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>Quorvel</string></dict></plist>");
    info.close();

    DesktopWorkspace workspace(QStringLiteral("/nonexistent"), dir.filePath("runtime"));
    ASSERT_TRUE(workspace.openApplication(bundle, { "--relaunched" }));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(marker); }));
    EXPECT_EQ(readMarker(marker), "--relaunched");
    EXPECT_FALSE(workspace.openApplication(dir.filePath("Missing.app"), {}));
}

} // namespace
