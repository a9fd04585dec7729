// The whole move with the real pieces: a downloaded copy of the built app moves into the
// applications folder, gets its launcher entry, and the new copy really starts from there.
#include "app/shell/app_location_manager.h"
#include "platform/clock.h"
#include "platform/desktop_entries.h"
#include "platform/file_manager.h"
#include "platform/symbol_loader.h"
#include "platform/workspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBuiltBundle = QStringLiteral(QUORVEL_BIN_DIR "/Quorvel.app");

std::optional<qint64> runningFrom(const quorvel::platform::Workspace& workspace, const QString& bundlePath)
{
    for (const auto& app : workspace.runningApplications())
        if (app.bundleIdentifier == QLatin1String("com.quorvel.Quorvel") && app.bundlePath == bundlePath)
            return app.pid;
    return std::nullopt;
}

TEST(Relaunch, TheMovedCopyIsRegisteredAndStartsFromTheApplicationsFolder)
{
    if (!QFileInfo(kBuiltBundle + "/Contents/MacOS/Quorvel").isExecutable())
        GTEST_SKIP() << "Quorvel.app is not built";
    QTemporaryDir root;
    quorvel::platform::LocalFileManager files;
    const QString downloaded = root.filePath("Downloads/Quorvel.app");
    ASSERT_FALSE(files.makeFolder(root.filePath("Downloads")));
    ASSERT_FALSE(files.copyItem(kBuiltBundle, downloaded));

    // The new copy must reach nothing outside this test: no real service, its own runtime folder.
    qputenv("QUORVEL_SERVICE_URL", "http://127.0.0.1:9");
    qputenv("QUORVEL_CDN_URL", "http://127.0.0.1:9/cdn/");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath("runtime")));
    QFile::setPermissions(root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    quorvel::platform::DynamicSymbolLoader symbols;
    quorvel::platform::DesktopWorkspace workspace({}, root.filePath("runtime/quorvel"));
    quorvel::platform::TimerSleeper sleeper;
    quorvel::platform::XdgDesktopEntries entries(root.filePath("share"));
    bool quit = false;
    quorvel::app::AppLocationManager location(downloaded,
        { symbols, files, workspace, sleeper, entries, root.filePath("Applications"),
            QCoreApplication::applicationPid(), [&quit] { quit = true; }, {}, {} });
    ASSERT_TRUE(location.shouldOfferMove());
    location.moveToApplications(false);
    ASSERT_FALSE(location.fallbackMessage());
    EXPECT_TRUE(quit);

    const QString installed = root.filePath("Applications/Quorvel.app");
    EXPECT_TRUE(QFileInfo(installed + "/Contents/MacOS/Quorvel").isExecutable());
    EXPECT_TRUE(QFileInfo(installed + "/Contents/PlugIns/QuorvelExtension.appex/Contents/Info.plist").isFile());
    QFile entry(root.filePath("share/applications/com.quorvel.Quorvel.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("\nExec=\"" + QFile::encodeName(installed) + "/Contents/MacOS/Quorvel\"\n"));
    EXPECT_TRUE(QFileInfo(root.filePath("share/icons/hicolor/256x256/apps/com.quorvel.Quorvel.png")).size() > 0);

    std::optional<qint64> pid;
    QElapsedTimer waited;
    waited.start();
    while (!(pid = runningFrom(workspace, installed)) && waited.elapsed() < 15'000)
        QTest::qWait(50);
    ASSERT_TRUE(pid) << "the new copy never declared itself running";
    EXPECT_TRUE(workspace.terminate(*pid));
    waited.restart();
    while (!workspace.isTerminated(*pid) && waited.elapsed() < 10'000)
        QTest::qWait(50);
    EXPECT_TRUE(workspace.isTerminated(*pid)) << "the new copy ends on a polite request";
}

} // namespace
