#include "kit/plist_manager.h"
#include "kit_fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using quorvel::kit::fixtures::errorOf;

namespace {

class PlistManagerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    PlistManager plist;
    QString store() const { return dir.filePath(QStringLiteral("Store/Index.plist")); }
    QString backup() const { return PlistManager::backupPath(store()); }
    QVariantMap sample(int marker) const
    {
        QVariantMap m = fixtures::realisticStore({ { QStringLiteral("D1"), { QStringLiteral("S1") } } });
        m.insert(QStringLiteral("Marker"), qint64(marker));
        return m;
    }
    QString put(const QString& name, const QByteArray& bytes) const
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(PlistManagerTest, ReadFailuresAreTypedWithTheirPath)
{
    const QString missing = dir.filePath(QStringLiteral("nope.plist"));
    for (const auto& action : std::vector<std::function<void()>> {
             [&] { plist.read(missing); }, [&] { plist.backup(missing); }, [&] { plist.calculateChecksum(missing); } })
        EXPECT_EQ(errorOf(action), QStringLiteral("File not found: ") + missing);
    for (const QString& path : { put(QStringLiteral("array"), *serializeBinaryPlist(QVariantList { qint64(1) }).bytes),
             put(QStringLiteral("empty"), {}), put(QStringLiteral("truncated"), fixtures::binary(sample(1)).left(40)) })
        EXPECT_EQ(errorOf([&] { plist.read(path); }), QStringLiteral("Failed to read plist: ") + path);
}

// The backup always holds the state from just before the latest write, so a rollback never
// returns to an older, stale state; unknown keys survive every write.
TEST_F(PlistManagerTest, EveryWriteRefreshesTheBackupWithThePreviousContent)
{
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(store()).absolutePath()));
    plist.write(sample(1), store());
    EXPECT_TRUE(bytes(store()).startsWith("bplist00"));
    EXPECT_EQ(plist.read(store()), sample(1));
    EXPECT_FALSE(QFileInfo::exists(backup())); // nothing existed to back up
    const QByteArray first = bytes(store());
    plist.write(sample(2), store());
    EXPECT_EQ(bytes(backup()), first);
    const QByteArray second = bytes(store());
    plist.write(sample(3), store());
    EXPECT_EQ(bytes(backup()), second);
    EXPECT_EQ(backup(), store() + QStringLiteral(".backup"));
}

TEST_F(PlistManagerTest, AFailedWriteLeavesTheOldFileIntact)
{
    plist.write(sample(1), store());
    const QByteArray before = bytes(store());
    QVariantMap bad = sample(2);
    bad.insert(QStringLiteral("notAPlistValue"), QPoint(1, 1));
    const QString message = errorOf([&] { plist.write(bad, store()); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Failed to write plist: ") + store() + QStringLiteral(": ")))
        << message.toStdString();
    EXPECT_EQ(bytes(store()), before);
    EXPECT_EQ(errorOf([&] { plist.createBinaryPlist(bad); }), QStringLiteral("Failed to write plist: binary data"));

    // A store path whose folder is a file cannot be written; nothing is left half-done.
    const QString blocked = put(QStringLiteral("file-not-folder"), "x");
    EXPECT_THROW(plist.write(sample(1), blocked + QStringLiteral("/Index.plist")), PlatformError);
    EXPECT_EQ(bytes(blocked), QByteArray("x"));
    // No temporary files are left beside the store.
    EXPECT_EQ(QDir(QFileInfo(store()).absolutePath()).entryList(QDir::Files).size(), 2);
}

TEST_F(PlistManagerTest, RestoreReplacesTheTargetAndKeepsTheBackup)
{
    plist.write(sample(1), store());
    plist.write(sample(2), store());
    plist.restore(backup(), store());
    EXPECT_EQ(plist.read(store()), sample(1));
    EXPECT_TRUE(QFileInfo::exists(backup()));

    const QString missingBackup = dir.filePath(QStringLiteral("none.backup"));
    EXPECT_EQ(
        errorOf([&] { plist.restore(missingBackup, store()); }), QStringLiteral("File not found: ") + missingBackup);
    EXPECT_EQ(plist.read(store()), sample(1)); // a failed restore never leaves no store
}

TEST_F(PlistManagerTest, ChecksumIsSha256InLowerCaseHex)
{
    const QString a = put(QStringLiteral("a"), "abc");
    EXPECT_EQ(
        plist.calculateChecksum(a), QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_NE(plist.calculateChecksum(a), plist.calculateChecksum(put(QStringLiteral("b"), "abd")));
}

// The store is replaced through a temporary file; it must not come back readable by others.
TEST_F(PlistManagerTest, AWriteKeepsTheFilesPermissions)
{
    plist.write(sample(1), store());
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(store(), ownerOnly));
    plist.write(sample(2), store());
    EXPECT_EQ(QFile::permissions(store()) & ~(QFile::ReadUser | QFile::WriteUser), ownerOnly);
    plist.restore(backup(), store());
    EXPECT_EQ(QFile::permissions(store()) & ~(QFile::ReadUser | QFile::WriteUser), ownerOnly);
}
