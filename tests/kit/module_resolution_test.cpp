#include "kit/module_resolution.h"
#include "kit_environment_fixture.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
using namespace quorvel::kit::fixtures;

namespace {

struct Resolution : ::testing::Test, KitFixture {
    ScreensaverManager manager { env };
    ModuleResolver resolver { env };

    QString resolved(const QString& screen)
    {
        const ModuleResolution r = await(resolver.resolve(screen));
        if (const auto* error = std::get_if<ModuleResolutionError>(&r))
            return u"error: "_s + error->message();
        return std::get<QString>(r);
    }
};

} // namespace

TEST_F(Resolution, MinimalStoreIsWrittenOnlyWhenNoneExists)
{
    arrange({ 1, 1 }, false);
    ASSERT_TRUE(resolver.ensureStore());
    const QVariantMap written = store();
    const QVariantMap individual { { u"Type"_s, u"individual"_s } };
    EXPECT_EQ(written.value(u"AllSpacesAndDisplays"_s).toMap(), individual);
    EXPECT_EQ(written.value(u"SystemDefault"_s).toMap(), individual);
    EXPECT_EQ(written.value(u"Spaces"_s).toMap().keys(), (QStringList { spaceUUID(1), spaceUUID(2) }));
    EXPECT_EQ(resolved(kMain), u"error: no screensaver module is selected in the wallpaper store"_s);

    writeStore(initial);
    const QByteArray existing = storeBytes();
    ASSERT_TRUE(resolver.ensureStore());
    EXPECT_EQ(storeBytes(), existing);
}

TEST_F(Resolution, EachScreenTakesItsDisplaySlotThenTheWiderSlots)
{
    arrange({ 1, 1 }, false);
    resolver.ensureStore();
    await(manager.setScreensaverEverywhere(u"Flurry"_s, WriteOptions { .restartAgent = false }));
    await(manager.setScreensaverForSpace(
        u"QuorvelExtension"_s, spaceUUID(2), ScreenIdentifier { 2 }, WriteOptions { .restartAgent = false }));
    EXPECT_EQ(resolved(kMain), modulesDir() + u"/Flurry.saver"_s);
    EXPECT_EQ(resolved(kSecond), modulesDir() + u"/QuorvelExtension.appex"_s);
    const ModuleResolution main = await(resolver.resolveMain());
    EXPECT_EQ(std::get<QString>(main), modulesDir() + u"/Flurry.saver"_s);
}

TEST_F(Resolution, ModulesOutsideTheFoldersAreFoundThroughTheRegistry)
{
    arrange({ 1 }, false);
    resolver.ensureStore();
    runner->results.push_back(ScriptedProcessRunner::finished(0,
        "+    com.quorvel.Quorvel.Extension(1)\tU\t2024-01-01 00:00:00 +0000\t/Apps/My "
        "Quorvel.app/Contents/PlugIns/QuorvelExtension.appex\n"));
    await(manager.setScreensaverEverywhere(u"QuorvelExtension"_s, WriteOptions { .restartAgent = false }));
    QDir(modulesDir() + u"/QuorvelExtension.appex"_s).removeRecursively();
    EXPECT_EQ(resolved(kMain), u"/Apps/My Quorvel.app/Contents/PlugIns/QuorvelExtension.appex"_s);
    EXPECT_EQ(runner->runs.back().arguments, (QStringList { "-m", "-v", "-p", "com.apple.screensaver" }));
    // Unregistered and not in the folders: said so by name.
    EXPECT_EQ(resolved(kMain), u"error: the selected screensaver \"QuorvelExtension\" is not installed"_s);
}

TEST_F(Resolution, UnusableStoresAndChoicesAreTypedReasons)
{
    arrange({ 1 }, false);
    writeBytes("bplist00 truncated");
    EXPECT_EQ(resolved(kMain), u"error: the wallpaper store "_s + storePath() + u" cannot be read"_s);

    // A choice whose configuration is not a module (a video screensaver).
    const QByteArray video = manager.createScreensaverConfiguration(u"/v"_s, ScreensaverType::sequoiaVideo);
    initial.insert(u"SystemDefault"_s, QVariantMap { { u"Idle"_s, screensaverChoice({}, video) } });
    writeStore(initial);
    EXPECT_EQ(resolved(kMain), u"error: the selected screensaver choice names no module"_s);
}

// After the module is set everywhere, every narrower choice takes (no rollback), the other screen
// keeps the module set everywhere, and the saver plays on each screen what the kit reports there.
TEST_F(Resolution, NarrowerChoicesAfterEverywhereShowOnTheirScreenOnly)
{
    const QString flurry = modulesDir() + u"/Flurry.saver"_s;
    const QString quorvel = modulesDir() + u"/QuorvelExtension.appex"_s;
    const QString extension = u"QuorvelExtension"_s;
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
        await(manager.setScreensaverEverywhere(u"Flurry"_s));
        EXPECT_EQ(errorOf([&] { await(narrower()); }), u"<no error>"_s) << name;
        EXPECT_TRUE(printed.isEmpty()) << name << ": " << printed.join('\n').toStdString();
        EXPECT_EQ(manager.getActiveScreensaver(ScreenIdentifier { 1 })->name, u"Flurry"_s) << name;
        EXPECT_EQ(manager.getActiveScreensaver(ScreenIdentifier { 2 })->name, extension) << name;
        EXPECT_EQ(resolved(kMain), flurry) << name;
        EXPECT_EQ(resolved(kSecond), quorvel) << name;
        // Set everywhere again: it applies to both screens once more.
        await(manager.setScreensaverEverywhere(u"Flurry"_s));
        EXPECT_EQ(resolved(kSecond), flurry) << name;
        printed.clear();
    }
}

// A space whose default slot and whose display slot name different modules: the saver plays what
// the kit reports for that screen, not a choice of its own.
TEST_F(Resolution, TheSaverPlaysWhatTheKitReports)
{
    arrange({ 1, 1 }, false);
    QVariantMap spaces = initial.value(u"Spaces"_s).toMap();
    QVariantMap entry = spaces.value(spaceUUID(1)).toMap();
    entry.insert(u"Default"_s,
        slot({ { u"Idle"_s, screensaverChoice(QUrl::fromLocalFile(modulesDir() + u"/Flurry.saver"_s).toString()) } }));
    entry.insert(u"Displays"_s,
        QVariantMap { { kMain,
            slot({ { u"Idle"_s,
                screensaverChoice(
                    QUrl::fromLocalFile(modulesDir() + u"/QuorvelExtension.appex"_s).toString()) } }) } });
    spaces.insert(spaceUUID(1), entry);
    initial.insert(u"Spaces"_s, spaces);
    writeStore(initial);
    EXPECT_EQ(manager.getActiveScreensaver(ScreenIdentifier { 1 })->name, u"Flurry"_s);
    EXPECT_EQ(resolved(kMain), modulesDir() + u"/Flurry.saver"_s);
}
