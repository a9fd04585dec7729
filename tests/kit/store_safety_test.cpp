// Edits of one store by several writers, and stores that are not what an edit expects: a clear
// error and the store as it was, byte for byte.
#include "kit/screensaver_manager.h"
#include "kit/tessary.h"
#include "kit_environment_fixture.h"
#include "platform/spaces.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace quorvel::kit::fixtures;

namespace {

const QString kHelper = QStringLiteral(QUORVEL_BIN_DIR "/kit_store_rewriter");

struct StoreSafety : ::testing::Test, KitFixture {
    ScreensaverManager manager { env };

    QStringList storeFolder() const
    {
        QStringList names = QDir(QFileInfo(storePath()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        return names;
    }
    // The folder's files with their bytes: a store (or a folder in its place) left as it was.
    QMap<QString, QByteArray> folderBytes() const
    {
        QMap<QString, QByteArray> all;
        const QDir dir(QFileInfo(storePath()).absolutePath());
        for (const QString& name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            QFile f(dir.filePath(name));
            all.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<folder>"));
        }
        return all;
    }
};

} // namespace

TEST_F(StoreSafety, BadStoresGiveAClearErrorAndStayByteForByte)
{
    struct Row {
        const char* name;
        std::function<void()> arrangeFault;
        QString module;
        QString message;
    };
    const QString registered = QStringLiteral("Registered");
    const std::vector<Row> rows = {
        { "the store is a folder",
            [&] {
                QFile::remove(storePath());
                QDir().mkpath(storePath() + QStringLiteral("/inside"));
            },
            QStringLiteral("Flurry"), QStringLiteral("Failed to read plist: ") + storePath() },
        { "the backup cannot be refreshed",
            [&] { QDir().mkpath(PlistManager::backupPath(storePath()) + QStringLiteral("/inside")); },
            QStringLiteral("Flurry"),
            QStringLiteral("Failed to write plist: ") + storePath()
                + QStringLiteral(": couldn't refresh its backup: ") },
        { "the store is replaced between read and write",
            [&] {
                // The module is found through the registry, after the store was read.
                runner->results.push_back(ScriptedProcessRunner::finished(
                    0, "+    com.example.Registered(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/Registered.appex\n"));
                runner->onRun = [&] {
                    QVariantMap other = initial;
                    other.insert(QStringLiteral("WrittenMeanwhile"), true);
                    writeStore(other);
                };
            },
            registered,
            QStringLiteral("Failed to write plist: ") + storePath()
                + QStringLiteral(": it was replaced while it was being edited") },
    };
    for (const Row& row : rows) {
        arrange({ 2, 1 });
        runner->onRun = nullptr;
        row.arrangeFault();
        // Compared after the fault is in place: a replacement made during the edit is what must stay.
        const QString message
            = errorOf([&] { await(manager.setScreensaverForDisplay(row.module, 1, WriteOptions {})); });
        EXPECT_TRUE(message.startsWith(row.message)) << row.name << ": " << message.toStdString();
        if (row.module == registered) {
            QVariantMap other = initial;
            other.insert(QStringLiteral("WrittenMeanwhile"), true);
            EXPECT_EQ(storeBytes(), binary(other)) << row.name;
        }
        EXPECT_TRUE(runner->detached.empty()) << row.name;
        QDir(PlistManager::backupPath(storePath())).removeRecursively();
        QDir(storePath()).removeRecursively();
    }
}

TEST_F(StoreSafety, FailuresBeforeTheWriteLeaveEveryFileAsItWas)
{
    arrange({ 2, 1 });
    QDir().mkpath(PlistManager::backupPath(storePath()) + QStringLiteral("/inside"));
    const auto before = folderBytes();
    EXPECT_NE(errorOf([&] { await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"))); }),
        QStringLiteral("<no error>"));
    EXPECT_EQ(folderBytes(), before);
}

// Another program (or facade) holding the store's lock beyond the timeout: the edit gives up with
// a clear error instead of writing beside it, and so does a restore from the backup.
TEST_F(StoreSafety, ALockHeldElsewhereStopsTheEditAfterTheTimeout)
{
    arrange({ 1 });
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"), WriteOptions { .restartAgent = false }));
    const auto before = folderBytes();
    env->storeLockTimeout = std::chrono::milliseconds(200);
    QLockFile held(StoreLock::lockPath(storePath()));
    ASSERT_TRUE(held.tryLock(0));
    const QString expected
        = QStringLiteral("Failed to write plist: ") + storePath() + QStringLiteral(": another program is changing it");
    EXPECT_EQ(
        errorOf([&] { await(manager.setScreensaverForDisplay(QStringLiteral("QuorvelExtension"), 1)); }), expected);
    EXPECT_EQ(errorOf([&] { Tessary(env).restoreFromBackup(); }), expected);
    held.unlock();
    QFile::remove(StoreLock::lockPath(storePath()));
    EXPECT_EQ(folderBytes(), before);
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { QStringLiteral("Flurry") });
}

// A writer killed between writing its temporary file and renaming it leaves that file behind; the
// next edit, holding the lock, clears such files and nothing else.
TEST_F(StoreSafety, TemporariesOfKilledWritersAreClearedByTheNextEdit)
{
    arrange({ 1 });
    const QString folder = QFileInfo(storePath()).absolutePath() + QLatin1Char('/');
    const QStringList litter = { QStringLiteral("Index.plist.quorvel-tmp-0123456789abcdef0123456789abcdef"),
        QStringLiteral("Index.plist.quorvel-tmp-0123456789abcdef0123456789abcdef.Ab12Cd"),
        QStringLiteral("Index.plist.backup.quorvel-tmp-fedcba9876543210fedcba9876543210") };
    const QStringList kept = { QStringLiteral("Index.plist.keep"), QStringLiteral("Other.plist.quorvel-tmp-1") };
    for (const QString& name : litter + kept) {
        QFile f(folder + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("partial");
    }
    await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 1));
    QStringList expected = kept + QStringList { QStringLiteral("Index.plist"), QStringLiteral("Index.plist.backup") };
    expected.sort();
    EXPECT_EQ(storeFolder(), expected);
}

// Another process holds the store's lock while it edits the store: this edit waits for it and then
// builds on what it wrote, instead of overwriting it.
TEST_F(StoreSafety, AnEditWaitsForAnotherProcessAndKeepsItsChange)
{
    arrange({ 2, 1 });
    sleeper->yield = true; // the lock polls really wait, so the other process can finish
    QProcess child;
    child.start(kHelper, { QStringLiteral("--hold"), storePath(), QStringLiteral("300") });
    ASSERT_TRUE(child.waitForReadyRead(5000));
    ASSERT_EQ(child.readLine().trimmed(), QByteArray("locked"));
    const qint64 pid = child.processId();
    await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 1));
    child.waitForFinished(5000); // it may have finished already
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(store().value(QStringLiteral("HeldBy")).toLongLong(), pid);
    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), QStringLiteral("Flurry"));
    EXPECT_GT(sleeper->waits.size(), 1u); // it did wait for the lock
}

// Two facades over one store (each with its own environment): the second edit starts only when
// the first has verified and rolled back, so the rollback cannot swallow the second change nor
// bring back the first.
TEST_F(StoreSafety, TwoFacadesTakeTurnsThroughRollbacks)
{
    arrange({ 2, 1 });
    auto otherEnv = std::make_shared<KitEnvironment>(*env);
    otherEnv->writeQueue = std::make_shared<StoreWriteQueue>();
    Tessary first(env), second(otherEnv);
    sleeper->yield = true;
    int settles = 0;
    sleeper->duringWait = [&] {
        if (++settles > 1)
            return;
        QVariantMap reverted = initial; // the agent undoes the first change
        reverted.insert(QStringLiteral("AgentKey"), true);
        writeStore(reverted);
    };
    auto a = first.setScreensaverForDisplay(QStringLiteral("Flurry"), 1);
    auto b = second.setScreensaverForDisplay(QStringLiteral("QuorvelExtension"), 2);
    EXPECT_EQ(errorOf([&] { await(std::move(a)); }),
        QStringLiteral("Couldn't make the screensaver change; the previous settings were restored."));
    await(std::move(b));
    EXPECT_NE(manager.activeModuleName(spaceUUID(1)), QStringLiteral("Flurry"));
    EXPECT_EQ(manager.activeModuleName(spaceUUID(3)), QStringLiteral("QuorvelExtension"));
    EXPECT_FALSE(store().contains(QStringLiteral("AgentKey")));
}

// The application and the saver meeting a new display at the same moment give it one space.
TEST(SynthesizedSpacesState, ProgramsMeetingANewDisplayAgreeOnItsSpace)
{
    for (int round = 0; round < 2; ++round) {
        QTemporaryDir dir;
        const QString go = dir.filePath(QStringLiteral("go"));
        std::vector<std::unique_ptr<QProcess>> children;
        for (int i = 0; i < 3; ++i) {
            children.push_back(std::make_unique<QProcess>());
            children.back()->start(
                kHelper, { QStringLiteral("--space"), dir.filePath(QStringLiteral("state")), kSecond, go });
        }
        for (auto& child : children) {
            ASSERT_TRUE(child->waitForReadyRead(5000));
            child->readLine();
        }
        QFile(go).open(QIODevice::WriteOnly);
        QSet<QByteArray> spaces;
        for (auto& child : children) {
            child->waitForFinished(10000);
            ASSERT_EQ(child->state(), QProcess::NotRunning);
            spaces.insert(child->readAllStandardOutput().trimmed());
        }
        EXPECT_EQ(spaces.size(), 1) << "round " << round;
        EXPECT_FALSE(spaces.begin()->isEmpty());
    }
}
