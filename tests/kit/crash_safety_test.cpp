#include "kit/plist_manager.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;

// A writer killed with SIGKILL at any moment never leaves a store (or backup) that fails to parse.
TEST(StoreCrashSafety, KilledWriterNeverLeavesABrokenStore)
{
    QTemporaryDir dir;
    const QString store = dir.filePath(u"Store/Index.plist"_s);
    PlistManager plist;
    QRandomGenerator random(20261207);
    for (int round = 0; round < 12; ++round) {
        QProcess child;
        child.start(QStringLiteral(QUORVEL_BIN_DIR "/kit_store_rewriter"), { store });
        ASSERT_TRUE(child.waitForStarted());
        ASSERT_TRUE(child.waitForReadyRead(5000));
        QThread::msleep(random.bounded(5, 60));
        child.kill(); // SIGKILL
        child.waitForFinished();
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);
        for (const QString& path : { store, PlistManager::backupPath(store) })
            if (QFileInfo::exists(path)) {
                EXPECT_NO_THROW(plist.read(path)) << "round " << round << " " << path.toStdString();
            }
    }
    EXPECT_TRUE(QFileInfo::exists(store));
    // What the killed writers left is of the writers' own naming, and the sweep that the next
    // locked edit runs clears it.
    const QDir folder = QFileInfo(store).absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        EXPECT_TRUE(name == u"Index.plist"_s || name == u"Index.plist.backup"_s
            || name.startsWith(u"Index.plist.quorvel-tmp-"_s) || name.startsWith(u"Index.plist.backup.quorvel-tmp-"_s))
            << name.toStdString();
    PlistManager::removeStaleTemporaries(store);
    EXPECT_EQ(
        folder.entryList(QDir::Files | QDir::Hidden), (QStringList { u"Index.plist"_s, u"Index.plist.backup"_s }));
}
