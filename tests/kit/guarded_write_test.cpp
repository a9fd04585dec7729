#include "kit/screensaver_manager.h"
#include "kit_environment_fixture.h"

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace quorvel::kit::fixtures;

namespace {

struct GuardedWrite : ::testing::Test, KitFixture {
    ScreensaverManager manager { env };
    QByteArray original;

    void SetUp() override
    {
        arrange({ 3, 3 });
        original = storeBytes();
    }
    // The agent (or another program) rewrites the store to one that does not name the module and
    // differs from the original, so only a real rollback brings the original bytes back.
    void agentRevertsTheStore()
    {
        sleeper->duringWait = [this] {
            QVariantMap other = initial;
            other.insert(QStringLiteral("AgentKey"), true);
            writeStore(other);
        };
    }
};

const QString kVerifyFailed
    = QStringLiteral("⚠️ Semantic verification failed - screensaver configuration did not apply correctly");
const QString kRollingBack = QStringLiteral("🔧 Auto-rolling back...");

} // namespace

TEST_F(GuardedWrite, FailedVerificationRollsBackByteForByteAndReportsFailure)
{
    const QString before = env->plist->calculateChecksum(storePath());
    agentRevertsTheStore();
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(QStringLiteral("QuorvelExtension"))); }),
        QStringLiteral("Couldn't make the screensaver change; the previous settings were restored."));
    EXPECT_EQ(env->plist->calculateChecksum(storePath()), before);
    EXPECT_EQ(storeBytes(), original);
    EXPECT_EQ(printed,
        (QStringList { kVerifyFailed, kRollingBack, QStringLiteral("✅ Auto-rollback completed successfully") }));
    EXPECT_EQ(runner->detached.size(), 2u);
}

TEST_F(GuardedWrite, MissingBackupAtRollbackThrowsItsFileNotFound)
{
    sleeper->duringWait = [this] {
        writeStore(initial);
        QFile::remove(PlistManager::backupPath(storePath()));
    };
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 1)); }),
        QStringLiteral("File not found: ") + storePath() + QStringLiteral(".backup"));
    EXPECT_EQ(printed,
        (QStringList { kVerifyFailed, kRollingBack,
            QStringLiteral("⚠️ Unable to verify screensaver configuration after WallpaperAgent restart"),
            kRollingBack }));
    EXPECT_EQ(runner->detached.size(), 1u);
}

TEST_F(GuardedWrite, SkippingTheRestartWritesWithoutWaitingOrVerifying)
{
    agentRevertsTheStore(); // would fail verification if anything were verified
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"), WriteOptions { .restartAgent = false }));
    EXPECT_TRUE(runner->detached.empty());
    EXPECT_TRUE(sleeper->waits.empty());
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { QStringLiteral("Flurry") });
    EXPECT_EQ(env->plist->read(PlistManager::backupPath(storePath())), initial);
}

TEST_F(GuardedWrite, DebugLinesOfASuccessfulVerification)
{
    await(manager.setScreensaverForDisplaySpace(QStringLiteral("Flurry"), 2, 5, WriteOptions { .enableDebug = true }));
    ASSERT_GE(printed.size(), 12);
    EXPECT_EQ(printed.mid(0, 3),
        (QStringList { QStringLiteral("🔧 DEBUG: Starting writeWithAutoRollback"),
            QStringLiteral("🔧 DEBUG: Target path: ") + storePath(), QStringLiteral("🔧 DEBUG: Restart agent: true") }));
    EXPECT_TRUE(printed[3].startsWith(QStringLiteral("🔧 DEBUG: Pre-write checksum: ")));
    EXPECT_EQ(printed[3].size(), QStringLiteral("🔧 DEBUG: Pre-write checksum: ").size() + 64);
    EXPECT_TRUE(printed.contains(QStringLiteral("🔧 DEBUG: Waiting 3.0 seconds for system to settle...")));
    EXPECT_TRUE(printed.contains(QStringLiteral("🔧 DEBUG: Target: displaySpace(display: 2, space: 5)")));
    EXPECT_EQ(printed.last(), QStringLiteral("🔧 DEBUG: writeWithAutoRollback completed"));
}

TEST_F(GuardedWrite, WithoutVerificationParametersDifferentChecksumsStillSucceed)
{
    agentRevertsTheStore();
    await(manager.writeWithAutoRollback(realisticStore({ { kMain, { spaceUUID(1) } } }), storePath(),
        WriteOptions { .enableDebug = true }, std::nullopt, std::nullopt, 3.0));
    EXPECT_TRUE(printed.contains(
        QStringLiteral("🔧 DEBUG: No verification parameters provided - skipping semantic verification")));
    EXPECT_TRUE(printed.contains(QStringLiteral("🔧 DEBUG: Checksums match: false")));
}

// With no monitors at all, what the store says for "no particular space" is what is checked, so a
// correct write is not rolled back.
TEST_F(GuardedWrite, NoMonitorsVerifiesTheEmptySpaceKey)
{
    arrange({}, false);
    initial.insert(QStringLiteral("Spaces"),
        QVariantMap { { QString(), QVariantMap { { QStringLiteral("Default"), slot({}) } } } });
    writeStore(initial);
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry")));
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { QStringLiteral("Flurry") });
}

// Two overlapping set operations on one store: the second reads what the first wrote, so the
// first's change survives and the backup holds the state just before the second write.
TEST_F(GuardedWrite, OverlappingSetOperationsAreSerialised)
{
    sleeper->yield = true;
    auto first = manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 1);
    auto second = manager.setScreensaverForDisplay(QStringLiteral("QuorvelExtension"), 2);
    await(std::move(first));
    await(std::move(second));
    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), QStringLiteral("Flurry"));
    EXPECT_EQ(manager.activeModuleName(spaceUUID(5)), QStringLiteral("QuorvelExtension"));
    const QVariantMap backup = env->plist->read(PlistManager::backupPath(storePath()));
    const QVariantMap firstSpace = backup.value(QStringLiteral("Spaces")).toMap().value(spaceUUID(1)).toMap();
    EXPECT_TRUE(firstSpace.value(QStringLiteral("Default")).toMap().contains(QStringLiteral("Idle")));
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
}

TEST_F(GuardedWrite, OlderSystemsWriteTheLegacyPreference)
{
    const QString modernStore = storePath();
    os->current = { 13, 6, 0 };
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry")));
    const QVariantMap moduleDict = preferences->entry(QStringLiteral("host:com.apple.screensaver"))
                                       ->values.value(QStringLiteral("moduleDict"))
                                       .toMap();
    EXPECT_EQ(moduleDict,
        (QVariantMap { { QStringLiteral("moduleName"), QStringLiteral("Flurry") },
            { QStringLiteral("path"), modulesDir() + QStringLiteral("/Flurry.saver") },
            { QStringLiteral("type"), qint64(0) } }));
    QFile modern(modernStore);
    ASSERT_TRUE(modern.open(QIODevice::ReadOnly));
    EXPECT_EQ(modern.readAll(), original);
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { QStringLiteral("Flurry") });
    EXPECT_TRUE(env->paths->wallpaperIndexPath().endsWith(QStringLiteral("com.apple.desktop.plist")));
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(QStringLiteral("../Screen Savers/Flurry"))); }),
        QStringLiteral("Screensaver not found: ../Screen Savers/Flurry"));
    preferences->entry(QStringLiteral("host:com.apple.screensaver"))->failSynchronize = true;
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"))); }),
        QStringLiteral("Invalid configuration: Failed to save screensaver preference"));
    EXPECT_EQ(errorOf([&] { manager.setIdleTime(300); }),
        QStringLiteral("Invalid configuration: Failed to save idle time preference"));
}

namespace {

// Writes as usual, then something takes the store away before it could be read back.
struct VanishingPlist final : PlistManager {
    void write(const QVariantMap& dictionary, const QString& path, std::optional<QByteArray> expected) const override
    {
        PlistManager::write(dictionary, path, std::move(expected));
        QFile::remove(path);
        QDir().mkpath(path);
    }
};

} // namespace

// Hashing the written store only feeds debug lines, but a store that cannot be read back fails
// the write either way, before anything is restarted.
TEST_F(GuardedWrite, AStoreGoneRightAfterTheWriteFailsQuietOrNot)
{
    for (const bool verbose : { false, true }) {
        SCOPED_TRACE(verbose ? "debug" : "quiet");
        arrange({ 1 });
        env->plist = std::make_shared<VanishingPlist>();
        EXPECT_EQ(errorOf([&] {
            await(
                manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 1, WriteOptions { .enableDebug = verbose }));
        }),
            QStringLiteral("File not found: ") + storePath());
        EXPECT_TRUE(runner->detached.empty());
        EXPECT_TRUE(sleeper->waits.empty());
        QDir(storePath()).removeRecursively();
        env->plist = std::make_shared<PlistManager>();
    }
}
