#include "kit/tessary.h"
#include "kit/wallpaper_manager.h"
#include "kit_environment_fixture.h"

#include <QDir>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
using namespace quorvel::kit::fixtures;

namespace {
struct Facade : ::testing::Test, KitFixture {
    Tessary tessary { env };
};
} // namespace

// The application's activation: set the module everywhere, then find it among the active ones.
TEST_F(Facade, SetsTheModuleEverywhereAndTheStoreProvesIt)
{
    EXPECT_FALSE(tessary.getBackupInfo().exists);
    EXPECT_EQ(errorOf([&] { tessary.restoreFromBackup(); }), u"File not found: "_s + storePath() + u".backup"_s);
    arrange({ 2, 3 });
    EXPECT_FALSE(tessary.getActiveScreensavers().contains(u"QuorvelExtension"_s));
    await(tessary.setScreensaverEverywhere(u"QuorvelExtension"_s));
    EXPECT_EQ(tessary.getActiveScreensavers(), QStringList { u"QuorvelExtension"_s });
    EXPECT_EQ(tessary.getActiveScreensaver(ScreenIdentifier { 2 })->name, u"QuorvelExtension"_s);
    EXPECT_EQ(tessary.getActiveSpace()->uuid, spaceUUID(1)); // the current space of the main display

    const BackupInfo backup = tessary.getBackupInfo();
    EXPECT_TRUE(backup.exists);
    EXPECT_GT(backup.size.value_or(0), 0);
    tessary.restoreFromBackup();
    EXPECT_EQ(store(), initial);
}

TEST_F(Facade, WallpaperKeepsTheScreensaverAndStoresItsStyle)
{
    arrange({ 2 });
    await(tessary.setScreensaverForDisplay(u"Flurry"_s, 1, WriteOptions { .restartAgent = false }));
    const QString image = home.filePath(u"sea.png"_s);
    QImage(4, 4, QImage::Format_RGB32).save(image);
    await(tessary.setWallpaperForDisplay(image, 1, WallpaperOptions { WallpaperStyle::fit }));

    const QVariantMap entry = store().value(u"Spaces"_s).toMap().value(spaceUUID(1)).toMap();
    const QVariantMap slot = entry.value(u"Default"_s).toMap();
    EXPECT_TRUE(slot.contains(u"Idle"_s)); // the screensaver stays
    const QByteArray options = dig(slot, { "Desktop", "Content", "EncodedOptionValues" }).toByteArray();
    EXPECT_EQ(dig(*parsePlist(options).value, { "values", "style", "picker", "_0", "id" }).toString(), u"fit"_s);
    const auto current = tessary.getCurrentWallpaper(std::nullopt);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->style, WallpaperStyle::fit);
    EXPECT_EQ(current->imageURL, QUrl::fromLocalFile(image).toString(QUrl::FullyEncoded));
    EXPECT_EQ(runner->detached.size(), 1u); // the wallpaper write restarted the agent; the screensaver one skipped it

    EXPECT_EQ(errorOf([&] { await(tessary.setWallpaperOnAllDisplays(home.filePath(u"missing.png"_s), {})); }),
        u"File not found: "_s + home.filePath(u"missing.png"_s));
    arrange({}, false);
    EXPECT_EQ(errorOf([&] { await(tessary.setWallpaperOnAllDisplays(image, {})); }),
        u"Invalid configuration: No displays found"_s);
    EXPECT_EQ(errorOf([&] { await(tessary.setWallpaperForSpace(image, QString(), {})); }),
        u"Invalid configuration: Space UUID cannot be empty"_s);
    os->current = { 13, 6, 0 };
    EXPECT_EQ(
        errorOf([&] { await(tessary.setWallpaper(image)); }), u"This feature requires macOS 14.0 (Sonoma) or later"_s);
}

// A picture named relative to the working folder is stored as the absolute file URL the agent can
// open, not as a relative URL it would resolve against a folder of its own.
TEST_F(Facade, ARelativeImagePathIsStoredAbsolute)
{
    arrange({ 1 });
    QImage(4, 4, QImage::Format_RGB32).save(home.filePath(u"sea.png"_s));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(home.path());
    await(tessary.setWallpaperForDisplay(u"sea.png"_s, 1, WallpaperOptions {}));
    QDir::setCurrent(previous);
    EXPECT_EQ(tessary.getCurrentWallpaper(std::nullopt)->imageURL,
        QUrl::fromLocalFile(home.filePath(u"sea.png"_s)).toString(QUrl::FullyEncoded));
}

namespace {

// A screensaver manager of another kind: no space queries, and it records what reaches it.
class RecordingScreensavers final : public ScreensaverManaging {
public:
    QCoro::Task<> setScreensaver(QString, std::optional<ScreenIdentifier>, WriteOptions) override { co_return; }
    std::optional<ScreensaverInfo> getActiveScreensaver(std::optional<ScreenIdentifier>) const override
    {
        return std::nullopt;
    }
    QStringList getActiveScreensavers() const override { return { u"Recorded"_s }; }
    void setIdleTime(qint64) override { }
    std::optional<qint64> getIdleTime() const override { return 42; }
    QCoro::Task<QList<ScreensaverModule>> listAvailableScreensavers() const override { co_return {}; }
    QCoro::Task<> setScreensaverForSpaceID(QString, qint64, std::optional<ScreenIdentifier>, WriteOptions) override
    {
        co_return;
    }
    QCoro::Task<> setScreensaverForSpace(QString, QString, std::optional<ScreenIdentifier>, WriteOptions) override
    {
        co_return;
    }
    QCoro::Task<> setScreensaverEverywhere(QString module, WriteOptions options) override
    {
        everywhere.emplace_back(module, options);
        co_return;
    }
    QCoro::Task<> setScreensaverForDisplay(QString, int, WriteOptions) override { co_return; }
    QCoro::Task<> setScreensaverForDisplaySpace(QString, int, int, WriteOptions) override { co_return; }

    std::vector<std::pair<QString, WriteOptions>> everywhere;
};

} // namespace

TEST_F(Facade, SubstitutedManagerWithoutSpaceQueriesGivesEmptySpaceAnswers)
{
    arrange({ 2 });
    auto recording = std::make_shared<RecordingScreensavers>();
    Tessary substituted(recording, std::make_shared<WallpaperManager>(env), env);
    EXPECT_EQ(substituted.getActiveSpace(), std::nullopt);
    EXPECT_EQ(substituted.getSpaceByID(1), std::nullopt);
    EXPECT_TRUE(substituted.listDisplays().isEmpty());
    EXPECT_TRUE(substituted.getNativeSpaceTree().isEmpty());
    // The default facade answers them from the same arrangement.
    EXPECT_EQ(tessary.listDisplays().size(), 1);

    await(substituted.setScreensaverEverywhere(u"Q"_s, WriteOptions { .restartAgent = false }));
    ASSERT_EQ(recording->everywhere.size(), 1u);
    EXPECT_FALSE(recording->everywhere[0].second.restartAgent);
    EXPECT_FALSE(recording->everywhere[0].second.enableDebug);
    EXPECT_EQ(substituted.getActiveScreensavers(), QStringList { u"Recorded"_s });
    EXPECT_EQ(substituted.getIdleTime(), 42);
}
