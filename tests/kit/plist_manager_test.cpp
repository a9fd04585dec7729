#include "kit/plist_manager.h"
#include "kit_fixtures.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
using quorvel::kit::fixtures::errorOf;

namespace {

class PlistManagerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    PlistManager plist;
    QString store() const { return dir.filePath(u"Store/Index.plist"_s); }
    QString backup() const { return PlistManager::backupPath(store()); }
    QVariantMap sample(int marker) const
    {
        QVariantMap m = fixtures::realisticStore({ { u"D1"_s, { u"S1"_s } } });
        m.insert(u"Marker"_s, qint64(marker));
        return m;
    }
    QString put(const QString& name, const QByteArray& bytes) const
    {
        return quorvel::testing::writeFile(dir.filePath(name), bytes);
    }
    static QByteArray bytes(const QString& path) { return quorvel::testing::readFile(path); }
};

} // namespace

TEST_F(PlistManagerTest, ReadFailuresAreTypedWithTheirPath)
{
    const QString missing = dir.filePath(u"nope.plist"_s);
    for (const auto& action : std::vector<std::function<void()>> {
             [&] { plist.read(missing); }, [&] { plist.backup(missing); }, [&] { plist.calculateChecksum(missing); } })
        EXPECT_EQ(errorOf(action), u"File not found: "_s + missing);
    for (const QString& path : { put(u"array"_s, *serializeBinaryPlist(QVariantList { qint64(1) }).bytes),
             put(u"empty"_s, {}), put(u"truncated"_s, fixtures::binary(sample(1)).left(40)) })
        EXPECT_EQ(errorOf([&] { plist.read(path); }), u"Failed to read plist: "_s + path);
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
    EXPECT_EQ(backup(), store() + u".backup"_s);
}

TEST_F(PlistManagerTest, AFailedWriteLeavesTheOldFileIntact)
{
    plist.write(sample(1), store());
    const QByteArray before = bytes(store());
    QVariantMap bad = sample(2);
    bad.insert(u"notAPlistValue"_s, QPoint(1, 1));
    const QString message = errorOf([&] { plist.write(bad, store()); });
    EXPECT_TRUE(message.startsWith(u"Failed to write plist: "_s + store() + u": "_s)) << message.toStdString();
    EXPECT_EQ(bytes(store()), before);
    EXPECT_EQ(errorOf([&] { plist.createBinaryPlist(bad); }), u"Failed to write plist: binary data"_s);

    // A store path whose folder is a file cannot be written; nothing is left half-done.
    const QString blocked = put(u"file-not-folder"_s, "x");
    EXPECT_THROW(plist.write(sample(1), blocked + u"/Index.plist"_s), PlatformError);
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

    const QString missingBackup = dir.filePath(u"none.backup"_s);
    EXPECT_EQ(errorOf([&] { plist.restore(missingBackup, store()); }), u"File not found: "_s + missingBackup);
    EXPECT_EQ(plist.read(store()), sample(1)); // a failed restore never leaves no store
}

TEST_F(PlistManagerTest, ChecksumIsSha256InLowerCaseHex)
{
    const QString a = put(u"a"_s, "abc");
    EXPECT_EQ(plist.calculateChecksum(a), u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    EXPECT_NE(plist.calculateChecksum(a), plist.calculateChecksum(put(u"b"_s, "abd")));
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
