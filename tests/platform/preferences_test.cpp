#include "platform/file_lock.h"
#include "platform/linux/preference_file_suite.h"
#include "platform/plist_reader.h"
#include "platform/preference_codec.h"
#include "platform/preferences.h"
#include "platform/spaces.h"

#include <gtest/gtest.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <thread>

namespace {

using namespace Qt::StringLiterals;
using quorvel::platform::FilePreferences;

const QString kApp = u"com.quorvel.Quorvel"_s;
const QString kShared = u"group.com.quorvel.shared"_s;

class FilePreferencesTest : public ::testing::Test {
protected:
    // A second holder of the same folder, as another process would be.
    FilePreferences other(const QString& app = u"com.quorvel.Quorvel.Extension"_s) { return { app, dir.path() }; }
    QTemporaryDir dir;
    FilePreferences preferences { kApp, dir.path() };
};

// A file the way the suites' earlier format of our own wrote it.
class LegacyFile {
public:
    LegacyFile()
        : out_(&bytes_, QIODevice::WriteOnly)
    {
        out_ << quint32(0x51505246) << quint32(2);
    }
    LegacyFile& map(quint32 count)
    {
        out_ << quint8(11) << count;
        return *this;
    }
    LegacyFile& list(quint32 count)
    {
        out_ << quint8(10) << count;
        return *this;
    }
    LegacyFile& key(const QByteArray& name) { return blob(name); }
    LegacyFile& integer(qint32 value)
    {
        out_ << quint8(2) << value;
        return *this;
    }
    LegacyFile& real(double value)
    {
        out_ << quint8(6) << value;
        return *this;
    }
    LegacyFile& flag(bool value)
    {
        out_ << quint8(1) << value;
        return *this;
    }
    LegacyFile& text(const QByteArray& utf8)
    {
        out_ << quint8(7);
        return blob(utf8);
    }
    const QByteArray& bytes() const { return bytes_; }

private:
    LegacyFile& blob(const QByteArray& data)
    {
        out_ << quint32(data.size());
        out_.writeRawData(data.constData(), int(data.size()));
        return *this;
    }
    QByteArray bytes_;
    QDataStream out_;
};

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(FilePreferencesTest, ValuesKeepTheirTypesInAPropertyListFile)
{
    const QDateTime when(QDate(2025, 3, 7), QTime(12, 30, 15), Qt::UTC);
    const QVariantMap values { { "volume", 0.3 }, { "third", 1.0 / 3 }, { "whole", 2.0 }, { "count", qint64(7) },
        { "big", qint64(1) << 40 }, { "negative", qint64(-5) }, { "on", true }, { "off", false },
        { "handle", u"wümble <&> \u05E9"_s }, { "empty", QString() }, { "when", when },
        { "bytes", QByteArray("\0\x01\xff", 3) },
        { "record", QVariantMap { { "days", QVariantList { u"2025-03-07"_s, qint64(2) } } } },
        { "list", QVariantList { qint64(1), 2.5, u"three"_s } } };
    auto suite = preferences.suite(kShared);
    for (auto it = values.begin(); it != values.end(); ++it)
        suite->setValue(it.key(), it.value());
    // Narrower integers and times within a second read back as the file holds them.
    suite->setValue("narrow", 9);
    suite->setValue("instant", when.addMSecs(250));
    EXPECT_TRUE(suite->synchronize());
    EXPECT_EQ(suite->value("narrow"), QVariant(qint64(9)));
    EXPECT_EQ(suite->value("instant"), QVariant(when));

    auto read = other().suite(kShared);
    for (auto it = values.begin(); it != values.end(); ++it) {
        EXPECT_EQ(read->value(it.key()).typeId(), it.value().typeId()) << it.key().toStdString();
        EXPECT_EQ(read->value(it.key()), it.value()) << it.key().toStdString();
    }
    // A person can read the file; any property-list reader gets the same values.
    const QByteArray file = contents(dir.filePath(kShared + ".prefs"));
    EXPECT_TRUE(file.startsWith("<?xml")) << file.left(40).toStdString();
    const auto document = quorvel::platform::readPlist(file);
    ASSERT_TRUE(document.value);
    EXPECT_EQ(document.value->toMap().value("handle"), values.value("handle"));
    EXPECT_EQ(document.value->toMap().size(), values.size() + 2);
}

// The earlier format is read once, its values carried over with their types, and the file is
// rewritten as a property list under the same name and lock.
TEST_F(FilePreferencesTest, AFileInTheEarlierFormatIsCarriedOverAndRewritten)
{
    const QString path = dir.filePath(kApp + ".prefs");
    LegacyFile legacy;
    legacy.map(5)
        .key("count")
        .integer(7)
        .key("handle")
        .text("w\xc3\xbcmble")
        .key("on")
        .flag(true)
        .key("volume")
        .real(0.3)
        .key("record")
        .list(2)
        .integer(1)
        .text("x");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(legacy.bytes());
    }
    auto suite = FilePreferences(kApp, dir.path()).standard();
    const QByteArray rewritten = contents(path);
    EXPECT_TRUE(rewritten.startsWith("<?xml")) << "the file was not rewritten";
    EXPECT_EQ(suite->value("count"), QVariant(qint64(7)));
    EXPECT_EQ(suite->value("handle"), QVariant(u"wümble"_s));
    EXPECT_EQ(suite->value("on"), QVariant(true));
    EXPECT_EQ(suite->value("volume"), QVariant(0.3));
    EXPECT_EQ(suite->value("record"), QVariant(QVariantList { qint64(1), u"x"_s }));

    // Read once: the next holder finds the property list, and writes go on under the same lock.
    EXPECT_EQ(other(kApp).standard()->value("handle"), QVariant(u"wümble"_s));
    EXPECT_EQ(contents(path), rewritten);
    quorvel::platform::FileLock held(path + ".lock");
    ASSERT_EQ(held.tryLock(), quorvel::platform::FileLock::Result::acquired);
    std::thread writer([&] { suite->setValue("volume", 0.6); });
    QThread::msleep(100);
    EXPECT_EQ(contents(path), rewritten) << "written while another held the lock";
    held.unlock();
    writer.join();
    EXPECT_EQ(other(kApp).standard()->value("volume"), QVariant(0.6));
}

TEST_F(FilePreferencesTest, TwoHoldersSeeEachOthersWritesAndRemovals)
{
    auto holder = other();
    auto mine = preferences.suite(kShared), theirs = holder.suite(kShared);
    // Each writes its own key; neither write may drop the other's.
    mine->setValue("volume", 0.8);
    theirs->setValue("b", 2);
    ASSERT_TRUE(mine->synchronize());
    ASSERT_TRUE(theirs->synchronize());
    EXPECT_EQ(mine->value("b").toInt(), 2);
    EXPECT_EQ(theirs->value("volume").toDouble(), 0.8);

    theirs->remove("volume");
    ASSERT_TRUE(theirs->synchronize());
    ASSERT_TRUE(mine->synchronize());
    EXPECT_FALSE(mine->value("volume").isValid());
}

// A write waits for whoever holds the file's lock, another process's merge for instance, and lands
// once they let go; writing under their feet would drop what they merge in.
TEST_F(FilePreferencesTest, AWriteWaitsForTheHolderOfTheFileLock)
{
    const QString file = dir.filePath("com.quorvel.Quorvel.prefs");
    quorvel::platform::FileLock held(file + ".lock");
    ASSERT_EQ(held.tryLock(), quorvel::platform::FileLock::Result::acquired);
    auto suite = preferences.standard();
    std::thread writer([&] { suite->setValue("volume", 0.6); });
    QThread::msleep(150);
    EXPECT_FALSE(QFile::exists(file)) << "written while another held the lock";
    held.unlock();
    writer.join();
    EXPECT_EQ(other(kApp).standard()->value("volume").toDouble(), 0.6);
}

TEST_F(FilePreferencesTest, SuitesDomainsAndHostsAreSeparateFiles)
{
    const QString saver = u"com.apple.screensaver"_s;
    preferences.standard()->setValue("hasOnboarded", true);
    preferences.domain(saver, true)->setValue("moduleDict", QVariantMap { { "moduleName", "X" } });
    preferences.suite(saver)->setValue("idleTime", 300);

    EXPECT_TRUE(QFile::exists(dir.filePath("com.quorvel.Quorvel.prefs")));
    EXPECT_TRUE(QFile::exists(dir.filePath("ByHost/com.apple.screensaver.prefs")));
    // A suite and the user domain of the same name are one store.
    EXPECT_EQ(preferences.domain(saver, false)->value("idleTime").toInt(), 300);
    EXPECT_FALSE(preferences.suite(saver)->value("moduleDict").isValid());
    EXPECT_TRUE(preferences.suite(kApp)->value("hasOnboarded").toBool());
    EXPECT_FALSE(other().standard()->value("hasOnboarded").isValid());

    for (const char* name : { "", "..", "../escape", "a/b", ".hidden" })
        EXPECT_EQ(preferences.suite(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(FilePreferencesTest, DamagedOrUnwritableFilesAreSurvivedAndReported)
{
    QFile damaged(dir.filePath("com.quorvel.Quorvel.prefs"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("not a preference file") > 0);
    damaged.close();
    auto suite = preferences.standard();
    EXPECT_FALSE(suite->value("anything").isValid());
    suite->setValue("volume", 0.4);
    ASSERT_TRUE(suite->synchronize());
    EXPECT_EQ(other(kApp).standard()->value("volume").toDouble(), 0.4);

    // A plain file where the folder should be (permissions alone do not stop root).
    auto unwritable = FilePreferences(kApp, damaged.fileName() + "/Preferences").standard();
    unwritable->setValue("volume", 0.5);
    EXPECT_EQ(unwritable->value("volume").toDouble(), 0.5); // still visible to this process
    EXPECT_FALSE(unwritable->synchronize());
}

struct NotStorable {
    int x = 0;
};

TEST_F(FilePreferencesTest, AValueThatCannotBeStoredIsRefusedWithoutLosingTheOthers)
{
    auto suite = preferences.standard();
    suite->setValue("kept", 1);
    suite->setValue("odd", QVariant::fromValue(NotStorable {}));
    suite->setValue("nested", QVariantMap { { "inner", QVariantList { 1, QVariant::fromValue(NotStorable {}) } } });
    // A property list has no empty value, and its text no NUL.
    suite->setValue("holes", QVariantList { QVariant(), 1 });
    suite->setValue("nul", QStringLiteral("a\0b"));
    for (const char* refused : { "odd", "nested", "holes", "nul" })
        EXPECT_FALSE(suite->value(refused).isValid()) << refused;
    EXPECT_FALSE(suite->synchronize()); // the refusal is reported once
    suite->setValue("later", 2);
    EXPECT_TRUE(suite->synchronize());
    auto fresh = other(kApp).standard();
    EXPECT_EQ(fresh->value("kept").toInt(), 1);
    EXPECT_EQ(fresh->value("later").toInt(), 2);

    suite->setValue("kept", QVariant()); // an invalid value removes, as a nil default would
    EXPECT_TRUE(suite->synchronize());
    EXPECT_FALSE(other(kApp).standard()->value("kept").isValid());
}

TEST(LegacyPreferenceFile, RejectsTruncatedAndForeignBytes)
{
    const auto decodePreferenceFile = quorvel::platform::detail::decodeLegacyPreferenceFile;
    LegacyFile legacy;
    legacy.map(1).key("k").list(2).integer(1).text("x");
    const QByteArray good = legacy.bytes();
    ASSERT_EQ(decodePreferenceFile(good), (QVariantMap { { "k", QVariantList { 1, u"x"_s } } }));
    for (qsizetype cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(decodePreferenceFile(good.left(cut)).has_value()) << "cut at " << cut;
    EXPECT_FALSE(decodePreferenceFile(good + "trailing").has_value());
    EXPECT_FALSE(decodePreferenceFile(QByteArray(64, '\xff')).has_value());

    // Lengths and counts a damaged file claims are never believed beyond the bytes it has: each of
    // these once made the reader try to allocate gigabytes, or recurse without end.
    const QByteArray header = good.left(8);
    const QByteArray huge("\xff\xff\xff\xf0", 4);
    EXPECT_FALSE(decodePreferenceFile(header + '\x0b' + huge).has_value()) << "map count";
    EXPECT_FALSE(decodePreferenceFile(header + '\x0a' + huge).has_value()) << "list count";
    EXPECT_FALSE(decodePreferenceFile(header + '\x07' + huge + "abc").has_value()) << "string length";
    EXPECT_FALSE(decodePreferenceFile(header + QByteArray("\x0a\x00\x00\x00\x01", 5).repeated(100)).has_value())
        << "nesting";
}

class FixedSpaces final : public quorvel::platform::Spaces {
public:
    QVariantMap spacesDocument() override
    {
        return { { "SpacesDisplayConfiguration", QVariantMap { { "Monitors", calls++ } } } };
    }
    QVariantMap windowServerDisplaysDocument() override { return { { "DisplayAnyUserSets", 1 } }; }
    int calls = 0;
};

TEST_F(FilePreferencesTest, SpacesDomainsComeFromTheInjectedSpacesAndRefuseWrites)
{
    FilePreferences withSpaces(kApp, dir.path(), std::make_shared<FixedSpaces>());
    auto domain = withSpaces.domain(u"com.apple.spaces"_s, false);
    EXPECT_EQ(domain->value("SpacesDisplayConfiguration").toMap().value("Monitors").toInt(), 0);
    EXPECT_TRUE(withSpaces.domain(u"com.apple.windowserver.displays"_s, true)->value("DisplayAnyUserSets").isValid());

    domain->setValue("SpacesDisplayConfiguration", 1);
    EXPECT_FALSE(domain->synchronize()); // the write was not kept, and says so
    EXPECT_EQ(domain->value("SpacesDisplayConfiguration").toMap().value("Monitors").toInt(), 1); // fresh document
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

} // namespace
