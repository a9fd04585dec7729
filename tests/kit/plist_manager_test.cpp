#include "kit/errors.h"
#include "kit/plist_manager.h"
#include "kit_fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

template <typename F>
QString messageOf(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return describeError(e);
    }
    return QStringLiteral("<no error>");
}

class PlistManagerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    PlistManager plist;
    QString store() const { return dir.filePath(QStringLiteral("Store/Index.plist")); }
    QVariantMap sample(int marker) const
    {
        QVariantMap m = fixtures::realisticStore({{QStringLiteral("D1"), {QStringLiteral("S1")}}});
        m.insert(QStringLiteral("Marker"), qint64(marker));
        return m;
    }
};

} // namespace

TEST_F(PlistManagerTest, ReadFailuresAreTypedWithTheirPath)
{
    const QString missing = dir.filePath(QStringLiteral("nope.plist"));
    EXPECT_EQ(messageOf([&] { plist.read(missing); }), QStringLiteral("File not found: ") + missing);

    const QString array = dir.filePath(QStringLiteral("array.plist"));
    putFile(array, *serializeBinaryPlist(QVariantList{qint64(1)}).bytes);
    const QString empty = dir.filePath(QStringLiteral("empty.plist"));
    putFile(empty, QByteArray());
    const QString truncated = dir.filePath(QStringLiteral("truncated.plist"));
    putFile(truncated, fixtures::binary(sample(1)).left(40));
    for (const QString& path : {array, empty, truncated})
        EXPECT_EQ(messageOf([&] { plist.read(path); }), QStringLiteral("Failed to read plist: ") + path);
}

TEST_F(PlistManagerTest, WriteCreatesFoldersAndReadsBackWithUnknownKeysIntact)
{
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(store()).absolutePath()));
    plist.write(sample(1), store());
    EXPECT_TRUE(fileBytes(store()).startsWith("bplist00"));
    EXPECT_EQ(plist.read(store()), sample(1));
    EXPECT_FALSE(QFileInfo::exists(PlistManager::backupPath(store())));   // nothing existed to back up
}

// The backup always holds the state from just before the latest write, so a rollback never
// returns to an older, stale state.
TEST_F(PlistManagerTest, EveryWriteRefreshesTheBackupWithThePreviousContent)
{
    plist.write(sample(1), store());
    const QByteArray first = fileBytes(store());
    plist.write(sample(2), store());
    EXPECT_EQ(fileBytes(PlistManager::backupPath(store())), first);
    const QByteArray second = fileBytes(store());
    plist.write(sample(3), store());
    EXPECT_EQ(fileBytes(PlistManager::backupPath(store())), second);
    EXPECT_EQ(PlistManager::backupPath(store()), store() + QStringLiteral(".backup"));
}

TEST_F(PlistManagerTest, AFailedWriteLeavesTheOldFileIntact)
{
    plist.write(sample(1), store());
    const QByteArray before = fileBytes(store());
    QVariantMap bad = sample(2);
    bad.insert(QStringLiteral("notAPlistValue"), QPoint(1, 1));
    const QString message = messageOf([&] { plist.write(bad, store()); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Failed to write plist: ") + store() + QStringLiteral(": "))) << message.toStdString();
    EXPECT_EQ(fileBytes(store()), before);

    // A store path whose folder is a file cannot be written; nothing is left half-done.
    const QString blocked = dir.filePath(QStringLiteral("file-not-folder"));
    putFile(blocked, "x");
    EXPECT_THROW(plist.write(sample(1), blocked + QStringLiteral("/Index.plist")), PlatformError);
    EXPECT_EQ(fileBytes(blocked), QByteArray("x"));
    // No temporary files are left beside the store.
    EXPECT_EQ(QDir(QFileInfo(store()).absolutePath()).entryList(QDir::Files).size(), 2);
}

TEST_F(PlistManagerTest, RestoreReplacesTheTargetAndKeepsTheBackup)
{
    plist.write(sample(1), store());
    plist.write(sample(2), store());
    plist.restore(PlistManager::backupPath(store()), store());
    EXPECT_EQ(plist.read(store()), sample(1));
    EXPECT_TRUE(QFileInfo::exists(PlistManager::backupPath(store())));

    const QString missingBackup = dir.filePath(QStringLiteral("none.backup"));
    const QString message = messageOf([&] { plist.restore(missingBackup, store()); });
    EXPECT_EQ(message, QStringLiteral("File not found: ") + missingBackup);
    EXPECT_EQ(plist.read(store()), sample(1));   // a failed restore never leaves no store
}

TEST_F(PlistManagerTest, BackupOfAMissingFileFails)
{
    EXPECT_TRUE(messageOf([&] { plist.backup(store()); }).startsWith(QStringLiteral("File not found: ")));
}

TEST_F(PlistManagerTest, ChecksumIsSha256InLowerCaseHex)
{
    const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
    putFile(a, "abc");
    putFile(b, "abc");
    EXPECT_EQ(plist.calculateChecksum(a), QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(plist.calculateChecksum(a), plist.calculateChecksum(b));
    putFile(b, "abd");
    EXPECT_NE(plist.calculateChecksum(a), plist.calculateChecksum(b));
    EXPECT_TRUE(messageOf([&] { plist.calculateChecksum(dir.filePath(QStringLiteral("c"))); }).startsWith(QStringLiteral("File not found: ")));
}

TEST_F(PlistManagerTest, CreateBinaryPlistFailureNamesBinaryData)
{
    EXPECT_TRUE(plist.createBinaryPlist({{QStringLiteral("a"), qint64(1)}}).startsWith("bplist00"));
    EXPECT_EQ(messageOf([&] { plist.createBinaryPlist({{QStringLiteral("a"), QPoint()}}); }),
              QStringLiteral("Failed to write plist: binary data"));
}
