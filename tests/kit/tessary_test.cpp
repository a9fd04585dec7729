#include "kit/tessary.h"
#include "kit_environment_fixture.h"

#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
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
    EXPECT_EQ(errorOf([&] { tessary.restoreFromBackup(); }),
        QStringLiteral("File not found: ") + storePath() + QStringLiteral(".backup"));
    arrange({ 2, 3 });
    EXPECT_FALSE(tessary.getActiveScreensavers().contains(QStringLiteral("QuorvelExtension")));
    await(tessary.setScreensaverEverywhere(QStringLiteral("QuorvelExtension")));
    EXPECT_EQ(tessary.getActiveScreensavers(), QStringList { QStringLiteral("QuorvelExtension") });
    EXPECT_EQ(tessary.getActiveScreensaver(ScreenIdentifier { 2 })->name, QStringLiteral("QuorvelExtension"));
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
    await(tessary.setScreensaverForDisplay(QStringLiteral("Flurry"), 1, WriteOptions { .restartAgent = false }));
    const QString image = home.filePath(QStringLiteral("sea.png"));
    QImage(4, 4, QImage::Format_RGB32).save(image);
    await(tessary.setWallpaperForDisplay(image, 1, WallpaperOptions { WallpaperStyle::fit }));

    const QVariantMap entry = store().value(QStringLiteral("Spaces")).toMap().value(spaceUUID(1)).toMap();
    const QVariantMap slot = entry.value(QStringLiteral("Default")).toMap();
    EXPECT_TRUE(slot.contains(QStringLiteral("Idle"))); // the screensaver stays
    const QByteArray options = slot.value(QStringLiteral("Desktop"))
                                   .toMap()
                                   .value(QStringLiteral("Content"))
                                   .toMap()
                                   .value(QStringLiteral("EncodedOptionValues"))
                                   .toByteArray();
    EXPECT_EQ(parsePlist(options)
                  .value->toMap()
                  .value(QStringLiteral("values"))
                  .toMap()
                  .value(QStringLiteral("style"))
                  .toMap()
                  .value(QStringLiteral("picker"))
                  .toMap()
                  .value(QStringLiteral("_0"))
                  .toMap()
                  .value(QStringLiteral("id"))
                  .toString(),
        QStringLiteral("fit"));
    const auto current = tessary.getCurrentWallpaper(std::nullopt);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->style, WallpaperStyle::fit);
    EXPECT_EQ(current->imageURL, QUrl::fromLocalFile(image).toString(QUrl::FullyEncoded));
    EXPECT_EQ(runner->detached.size(), 1u); // the wallpaper write restarted the agent; the screensaver one skipped it

    EXPECT_EQ(
        errorOf([&] { await(tessary.setWallpaperOnAllDisplays(home.filePath(QStringLiteral("missing.png")), {})); }),
        QStringLiteral("File not found: ") + home.filePath(QStringLiteral("missing.png")));
    arrange({}, false);
    EXPECT_EQ(errorOf([&] { await(tessary.setWallpaperOnAllDisplays(image, {})); }),
        QStringLiteral("Invalid configuration: No displays found"));
    EXPECT_EQ(errorOf([&] { await(tessary.setWallpaperForSpace(image, QString(), {})); }),
        QStringLiteral("Invalid configuration: Space UUID cannot be empty"));
}
