#include "kit/module_resolution.h"
#include "kit_environment_fixture.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace quorvel::kit::fixtures;

namespace {

struct Resolution : ::testing::Test, KitFixture {
    ScreensaverManager manager { env };
    ModuleResolver resolver { env };

    QString resolved(const QString& screen)
    {
        const ModuleResolution r = await(resolver.resolve(screen));
        if (const auto* error = std::get_if<ModuleResolutionError>(&r))
            return QStringLiteral("error: ") + error->message();
        return std::get<QString>(r);
    }
};

} // namespace

TEST_F(Resolution, MinimalStoreIsWrittenOnlyWhenNoneExists)
{
    arrange({ 1, 1 }, false);
    ASSERT_TRUE(resolver.ensureStore());
    const QVariantMap written = store();
    const QVariantMap individual { { QStringLiteral("Type"), QStringLiteral("individual") } };
    EXPECT_EQ(written.value(QStringLiteral("AllSpacesAndDisplays")).toMap(), individual);
    EXPECT_EQ(written.value(QStringLiteral("SystemDefault")).toMap(), individual);
    EXPECT_EQ(written.value(QStringLiteral("Spaces")).toMap().keys(), (QStringList { spaceUUID(1), spaceUUID(2) }));
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: no screensaver module is selected in the wallpaper store"));

    writeStore(initial);
    const QByteArray existing = storeBytes();
    ASSERT_TRUE(resolver.ensureStore());
    EXPECT_EQ(storeBytes(), existing);
}

TEST_F(Resolution, EachScreenTakesItsDisplaySlotThenTheWiderSlots)
{
    arrange({ 1, 1 }, false);
    resolver.ensureStore();
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"), WriteOptions { .restartAgent = false }));
    await(manager.setScreensaverForSpace(QStringLiteral("QuorvelExtension"), spaceUUID(2), ScreenIdentifier { 2 },
        WriteOptions { .restartAgent = false }));
    EXPECT_EQ(resolved(kMain), modulesDir() + QStringLiteral("/Flurry.saver"));
    EXPECT_EQ(resolved(kSecond), modulesDir() + QStringLiteral("/QuorvelExtension.appex"));
    const ModuleResolution main = await(resolver.resolveMain());
    EXPECT_EQ(std::get<QString>(main), modulesDir() + QStringLiteral("/Flurry.saver"));
}

TEST_F(Resolution, ModulesOutsideTheFoldersAreFoundThroughTheRegistry)
{
    arrange({ 1 }, false);
    resolver.ensureStore();
    runner->results.push_back(ScriptedProcessRunner::finished(0,
        "+    com.quorvel.Quorvel.Extension(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/My "
        "Quorvel.app/Contents/PlugIns/QuorvelExtension.appex\n"));
    await(manager.setScreensaverEverywhere(QStringLiteral("QuorvelExtension"), WriteOptions { .restartAgent = false }));
    QDir(modulesDir() + QStringLiteral("/QuorvelExtension.appex")).removeRecursively();
    EXPECT_EQ(resolved(kMain), QStringLiteral("/Apps/My Quorvel.app/Contents/PlugIns/QuorvelExtension.appex"));
    EXPECT_EQ(runner->runs.back().arguments, (QStringList { "-m", "-v", "-p", "com.apple.screensaver" }));
    // Unregistered and not in the folders: said so by name.
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: the selected screensaver \"QuorvelExtension\" is not installed"));
}

TEST_F(Resolution, UnusableStoresAndChoicesAreTypedReasons)
{
    arrange({ 1 }, false);
    writeBytes("bplist00 truncated");
    EXPECT_EQ(resolved(kMain),
        QStringLiteral("error: the wallpaper store ") + storePath() + QStringLiteral(" cannot be read"));

    // A choice whose configuration is not a module (a video screensaver).
    const QByteArray video
        = manager.createScreensaverConfiguration(QStringLiteral("/v"), ScreensaverType::sequoiaVideo);
    initial.insert(
        QStringLiteral("SystemDefault"), QVariantMap { { QStringLiteral("Idle"), screensaverChoice({}, video) } });
    writeStore(initial);
    EXPECT_EQ(resolved(kMain), QStringLiteral("error: the selected screensaver choice names no module"));
}

// After the module is set everywhere, every narrower choice takes (no rollback), the other screen
// keeps the module set everywhere, and the saver plays on each screen what the kit reports there.
TEST_F(Resolution, NarrowerChoicesAfterEverywhereShowOnTheirScreenOnly)
{
    const QString flurry = modulesDir() + QStringLiteral("/Flurry.saver");
    const QString quorvel = modulesDir() + QStringLiteral("/QuorvelExtension.appex");
    const QString extension = QStringLiteral("QuorvelExtension");
    const std::vector<std::pair<const char*, std::function<QCoro::Task<>()>>> rows = {
        { "display", [&] { return manager.setScreensaverForDisplay(extension, 2); } },
        { "display and space", [&] { return manager.setScreensaverForDisplaySpace(extension, 2, 2); } },
        { "space UUID and screen",
            [&] { return manager.setScreensaverForSpace(extension, spaceUUID(2), ScreenIdentifier { 2 }); } },
        { "space UUID", [&] { return manager.setScreensaverForSpace(extension, spaceUUID(2), std::nullopt); } },
        { "space number", [&] { return manager.setScreensaverForSpaceID(extension, 2, std::nullopt); } },
    };
    for (const auto& [name, narrower] : rows) {
        arrange({ 1, 1 });
        await(manager.setScreensaverEverywhere(QStringLiteral("Flurry")));
        EXPECT_EQ(errorOf([&] { await(narrower()); }), QStringLiteral("<no error>")) << name;
        EXPECT_TRUE(printed.isEmpty()) << name << ": " << printed.join('\n').toStdString();
        EXPECT_EQ(manager.getActiveScreensaver(ScreenIdentifier { 1 })->name, QStringLiteral("Flurry")) << name;
        EXPECT_EQ(manager.getActiveScreensaver(ScreenIdentifier { 2 })->name, extension) << name;
        EXPECT_EQ(resolved(kMain), flurry) << name;
        EXPECT_EQ(resolved(kSecond), quorvel) << name;
        // Set everywhere again: it applies to both screens once more.
        await(manager.setScreensaverEverywhere(QStringLiteral("Flurry")));
        EXPECT_EQ(resolved(kSecond), flurry) << name;
        printed.clear();
    }
}

// A space whose default slot and whose display slot name different modules: the saver plays what
// the kit reports for that screen, not a choice of its own.
TEST_F(Resolution, TheSaverPlaysWhatTheKitReports)
{
    arrange({ 1, 1 }, false);
    QVariantMap spaces = initial.value(QStringLiteral("Spaces")).toMap();
    QVariantMap entry = spaces.value(spaceUUID(1)).toMap();
    entry.insert(QStringLiteral("Default"),
        slot({ { QStringLiteral("Idle"),
            screensaverChoice(QUrl::fromLocalFile(modulesDir() + QStringLiteral("/Flurry.saver")).toString()) } }));
    entry.insert(QStringLiteral("Displays"),
        QVariantMap { { kMain,
            slot({ { QStringLiteral("Idle"),
                screensaverChoice(
                    QUrl::fromLocalFile(modulesDir() + QStringLiteral("/QuorvelExtension.appex")).toString()) } }) } });
    spaces.insert(spaceUUID(1), entry);
    initial.insert(QStringLiteral("Spaces"), spaces);
    writeStore(initial);
    EXPECT_EQ(manager.getActiveScreensaver(ScreenIdentifier { 1 })->name, QStringLiteral("Flurry"));
    EXPECT_EQ(resolved(kMain), modulesDir() + QStringLiteral("/Flurry.saver"));
}
