#include "platform/workspace.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

using quorvel::platform::DesktopWorkspace;
using quorvel::testing::writeFile;
using quorvel::testing::writeScript;

const QString kNoSaver = QStringLiteral("/nonexistent");

TEST(DesktopWorkspace, DeclarationsAreListedWhileHeldAndNothingElseIsBelieved)
{
    QTemporaryDir dir;
    DesktopWorkspace workspace(kNoSaver, dir.filePath("runtime"));
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
    // kill(0) and kill(-1) would reach this test's whole group or every process of the user.
    EXPECT_FALSE(workspace.terminate(0));
    EXPECT_FALSE(workspace.terminate(-1));
    EXPECT_TRUE(workspace.isTerminated(0));

    // A runtime folder others could write to is ignored: a planted entry could steer SIGTERM anywhere.
    const QString runtime = dir.filePath("runtime");
    auto declaration = workspace.declareRunning("com.quorvel.Quorvel", "/opt/Quorvel.app");
    ASSERT_EQ(workspace.runningApplications().size(), 1);
    QFile::setPermissions(runtime, QFile::permissions(runtime) | QFileDevice::WriteOther);
    EXPECT_TRUE(workspace.runningApplications().isEmpty());
    ASSERT_TRUE(QFile::link(runtime, dir.filePath("link")));
    EXPECT_TRUE(DesktopWorkspace(kNoSaver, dir.filePath("link")).runningApplications().isEmpty());
}

TEST(DesktopWorkspace, AChildDeclaresItselfIsTerminatedAndItsLeftoverIsDropped)
{
    QTemporaryDir dir;
    const QString runtime = dir.filePath("runtime");
    DesktopWorkspace workspace(kNoSaver, runtime);
    QProcess child;
    child.start(QStringLiteral(QUORVEL_BIN_DIR "/platform_test_child"),
        { "declare", runtime, "com.apple.Wallpaper-Settings.extension", "/opt/saver" });
    ASSERT_TRUE(child.waitForReadyRead(10'000));
    ASSERT_EQ(child.readLine().trimmed(), "ready");
    const qint64 pid = child.processId();
    const auto running = workspace.runningApplications();
    ASSERT_EQ(running.size(), 1);
    EXPECT_EQ(running.first().bundleIdentifier, "com.apple.Wallpaper-Settings.extension");
    EXPECT_EQ(running.first().pid, pid);
    EXPECT_FALSE(workspace.isTerminated(pid));

    EXPECT_TRUE(workspace.terminate(pid));
    ASSERT_TRUE(child.waitForFinished(10'000));
    EXPECT_TRUE(workspace.isTerminated(pid));
    // Killed by the signal, the child could not remove its file; the list must not believe it.
    EXPECT_EQ(QDir(runtime).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(workspace.runningApplications().isEmpty());
    EXPECT_TRUE(QDir(runtime).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(workspace.terminate(pid));
}

// Scripts that record their arguments stand in for the saver host and for an application.
TEST(DesktopWorkspace, OpensTheSaverForItsUrlsAndApplicationsThroughTheirInfoPlist)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("args");
    const QString bundle = dir.filePath("Quorvel.app");
    for (const QString& path : { dir.filePath("quorvel-saver"), bundle + "/Contents/MacOS/Quorvel" })
        writeScript(path, QStringLiteral("echo \"$@\" > '%1.tmp'; mv '%1.tmp' '%1'\n").arg(marker).toUtf8());
    writeFile(bundle + "/Contents/Info.plist",
        "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>Quorvel</string></dict></plist>");
    const auto argumentsSeen = [&] {
        for (int waited = 0; waited < 5000 && !QFile::exists(marker); waited += 10)
            QThread::msleep(10);
        QFile file(marker);
        const QString seen
            = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QStringLiteral("<none>");
        QFile::remove(marker);
        return seen;
    };

    DesktopWorkspace workspace(dir.filePath("quorvel-saver"), dir.filePath("runtime"));
    ASSERT_TRUE(workspace.openURL(QUrl("x-apple.systempreferences:com.apple.Wallpaper-Settings.extension")));
    EXPECT_EQ(argumentsSeen(), "--settings");
    ASSERT_TRUE(workspace.openURL(QUrl::fromLocalFile("/System/Library/CoreServices/ScreenSaverEngine.app")));
    EXPECT_EQ(argumentsSeen(), "");
    ASSERT_TRUE(workspace.openApplication(bundle, { "--relaunched" }));
    EXPECT_EQ(argumentsSeen(), "--relaunched");
    EXPECT_FALSE(workspace.openApplication(dir.filePath("Missing.app"), {}));
}

} // namespace
