#include "platform/linux/preference_file_suite.h"
#include "platform/preferences.h"
#include "platform/spaces.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using quorvel::platform::FilePreferences;
using quorvel::platform::Spaces;

class FixedSpaces final : public Spaces {
public:
    QVariantMap spacesDocument() override
    {
        return { { "SpacesDisplayConfiguration", QVariantMap { { "Monitors", calls++ } } } };
    }
    QVariantMap windowServerDisplaysDocument() override
    {
        return { { "DisplayAnyUserSets", QVariantMap { { "x", 1 } } } };
    }
    int calls = 0;
};

class FilePreferencesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FilePreferences preferences { QStringLiteral("com.quorvel.Quorvel"), dir.path() };
};

TEST_F(FilePreferencesTest, ValuesKeepTheirTypesAcrossInstances)
{
    const QDateTime when(QDate(2025, 3, 7), QTime(12, 30, 15, 250), Qt::UTC);
    const QVariantMap record { { "count", 3 }, { "days", QVariantList { QStringLiteral("2025-03-07"), 2 } } };
    {
        auto suite = preferences.suite(QStringLiteral("group.com.quorvel.shared"));
        suite->setValue("volume", 0.3);
        suite->setValue("count", 7);
        suite->setValue("big", qint64(1) << 40);
        suite->setValue("on", true);
        suite->setValue("handle", QStringLiteral("wümble"));
        suite->setValue("when", when);
        suite->setValue("bytes", QByteArray("\0\x01\xff", 3));
        suite->setValue("record", record);
        suite->setValue("list", QVariantList { 1, 2.5, QStringLiteral("three") });
        suite->setValue("holes", QVariantList { QVariant(), 1 });
        EXPECT_TRUE(suite->synchronize());
    }
    FilePreferences other(QStringLiteral("com.quorvel.Quorvel.Extension"), dir.path());
    auto suite = other.suite(QStringLiteral("group.com.quorvel.shared"));
    EXPECT_EQ(suite->value("volume").typeId(), QMetaType::Double);
    EXPECT_EQ(suite->value("volume").toDouble(), 0.3);
    EXPECT_EQ(suite->value("count").typeId(), QMetaType::Int);
    EXPECT_EQ(suite->value("count").toInt(), 7);
    EXPECT_EQ(suite->value("big").toLongLong(), qint64(1) << 40);
    EXPECT_EQ(suite->value("on").typeId(), QMetaType::Bool);
    EXPECT_EQ(suite->value("handle").toString(), QStringLiteral("wümble"));
    EXPECT_EQ(suite->value("when").toDateTime(), when);
    EXPECT_EQ(suite->value("bytes").toByteArray(), QByteArray("\0\x01\xff", 3));
    EXPECT_EQ(suite->value("record").toMap(), record);
    EXPECT_EQ(suite->value("list").toList(), (QVariantList { 1, 2.5, QStringLiteral("three") }));
    EXPECT_EQ(suite->value("holes").toList().size(), 2);
    EXPECT_FALSE(suite->value("absent").isValid());
}

TEST_F(FilePreferencesTest, TwoHoldersSeeEachOthersWritesAndRemovals)
{
    FilePreferences otherProcess(QStringLiteral("com.quorvel.Quorvel.Extension"), dir.path());
    auto mine = preferences.suite(QStringLiteral("group.com.quorvel.shared"));
    auto theirs = otherProcess.suite(QStringLiteral("group.com.quorvel.shared"));
    EXPECT_FALSE(theirs->value("volume").isValid());

    mine->setValue("volume", 0.8);
    ASSERT_TRUE(mine->synchronize());
    ASSERT_TRUE(theirs->synchronize());
    EXPECT_EQ(theirs->value("volume").toDouble(), 0.8);

    // Each writes its own key; neither write may drop the other's.
    mine->setValue("a", 1);
    theirs->setValue("b", 2);
    ASSERT_TRUE(mine->synchronize());
    ASSERT_TRUE(theirs->synchronize());
    EXPECT_EQ(mine->value("b").toInt(), 2);
    EXPECT_EQ(theirs->value("a").toInt(), 1);

    theirs->remove("volume");
    ASSERT_TRUE(theirs->synchronize());
    ASSERT_TRUE(mine->synchronize());
    EXPECT_FALSE(mine->value("volume").isValid());
}

TEST_F(FilePreferencesTest, SuitesDomainsAndHostsAreSeparateFiles)
{
    preferences.standard()->setValue("hasOnboarded", true);
    preferences.domain(QStringLiteral("com.apple.screensaver"), true)
        ->setValue("moduleDict", QVariantMap { { "moduleName", "X" } });
    preferences.suite(QStringLiteral("com.apple.screensaver"))->setValue("idleTime", 300);

    EXPECT_TRUE(QFile::exists(dir.filePath("com.quorvel.Quorvel.prefs")));
    EXPECT_TRUE(QFile::exists(dir.filePath("ByHost/com.apple.screensaver.prefs")));
    // A suite and the user domain of the same name are one store.
    EXPECT_EQ(preferences.domain(QStringLiteral("com.apple.screensaver"), false)->value("idleTime").toInt(), 300);
    EXPECT_FALSE(preferences.suite(QStringLiteral("com.apple.screensaver"))->value("moduleDict").isValid());
    EXPECT_TRUE(preferences.suite(QStringLiteral("com.quorvel.Quorvel"))->value("hasOnboarded").toBool());
    EXPECT_FALSE(FilePreferences(QStringLiteral("com.quorvel.Quorvel.Extension"), dir.path())
                     .standard()
                     ->value("hasOnboarded")
                     .isValid());
}

TEST_F(FilePreferencesTest, NamesThatWouldLeaveTheFolderAreRefused)
{
    for (const char* name : { "", "..", "../escape", "a/b", ".hidden" })
        EXPECT_EQ(preferences.suite(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).absoluteFilePath("../escape.prefs")));
}

TEST_F(FilePreferencesTest, SynchronizeFailsWhenTheFileCannotBeWritten)
{
    // A plain file where the folder should be (permissions alone do not stop root).
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FilePreferences unwritable(QStringLiteral("com.quorvel.Quorvel"), dir.filePath("blocked/Preferences"));
    auto suite = unwritable.standard();
    ASSERT_NE(suite, nullptr);
    suite->setValue("volume", 0.5);
    EXPECT_EQ(suite->value("volume").toDouble(), 0.5); // still visible to this process
    EXPECT_FALSE(suite->synchronize());
    EXPECT_FALSE(unwritable.suite(QStringLiteral("other"))->synchronize());
}

TEST_F(FilePreferencesTest, ADamagedFileReadsAsEmptyAndIsReplacedByTheNextWrite)
{
    QFile damaged(dir.filePath("com.quorvel.Quorvel.prefs"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a preference file");
    damaged.close();
    auto suite = preferences.standard();
    EXPECT_FALSE(suite->value("anything").isValid());
    suite->setValue("volume", 0.4);
    ASSERT_TRUE(suite->synchronize());
    EXPECT_EQ(
        FilePreferences(QStringLiteral("com.quorvel.Quorvel"), dir.path()).standard()->value("volume").toDouble(), 0.4);
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
    EXPECT_FALSE(suite->value("odd").isValid());
    EXPECT_FALSE(suite->value("nested").isValid());
    EXPECT_FALSE(suite->synchronize()); // the refusal is reported once
    suite->setValue("later", 2);
    EXPECT_TRUE(suite->synchronize());
    auto fresh = FilePreferences(QStringLiteral("com.quorvel.Quorvel"), dir.path()).standard();
    EXPECT_EQ(fresh->value("kept").toInt(), 1);
    EXPECT_EQ(fresh->value("later").toInt(), 2);

    suite->setValue("kept", QVariant()); // an invalid value removes, as a nil default would
    EXPECT_TRUE(suite->synchronize());
    EXPECT_FALSE(
        FilePreferences(QStringLiteral("com.quorvel.Quorvel"), dir.path()).standard()->value("kept").isValid());
}

TEST(PreferenceFileCodec, RejectsTruncatedAndForeignBytes)
{
    using quorvel::platform::detail::decodePreferenceFile;
    using quorvel::platform::detail::encodePreferenceFile;
    const QByteArray good = encodePreferenceFile({ { "k", QVariantList { 1, QStringLiteral("x") } } }).value();
    ASSERT_TRUE(decodePreferenceFile(good).has_value());
    for (qsizetype cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(decodePreferenceFile(good.left(cut)).has_value()) << "cut at " << cut;
    EXPECT_FALSE(decodePreferenceFile(good + "trailing").has_value());
    EXPECT_FALSE(decodePreferenceFile(QByteArray(64, '\xff')).has_value());
}

TEST(FilePreferencesSpaces, SpacesDomainsComeFromTheInjectedSpacesAndRefuseWrites)
{
    QTemporaryDir dir;
    auto spaces = std::make_shared<FixedSpaces>();
    FilePreferences preferences(QStringLiteral("com.quorvel.Quorvel"), dir.path(), spaces);
    auto domain = preferences.domain(QStringLiteral("com.apple.spaces"), false);
    EXPECT_EQ(domain->value("SpacesDisplayConfiguration").toMap().value("Monitors").toInt(), 0);
    EXPECT_TRUE(
        preferences.suite(QStringLiteral("com.apple.windowserver.displays"))->value("DisplayAnyUserSets").isValid());
    EXPECT_TRUE(preferences.domain(QStringLiteral("com.apple.windowserver.displays"), true)
                    ->value("DisplayAnyUserSets")
                    .isValid());

    domain->setValue("SpacesDisplayConfiguration", 1);
    EXPECT_FALSE(domain->synchronize()); // the write was not kept, and says so
    EXPECT_EQ(domain->value("SpacesDisplayConfiguration").toMap().value("Monitors").toInt(), 1); // fresh document
    EXPECT_TRUE(domain->synchronize());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    // Without Spaces they are ordinary files.
    FilePreferences plain(QStringLiteral("com.quorvel.Quorvel"), dir.path());
    EXPECT_FALSE(
        plain.domain(QStringLiteral("com.apple.spaces"), false)->value("SpacesDisplayConfiguration").isValid());
}

} // namespace
