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
using namespace Qt::StringLiterals;
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
    const QString registered = u"Registered"_s;
    const std::vector<Row> rows = {
        { "the store is a folder",
            [&] {
                QFile::remove(storePath());
                QDir().mkpath(storePath() + u"/inside"_s);
            },
            u"Flurry"_s, u"Failed to read plist: "_s + storePath() },
        { "the backup cannot be refreshed",
            [&] { QDir().mkpath(PlistManager::backupPath(storePath()) + u"/inside"_s); }, u"Flurry"_s,
            u"Failed to write plist: "_s + storePath() + u": couldn't refresh its backup: "_s },
        { "the store is replaced between read and write",
            [&] {
                // The module is found through the registry, after the store was read.
                runner->results.push_back(ScriptedProcessRunner::finished(
                    0, "+    com.example.Registered(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/Registered.appex\n"));
                runner->onRun = [&] {
                    QVariantMap other = initial;
                    other.insert(u"WrittenMeanwhile"_s, true);
                    writeStore(other);
                };
            },
            registered, u"Failed to write plist: "_s + storePath() + u": it was replaced while it was being edited"_s },
    };
    for (const Row& row : rows) {
        arrange({ 2, 1 });
        runner->onRun = nullptr;
        row.arrangeFault();
        // Compared after the fault is in place: a replacement made during the edit is what must stay.
        const auto before = folderBytes();
        const QString message
            = errorOf([&] { await(manager.setScreensaverForDisplay(row.module, 1, WriteOptions {})); });
        EXPECT_TRUE(message.startsWith(row.message)) << row.name << ": " << message.toStdString();
        if (row.module == registered) {
            QVariantMap other = initial;
            other.insert(u"WrittenMeanwhile"_s, true);
            EXPECT_EQ(storeBytes(), binary(other)) << row.name;
        } else {
            EXPECT_EQ(folderBytes(), before) << row.name << ": every file as it was";
        }
        EXPECT_TRUE(runner->detached.empty()) << row.name;
        QDir(PlistManager::backupPath(storePath())).removeRecursively();
        QDir(storePath()).removeRecursively();
    }
}

// Another program (or facade) holding the store's lock beyond the timeout: the edit gives up with
// a clear error instead of writing beside it, and so does a restore from the backup.
TEST_F(StoreSafety, ALockHeldElsewhereStopsTheEditAfterTheTimeout)
{
    arrange({ 1 });
    await(manager.setScreensaverEverywhere(u"Flurry"_s, WriteOptions { .restartAgent = false }));
    const auto before = folderBytes();
    env->storeLockTimeout = std::chrono::milliseconds(200);
    QLockFile held(StoreLock::lockPath(storePath()));
    ASSERT_TRUE(held.tryLock(0));
    const QString expected = u"Failed to write plist: "_s + storePath() + u": another program is changing it"_s;
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverForDisplay(u"QuorvelExtension"_s, 1)); }), expected);
    EXPECT_EQ(errorOf([&] { Tessary(env).restoreFromBackup(); }), expected);
    held.unlock();
    QFile::remove(StoreLock::lockPath(storePath()));
    EXPECT_EQ(folderBytes(), before);
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { u"Flurry"_s });
}

// A writer killed between writing its temporary file and renaming it leaves that file behind; the
// next edit, holding the lock, clears such files and nothing else.
TEST_F(StoreSafety, TemporariesOfKilledWritersAreClearedByTheNextEdit)
{
    arrange({ 1 });
    const QString folder = QFileInfo(storePath()).absolutePath() + QLatin1Char('/');
    const QStringList litter = { u"Index.plist.quorvel-tmp-0123456789abcdef0123456789abcdef"_s,
        u"Index.plist.quorvel-tmp-0123456789abcdef0123456789abcdef.Ab12Cd"_s,
        u"Index.plist.backup.quorvel-tmp-fedcba9876543210fedcba9876543210"_s };
    const QStringList kept = { u"Index.plist.keep"_s, u"Other.plist.quorvel-tmp-1"_s };
    for (const QString& name : litter + kept) {
        QFile f(folder + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("partial");
    }
    await(manager.setScreensaverForDisplay(u"Flurry"_s, 1));
    QStringList expected = kept + QStringList { u"Index.plist"_s, u"Index.plist.backup"_s };
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
    child.start(kHelper, { u"--hold"_s, storePath(), u"300"_s });
    ASSERT_TRUE(child.waitForReadyRead(5000));
    ASSERT_EQ(child.readLine().trimmed(), QByteArray("locked"));
    const qint64 pid = child.processId();
    await(manager.setScreensaverForDisplay(u"Flurry"_s, 1));
    child.waitForFinished(5000); // it may have finished already
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(store().value(u"HeldBy"_s).toLongLong(), pid);
    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), u"Flurry"_s);
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
        reverted.insert(u"AgentKey"_s, true);
        writeStore(reverted);
    };
    auto a = first.setScreensaverForDisplay(u"Flurry"_s, 1);
    auto b = second.setScreensaverForDisplay(u"QuorvelExtension"_s, 2);
    EXPECT_EQ(errorOf([&] { await(std::move(a)); }),
        u"Couldn't make the screensaver change; the previous settings were restored."_s);
    await(std::move(b));
    EXPECT_NE(manager.activeModuleName(spaceUUID(1)), u"Flurry"_s);
    EXPECT_EQ(manager.activeModuleName(spaceUUID(3)), u"QuorvelExtension"_s);
    EXPECT_FALSE(store().contains(u"AgentKey"_s));
}

// The application and the saver meeting a new display at the same moment give it one space.
TEST(SynthesizedSpacesState, ProgramsMeetingANewDisplayAgreeOnItsSpace)
{
    for (int round = 0; round < 2; ++round) {
        QTemporaryDir dir;
        const QString go = dir.filePath(u"go"_s);
        std::vector<std::unique_ptr<QProcess>> children;
        for (int i = 0; i < 3; ++i) {
            children.push_back(std::make_unique<QProcess>());
            children.back()->start(kHelper, { u"--space"_s, dir.filePath(u"state"_s), kSecond, go });
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
