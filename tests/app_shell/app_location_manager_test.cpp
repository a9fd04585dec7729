#include "app/shell/app_location_manager.h"
#include "app/shell/translocation.h"
#include "platform/locations.h"
#include "support/log_capture.h"
#include "support/manual_clock.h"
#include "tests/app_shell/shell_doubles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

using quorvel::app::AppLocationManager;
using quorvel::testing::LogCapture;

const QString kCategory = QStringLiteral("com.quorvel.Quorvel.AppLocation");

// Translocation functions with each answer the system can give.
extern "C" {
bool notTranslocated(const char*, bool* translocated, const char**)
{
    *translocated = false;
    return true;
}
bool translocated(const char*, bool* result, const char**)
{
    *result = true;
    return true;
}
bool checkFails(const char*, bool*, const char** error)
{
    *error = "The path is not a bundle";
    return false;
}
bool checkFailsSilently(const char*, bool*, const char**)
{
    return false;
}
const char* originalInDownloads(const char*, const char**)
{
    return "/srv/original/Downloads/Quorvel.app";
}
const char* noOriginal(const char*, const char**)
{
    return nullptr;
}
const char* noOriginalWithReason(const char*, const char** error)
{
    *error = "The original is gone";
    return nullptr;
}
}

class AppLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        apps = root.filePath("Applications");
        packaged = root.filePath("usr/lib/quorvel");
        downloads = root.filePath("Downloads");
    }

    std::unique_ptr<AppLocationManager> manager(const QString& bundlePath)
    {
        AppLocationManager::Environment environment { symbols, files, workspace, sleeper, entries, { apps, packaged },
            1000,
            [this] {
                journal << "terminate";
                ++endings;
            },
            [this] { journal << "release"; }, [this] { journal << "reclaim"; } };
        auto location = std::make_unique<AppLocationManager>(bundlePath, environment);
        QObject::connect(location.get(), &AppLocationManager::moveFailed, [this] { ++endings; });
        return location;
    }

    // Starts a move and waits until it has ended, relaunched or failed.
    void move(AppLocationManager& location, bool replaceExisting)
    {
        const int before = endings;
        location.moveToApplications(replaceExisting);
        if (location.isMoving()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return endings > before; }, 10000));
        }
    }

    // A bundle with an executable, a link and the icon; `marker` tells copies apart.
    QString makeBundle(const QString& path, const QByteArray& marker)
    {
        EXPECT_TRUE(QDir().mkpath(path + "/Contents/MacOS"));
        EXPECT_TRUE(QDir().mkpath(path + "/Contents/Resources"));
        QFile executable(path + "/Contents/MacOS/Quorvel");
        EXPECT_TRUE(executable.open(QIODevice::WriteOnly));
        executable.write(marker);
        executable.close();
        executable.setPermissions(executable.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        QFile icon(path + "/Contents/Resources/Quorvel.png");
        EXPECT_TRUE(icon.open(QIODevice::WriteOnly));
        icon.write("png");
        icon.close();
        EXPECT_TRUE(QFile::link("MacOS/Quorvel", path + "/Contents/Current"));
        return path;
    }

    static QByteArray marker(const QString& bundle)
    {
        QFile file(bundle + "/Contents/MacOS/Quorvel");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }

    // Hidden entries of the applications folder: staged copies that were left behind.
    QStringList leftovers() const
    {
        return QDir(apps)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            .filter(QRegularExpression("^\\."));
    }

    QTemporaryDir root;
    QString apps;
    QString packaged;
    QString downloads;
    quorvel::testing::ManualClock clock;
    quorvel::testing::ManualSleeper sleeper { clock };
    quorvel::testing::ScriptedSymbolLoader symbols;
    quorvel::testing::FaultyFileManager files;
    quorvel::testing::ShellWorkspace workspace;
    quorvel::testing::RecordingDesktopEntries entries;
    QStringList journal;
    int endings = 0; // moves that relaunched or failed
};

TEST_F(AppLocationTest, OffersTheMoveOnlyOutsideTheApplicationsFolder)
{
    const struct {
        const char* name;
        QString path;
        bool offer;
    } rows[] = {
        { "downloads", "/Downloads/Quorvel.app", true },
        { "installed", "/Applications/Quorvel.app", false },
        { "subfolder counts as installed", "/Applications/Utilities/Quorvel.app", false },
        { "the folder itself", "/Applications", false },
        { "a sibling sharing the prefix", "/ApplicationsOld/Quorvel.app", true },
        { "dot-dot leaves the folder", "/Applications/../Downloads/Quorvel.app", true },
        { "trailing slash inside", "/Applications/Quorvel.app/", false },
        { "the package's copy", "/usr/lib/quorvel/Quorvel.app", false },
        { "beside the package's folder", "/usr/lib/Quorvel.app", true },
        { "a folder sharing the package's prefix", "/usr/lib/quorvel-old/Quorvel.app", true },
    };
    for (const auto& row : rows) {
        const auto location = manager(root.path() + row.path);
        EXPECT_EQ(location->shouldOfferMove(), row.offer) << row.name;
        EXPECT_EQ(
            location->destinationPath(), apps + "/" + QFileInfo(QDir::cleanPath(root.path() + row.path)).fileName())
            << row.name;
    }
    EXPECT_TRUE(files.journal.isEmpty()) << "deciding touches no file";
    EXPECT_TRUE(entries.installed.empty()) << "only a move adds a launcher entry";
}

// The folders the app really runs with: the Debian package's copy is installed, the neighbours are not.
TEST_F(AppLocationTest, ThePackagesFolderCountsAsInstalledOnThisPlatform)
{
    const QStringList folders = quorvel::platform::applicationsFolders();
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(folders[0], QDir::homePath() + "/Applications") << "moves go to the user's own folder";
    AppLocationManager::Environment environment { symbols, files, workspace, sleeper, entries, folders, 1000, {}, {},
        {} };
    EXPECT_FALSE(AppLocationManager(QStringLiteral("/usr/lib/quorvel/Quorvel.app"), environment).shouldOfferMove());
    EXPECT_TRUE(AppLocationManager(QStringLiteral("/usr/lib/Quorvel.app"), environment).shouldOfferMove());
    EXPECT_TRUE(AppLocationManager(root.filePath("Downloads/Quorvel.app"), environment).shouldOfferMove());
}

TEST_F(AppLocationTest, NotRunningFromABundleOffersNothingAndMovesNothing)
{
    const auto location = manager(QString());
    EXPECT_FALSE(location->shouldOfferMove());
    move(*location, true);
    EXPECT_FALSE(location->isMoving());
    EXPECT_TRUE(files.journal.isEmpty());
}

TEST_F(AppLocationTest, TranslocationAnswersDecideTheSourceAndTheOffer)
{
    const QString running = apps + "/Quorvel.app"; // inside: only translocation can make it offer
    const struct {
        const char* name;
        void* check;
        void* original;
        bool offer;
        QString source;
        QString logLine;
    } rows[] = {
        { "no functions", nullptr, nullptr, false, running, "Translocation API unavailable; using path fallback." },
        { "check fails with a reason", reinterpret_cast<void*>(&checkFails), nullptr, false, running,
            "Translocation check failed: The path is not a bundle. Using path fallback." },
        { "check fails without a reason", reinterpret_cast<void*>(&checkFailsSilently), nullptr, false, running,
            "Translocation check failed: unknown error. Using path fallback." },
        { "not translocated", reinterpret_cast<void*>(&notTranslocated), nullptr, false, running, "" },
        { "translocated, original known", reinterpret_cast<void*>(&translocated),
            reinterpret_cast<void*>(&originalInDownloads), true, "/srv/original/Downloads/Quorvel.app", "" },
        { "translocated, no original function", reinterpret_cast<void*>(&translocated), nullptr, true, running,
            "Original-path translocation API unavailable; copying the running bundle." },
        { "translocated, original unknown", reinterpret_cast<void*>(&translocated),
            reinterpret_cast<void*>(&noOriginal), true, running,
            "Could not recover the app's original path: unknown error" },
        { "translocated, original gone", reinterpret_cast<void*>(&translocated),
            reinterpret_cast<void*>(&noOriginalWithReason), true, running,
            "Could not recover the app's original path: The original is gone" },
    };
    for (const auto& row : rows) {
        symbols.symbols.clear();
        if (row.check)
            symbols.symbols.insert(quorvel::app::kIsTranslocatedSymbol, row.check);
        if (row.original)
            symbols.symbols.insert(quorvel::app::kOriginalPathSymbol, row.original);
        LogCapture log;
        const auto location = manager(running);
        EXPECT_EQ(location->shouldOfferMove(), row.offer) << row.name;
        EXPECT_EQ(location->copySourcePath(), row.source) << row.name;
        EXPECT_EQ(location->runningBundlePath(), running) << row.name;
        if (!row.logLine.isEmpty()) {
            EXPECT_TRUE(log.messages(kCategory).contains(row.logLine))
                << row.name << ": " << log.messages(kCategory).join(" | ").toStdString();
        }
        if (row.offer) {
            EXPECT_TRUE(log.messages(kCategory).contains("App needs relocation. Running path: " + running)) << row.name;
        }
    }
    EXPECT_TRUE(symbols.requests.first().startsWith("/System/Library/Frameworks/Security.framework/Security:"));
}

TEST_F(AppLocationTest, MovesIntoAMissingFolderRegistersLaunchesAndQuits)
{
    const QString running = makeBundle(downloads + "/Quorvel.app", "new");
    workspace.onLaunch = [this] { journal << "launch"; };
    LogCapture log;
    const auto location = manager(running);
    ASSERT_TRUE(location->shouldOfferMove());
    move(*location, false);

    const QString destination = apps + "/Quorvel.app";
    EXPECT_EQ(marker(destination), "new");
    EXPECT_TRUE(QFileInfo(destination + "/Contents/MacOS/Quorvel").isExecutable());
    EXPECT_TRUE(QFileInfo(destination + "/Contents/Current").isSymLink());
    EXPECT_EQ(marker(running), "new") << "the source stays where it was";
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();

    ASSERT_EQ(entries.installed.size(), 1u);
    EXPECT_EQ(entries.installed[0].id, "com.quorvel.Quorvel");
    EXPECT_EQ(entries.installed[0].executablePath, destination + "/Contents/MacOS/Quorvel");
    EXPECT_EQ(entries.installed[0].iconPath, destination + "/Contents/Resources/Quorvel.png");
    EXPECT_EQ(workspace.launched, QStringList { destination });
    // The single-instance claim goes before the launch, or the new copy would hand back to this one.
    EXPECT_EQ(journal, (QStringList { "release", "launch", "terminate" }));
    EXPECT_TRUE(log.messages(kCategory).contains("Relaunched Quorvel from " + destination));
    EXPECT_FALSE(location->fallbackMessage());
}

TEST_F(AppLocationTest, TheCopyRunsOffTheMainThreadWhileTheCardSaysMoving)
{
    const QString running = makeBundle(downloads + "/Quorvel.app", "new");
    const auto location = manager(running);
    location->moveToApplications(false);
    EXPECT_TRUE(location->isMoving());
    EXPECT_FALSE(journal.contains("terminate")) << "the button's press returns while the copy goes on";
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal.contains("terminate"); }, 10000));
    ASSERT_EQ(files.journal.filter("copy ").size(), 1) << files.journal.join(" | ").toStdString();
    EXPECT_FALSE(files.copiedOnMainThread) << "a copy on the main thread freezes the window";
    EXPECT_EQ(marker(apps + "/Quorvel.app"), "new");
}

TEST_F(AppLocationTest, AnOldCopyThatCannotBeRemovedLeavesASuccessfulMoveAndGoesAtTheNextStart)
{
    const QString running = makeBundle(downloads + "/Quorvel.app", "new");
    const QString destination = makeBundle(apps + "/Quorvel.app", "old");
    files.failRemove = "Permission denied";
    LogCapture log;
    auto location = manager(running);
    move(*location, true);

    EXPECT_EQ(marker(destination), "new");
    EXPECT_EQ(workspace.launched, QStringList { destination });
    EXPECT_EQ(journal, (QStringList { "release", "terminate" })) << "the move succeeded";
    EXPECT_FALSE(location->fallbackMessage());
    ASSERT_EQ(leftovers().size(), 1);
    const QString leftover = apps + "/" + leftovers().first();
    EXPECT_EQ(marker(leftover), "old") << "the old copy waits whole, not half removed";
    EXPECT_TRUE(log.messages(kCategory).contains("Could not remove the replaced copy at " + leftover
        + ": Permission denied. It will be removed at the next start."))
        << log.messages(kCategory).join(" | ").toStdString();

    // The new copy's start removes it, and only it.
    files.failRemove.reset();
    location.reset();
    manager(destination).reset();
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
    EXPECT_EQ(marker(destination), "new");
    EXPECT_TRUE(log.messages(kCategory).contains("Removed a leftover copy at " + leftover));
}

TEST_F(AppLocationTest, AnExistingCopyIsReplacedOnlyAfterConfirmation)
{
    const QString running = makeBundle(downloads + "/Quorvel.app", "new");
    const QString destination = makeBundle(apps + "/Quorvel.app", "old");
    const auto location = manager(running);

    move(*location, false);
    EXPECT_TRUE(location->replacementConfirmationNeeded());
    EXPECT_FALSE(location->isMoving());
    EXPECT_EQ(marker(destination), "old");
    EXPECT_TRUE(files.journal.isEmpty()) << "asking touches no files";
    EXPECT_TRUE(workspace.launched.isEmpty());

    location->cancelReplacement();
    EXPECT_FALSE(location->replacementConfirmationNeeded());
    EXPECT_EQ(marker(destination), "old");

    move(*location, true);
    EXPECT_FALSE(location->replacementConfirmationNeeded());
    EXPECT_EQ(marker(destination), "new");
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
    EXPECT_EQ(workspace.launched, QStringList { destination });
    EXPECT_EQ(journal.last(), "terminate");
}

TEST_F(AppLocationTest, AFailedStepLeavesTheFolderAsItWasAndSaysSo)
{
    const struct {
        const char* name;
        bool existingCopy;
        std::optional<QString> failCopy, failReplace, failRemove;
        QString logLine;
    } rows[] = {
        { "copy fails half-way", false, "No space left on device", {}, {},
            "Move to Applications failed: No space left on device" },
        { "copy fails over an old copy", true, "No space left on device", {}, {},
            "Move to Applications failed: No space left on device" },
        { "replacement fails", true, {}, "Device or resource busy", {},
            "Move to Applications failed: Device or resource busy" },
        { "stage cannot be removed", false, "Input/output error", {}, "Permission denied",
            "Could not remove staged app copy: Permission denied" },
    };
    for (const auto& row : rows) {
        QDir(apps).removeRecursively();
        QDir(downloads).removeRecursively();
        journal.clear();
        workspace.launched.clear();
        const QString running = makeBundle(downloads + "/Quorvel.app", "new");
        if (row.existingCopy)
            makeBundle(apps + "/Quorvel.app", "old");
        files.failCopy = row.failCopy;
        files.failReplace = row.failReplace;
        files.failRemove = row.failRemove;
        LogCapture log;
        const auto location = manager(running);
        move(*location, row.existingCopy);

        EXPECT_FALSE(location->isMoving()) << row.name;
        EXPECT_EQ(location->fallbackMessage(),
            "Quorvel couldn't move itself to Applications. Please drag Quorvel to the Applications folder, then "
            "open it there.")
            << row.name;
        EXPECT_TRUE(log.messages(kCategory).contains(row.logLine))
            << row.name << ": " << log.messages(kCategory).join(" | ").toStdString();
        EXPECT_EQ(marker(apps + "/Quorvel.app"), row.existingCopy ? "old" : "(missing)") << row.name;
        if (!row.failRemove) {
            EXPECT_TRUE(leftovers().isEmpty()) << row.name << ": " << leftovers().join(", ").toStdString();
        }
        EXPECT_TRUE(workspace.launched.isEmpty()) << row.name;
        EXPECT_FALSE(journal.contains("terminate")) << row.name;

        // A new attempt starts clean.
        files.failCopy = files.failReplace = files.failRemove = std::nullopt;
        move(*location, true);
        EXPECT_FALSE(location->fallbackMessage()) << row.name;
        EXPECT_EQ(marker(apps + "/Quorvel.app"), "new") << row.name;
    }
}

TEST_F(AppLocationTest, AMissingSourceFailsBeforeTouchingTheFolder)
{
    symbols.symbols.insert(quorvel::app::kIsTranslocatedSymbol, reinterpret_cast<void*>(&translocated));
    symbols.symbols.insert(quorvel::app::kOriginalPathSymbol, reinterpret_cast<void*>(&originalInDownloads));
    LogCapture log;
    const auto location = manager(makeBundle(root.filePath("AppTranslocation/X/Quorvel.app"), "new"));
    move(*location, false);
    EXPECT_TRUE(location->fallbackMessage());
    EXPECT_TRUE(log.messages(kCategory).contains(
        "Move to Applications failed: The Quorvel app bundle could not be found at its original location."));
    EXPECT_FALSE(QFileInfo::exists(apps));
}

TEST_F(AppLocationTest, WaitsForTheRunningCopyToQuitInTenthsOfASecond)
{
    const struct {
        const char* name;
        QList<quorvel::platform::RunningApplication> running;
        bool accepted;
        int checksUntilGone;
        size_t sleeps;
        bool moved;
    } rows[] = {
        { "quits after three polls", { { "com.quorvel.Quorvel", "%APPS%/Quorvel.app", 77 } }, true, 3, 3, true },
        { "quits at once", { { "com.quorvel.Quorvel", "%APPS%/./Quorvel.app", 77 } }, true, 0, 0, true },
        { "never quits", { { "com.quorvel.Quorvel", "%APPS%/Quorvel.app", 77 } }, true, -1, 40, false },
        { "quits on the last poll", { { "com.quorvel.Quorvel", "%APPS%/Quorvel.app", 77 } }, true, 40, 40, true },
        { "refuses to be asked", { { "com.quorvel.Quorvel", "%APPS%/Quorvel.app", 77 } }, false, 0, 0, false },
        { "this very process is not waited for", { { "com.quorvel.Quorvel", "%APPS%/Quorvel.app", 1000 } }, true, -1, 0,
            true },
        { "a copy elsewhere is not waited for", { { "com.quorvel.Quorvel", "/opt/Quorvel.app", 77 } }, true, -1, 0,
            true },
    };
    for (const auto& row : rows) {
        QDir(apps).removeRecursively();
        QDir(downloads).removeRecursively();
        const QString running = makeBundle(downloads + "/Quorvel.app", "new");
        makeBundle(apps + "/Quorvel.app", "old");
        workspace.running = row.running;
        for (auto& app : workspace.running)
            app.bundlePath.replace("%APPS%", apps);
        workspace.terminateAccepted = row.accepted;
        workspace.checksUntilGone = row.checksUntilGone;
        workspace.terminationChecks = 0;
        workspace.terminateRequests.clear();
        sleeper.sleeps.clear();
        LogCapture log;
        const auto location = manager(running);
        move(*location, true);

        EXPECT_EQ(sleeper.sleeps.size(), row.sleeps) << row.name;
        for (const auto sleep : sleeper.sleeps)
            EXPECT_EQ(sleep, std::chrono::milliseconds(100)) << row.name;
        EXPECT_EQ(marker(apps + "/Quorvel.app"), row.moved ? "new" : "old") << row.name;
        if (!row.moved) {
            EXPECT_TRUE(log.messages(kCategory).contains(
                "Move to Applications failed: The existing Quorvel copy in Applications is still running."))
                << row.name;
        }
        const bool asked = row.running.first().pid == 77 && row.running.first().bundlePath.startsWith("%APPS%");
        EXPECT_EQ(workspace.terminateRequests, asked ? QList<qint64> { 77 } : QList<qint64> {}) << row.name;
        if (asked) {
            EXPECT_TRUE(
                log.messages(kCategory).contains("Asking the existing Applications copy to quit before replacement."))
                << row.name;
        }
    }
}

TEST_F(AppLocationTest, AFailedLaunchKeepsThisCopyRunningAndInCharge)
{
    const QString running = makeBundle(downloads + "/Quorvel.app", "new");
    workspace.launchSucceeds = false;
    LogCapture log;
    const auto location = manager(running);
    move(*location, false);
    EXPECT_EQ(journal, (QStringList { "release", "reclaim" }));
    EXPECT_TRUE(location->fallbackMessage());
    EXPECT_FALSE(location->isMoving());
    EXPECT_TRUE(log.messages(kCategory).contains(
        "Move to Applications failed: Quorvel could not be started from " + apps + "/Quorvel.app."));
}

TEST_F(AppLocationTest, ALauncherEntryThatCannotBeWrittenDoesNotStopTheMove)
{
    const QString running = makeBundle(downloads + "/Quorvel.app", "new");
    entries.failure = "Read-only file system";
    LogCapture log;
    move(*manager(running), false);
    EXPECT_EQ(journal.last(), "terminate");
    EXPECT_TRUE(log.messages(kCategory).contains("Could not register Quorvel with the desktop: Read-only file system"));
}

TEST_F(AppLocationTest, OpensTheApplicationsFolderEvenBeforeItExists)
{
    manager(downloads + "/Quorvel.app")->openApplicationsFolder();
    EXPECT_TRUE(QFileInfo(apps).isDir());
    EXPECT_EQ(workspace.openedUrls, QList<QUrl> { QUrl::fromLocalFile(apps) });
}

} // namespace
