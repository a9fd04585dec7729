#include "kit/screensaver_manager.h"
#include "kit_environment_fixture.h"

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
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
            other.insert(u"AgentKey"_s, true);
            writeStore(other);
        };
    }
};

const QString kVerifyFailed
    = u"⚠️ Semantic verification failed - screensaver configuration did not apply correctly"_s;
const QString kRollingBack = u"🔧 Auto-rolling back..."_s;

} // namespace

TEST_F(GuardedWrite, FailedVerificationRollsBackByteForByteAndReportsFailure)
{
    const QString before = env->plist->calculateChecksum(storePath());
    agentRevertsTheStore();
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(u"QuorvelExtension"_s)); }),
        u"Couldn't make the screensaver change; the previous settings were restored."_s);
    EXPECT_EQ(env->plist->calculateChecksum(storePath()), before);
    EXPECT_EQ(storeBytes(), original);
    EXPECT_EQ(printed, (QStringList { kVerifyFailed, kRollingBack, u"✅ Auto-rollback completed successfully"_s }));
    EXPECT_EQ(runner->detached.size(), 2u);
}

TEST_F(GuardedWrite, MissingBackupAtRollbackThrowsItsFileNotFound)
{
    sleeper->duringWait = [this] {
        writeStore(initial);
        QFile::remove(PlistManager::backupPath(storePath()));
    };
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverForDisplay(u"Flurry"_s, 1)); }),
        u"File not found: "_s + storePath() + u".backup"_s);
    EXPECT_EQ(printed,
        (QStringList { kVerifyFailed, kRollingBack,
            u"⚠️ Unable to verify screensaver configuration after WallpaperAgent restart"_s, kRollingBack }));
    EXPECT_EQ(runner->detached.size(), 1u);
}

TEST_F(GuardedWrite, SkippingTheRestartWritesWithoutWaitingOrVerifying)
{
    agentRevertsTheStore(); // would fail verification if anything were verified
    await(manager.setScreensaverEverywhere(u"Flurry"_s, WriteOptions { .restartAgent = false }));
    EXPECT_TRUE(runner->detached.empty());
    EXPECT_TRUE(sleeper->waits.empty());
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { u"Flurry"_s });
    EXPECT_EQ(env->plist->read(PlistManager::backupPath(storePath())), initial);
}

TEST_F(GuardedWrite, DebugLinesOfASuccessfulVerification)
{
    await(manager.setScreensaverForDisplaySpace(u"Flurry"_s, 2, 5, WriteOptions { .enableDebug = true }));
    ASSERT_GE(printed.size(), 12);
    EXPECT_EQ(printed.mid(0, 3),
        (QStringList { u"🔧 DEBUG: Starting writeWithAutoRollback"_s, u"🔧 DEBUG: Target path: "_s + storePath(),
            u"🔧 DEBUG: Restart agent: true"_s }));
    EXPECT_TRUE(printed[3].startsWith(u"🔧 DEBUG: Pre-write checksum: "_s));
    EXPECT_EQ(printed[3].size(), u"🔧 DEBUG: Pre-write checksum: "_s.size() + 64);
    EXPECT_TRUE(printed.contains(u"🔧 DEBUG: Waiting 3.0 seconds for system to settle..."_s));
    EXPECT_TRUE(printed.contains(u"🔧 DEBUG: Target: displaySpace(display: 2, space: 5)"_s));
    EXPECT_EQ(printed.last(), u"🔧 DEBUG: writeWithAutoRollback completed"_s);
}

TEST_F(GuardedWrite, WithoutVerificationParametersDifferentChecksumsStillSucceed)
{
    agentRevertsTheStore();
    await(manager.writeWithAutoRollback(realisticStore({ { kMain, { spaceUUID(1) } } }), storePath(),
        WriteOptions { .enableDebug = true }, std::nullopt, std::nullopt, 3.0));
    EXPECT_TRUE(printed.contains(u"🔧 DEBUG: No verification parameters provided - skipping semantic verification"_s));
    EXPECT_TRUE(printed.contains(u"🔧 DEBUG: Checksums match: false"_s));
}

// With no monitors at all, what the store says for "no particular space" is what is checked, so a
// correct write is not rolled back.
TEST_F(GuardedWrite, NoMonitorsVerifiesTheEmptySpaceKey)
{
    arrange({}, false);
    initial.insert(u"Spaces"_s, QVariantMap { { QString(), QVariantMap { { u"Default"_s, slot({}) } } } });
    writeStore(initial);
    await(manager.setScreensaverEverywhere(u"Flurry"_s));
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { u"Flurry"_s });
}

// Two overlapping set operations on one store: the second reads what the first wrote, so the
// first's change survives and the backup holds the state just before the second write.
TEST_F(GuardedWrite, OverlappingSetOperationsAreSerialised)
{
    sleeper->yield = true;
    auto first = manager.setScreensaverForDisplay(u"Flurry"_s, 1);
    auto second = manager.setScreensaverForDisplay(u"QuorvelExtension"_s, 2);
    await(std::move(first));
    await(std::move(second));
    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), u"Flurry"_s);
    EXPECT_EQ(manager.activeModuleName(spaceUUID(5)), u"QuorvelExtension"_s);
    const QVariantMap backup = env->plist->read(PlistManager::backupPath(storePath()));
    const QVariantMap firstSpace = backup.value(u"Spaces"_s).toMap().value(spaceUUID(1)).toMap();
    EXPECT_TRUE(firstSpace.value(u"Default"_s).toMap().contains(u"Idle"_s));
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
}

TEST_F(GuardedWrite, OlderSystemsWriteTheLegacyPreference)
{
    const QString modernStore = storePath();
    os->current = { 13, 6, 0 };
    await(manager.setScreensaverEverywhere(u"Flurry"_s));
    const QVariantMap moduleDict
        = preferences->entry(u"host:com.apple.screensaver"_s)->values.value(u"moduleDict"_s).toMap();
    EXPECT_EQ(moduleDict,
        (QVariantMap { { u"moduleName"_s, u"Flurry"_s }, { u"path"_s, modulesDir() + u"/Flurry.saver"_s },
            { u"type"_s, qint64(0) } }));
    QFile modern(modernStore);
    ASSERT_TRUE(modern.open(QIODevice::ReadOnly));
    EXPECT_EQ(modern.readAll(), original);
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { u"Flurry"_s });
    EXPECT_TRUE(env->paths->wallpaperIndexPath().endsWith(u"com.apple.desktop.plist"_s));
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(u"../Screen Savers/Flurry"_s)); }),
        u"Screensaver not found: ../Screen Savers/Flurry"_s);
    preferences->entry(u"host:com.apple.screensaver"_s)->failSynchronize = true;
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(u"Flurry"_s)); }),
        u"Invalid configuration: Failed to save screensaver preference"_s);
    EXPECT_EQ(
        errorOf([&] { manager.setIdleTime(300); }), u"Invalid configuration: Failed to save idle time preference"_s);
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
            await(manager.setScreensaverForDisplay(u"Flurry"_s, 1, WriteOptions { .enableDebug = verbose }));
        }),
            u"File not found: "_s + storePath());
        EXPECT_TRUE(runner->detached.empty());
        EXPECT_TRUE(sleeper->waits.empty());
        QDir(storePath()).removeRecursively();
        env->plist = std::make_shared<PlistManager>();
    }
}
