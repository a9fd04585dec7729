#include "kit/screensaver_manager.h"
#include "kit_environment_fixture.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace quorvel::kit::fixtures;

namespace {

struct ScreensaverStore : ::testing::Test, KitFixture {
    ScreensaverManager manager { env };

    // The module a slot's "Idle" choice names, or "" when it has none.
    QString idleModule(const QVariantMap& slot) const
    {
        const QVariantMap choice = slot.value(QStringLiteral("Idle"))
                                       .toMap()
                                       .value(QStringLiteral("Content"))
                                       .toMap()
                                       .value(QStringLiteral("Choices"))
                                       .toList()
                                       .value(0)
                                       .toMap();
        if (choice.isEmpty())
            return {};
        EXPECT_EQ(choice.value(QStringLiteral("Provider")).toString(),
            QStringLiteral("com.apple.wallpaper.choice.screen-saver"));
        EXPECT_EQ(choice.value(QStringLiteral("Files")).toList(), QVariantList {});
        return manager.decodeScreensaverConfiguration(choice.value(QStringLiteral("Configuration")).toByteArray())
            .value_or(QString());
    }
    QVariantMap entry(const QVariantMap& store, int space) const
    {
        return store.value(QStringLiteral("Spaces")).toMap().value(spaceUUID(space)).toMap();
    }
    QVariantMap slotOf(const QVariantMap& store, int space, const QString& display = {}) const
    {
        const QVariantMap e = entry(store, space);
        return display.isEmpty() ? e.value(QStringLiteral("Default")).toMap()
                                 : e.value(QStringLiteral("Displays")).toMap().value(display).toMap();
    }
};

} // namespace

TEST_F(ScreensaverStore, EverywhereWithoutSpacesGivesTwoEqualSlotsKeepingTheWallpaper)
{
    arrange({ 1 }, false);
    QVariantMap before = initial;
    before.remove(QStringLiteral("Spaces"));
    writeStore(before);
    await(manager.setScreensaverEverywhere(QStringLiteral("QuorvelExtension")));

    const QVariantMap after = store();
    const QVariantMap all = after.value(QStringLiteral("AllSpacesAndDisplays")).toMap();
    EXPECT_EQ(all, after.value(QStringLiteral("SystemDefault")).toMap());
    EXPECT_EQ(all.value(QStringLiteral("Type")).toString(), QStringLiteral("individual"));
    EXPECT_EQ(all.value(QStringLiteral("Desktop")),
        before.value(QStringLiteral("AllSpacesAndDisplays")).toMap().value(QStringLiteral("Desktop")));
    EXPECT_EQ(idleModule(all), QStringLiteral("QuorvelExtension"));
    EXPECT_EQ(all.value(QStringLiteral("Idle")).toMap().value(QStringLiteral("LastSet")).toDateTime(), clock->now());
    // Unknown keys ride through; nothing printed without debug; the agent restarted once after 3 s.
    EXPECT_EQ(after.value(QStringLiteral("UnknownRootData")), before.value(QStringLiteral("UnknownRootData")));
    EXPECT_EQ(after.value(QStringLiteral("StoreVersion")).typeId(), QMetaType::LongLong);
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
    ASSERT_EQ(runner->detached.size(), 1u);
    EXPECT_EQ(runner->detached[0].program, QStringLiteral("/usr/bin/killall"));
    EXPECT_EQ(runner->detached[0].arguments, QStringList { QStringLiteral("WallpaperAgent") });
    EXPECT_EQ(sleeper->waits, (std::vector<std::chrono::milliseconds> { std::chrono::milliseconds(3000) }));
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { QStringLiteral("QuorvelExtension") });
}

TEST_F(ScreensaverStore, EverywhereOnTwoDisplaysWithThreeSpacesEach)
{
    arrange({ 3, 3 });
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry")));

    const QVariantMap after = store();
    const QVariantMap all = after.value(QStringLiteral("AllSpacesAndDisplays")).toMap();
    EXPECT_EQ(
        all.keys(), (QStringList { QStringLiteral("Idle"), QStringLiteral("Type") })); // the former Desktop is dropped
    EXPECT_EQ(all.value(QStringLiteral("Type")).toString(), QStringLiteral("idle"));
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(idleModule(slotOf(after, n)), QStringLiteral("Flurry")) << n;
        const QVariantMap displaySlot = slotOf(after, n, n <= 3 ? kMain : kSecond);
        EXPECT_EQ(idleModule(displaySlot), QStringLiteral("Flurry")) << n;
        EXPECT_TRUE(displaySlot.contains(QStringLiteral("Desktop"))) << n; // the wallpaper stays
        EXPECT_EQ(entry(after, n).value(QStringLiteral("FutureSpaceKey")),
            entry(initial, n).value(QStringLiteral("FutureSpaceKey")));
    }
    const QVariantMap systemDefault = after.value(QStringLiteral("SystemDefault")).toMap();
    EXPECT_EQ(systemDefault.value(QStringLiteral("UnknownSlotKey")).toLongLong(), 4294967296LL);
    EXPECT_TRUE(systemDefault.contains(QStringLiteral("Linked")));
    EXPECT_EQ(idleModule(systemDefault), QStringLiteral("Flurry"));
    // The configuration names the bundle by its percent-encoded file URL, without a trailing slash.
    const QByteArray config = slotOf(after, 1)
                                  .value(QStringLiteral("Idle"))
                                  .toMap()
                                  .value(QStringLiteral("Content"))
                                  .toMap()
                                  .value(QStringLiteral("Choices"))
                                  .toList()[0]
                                  .toMap()
                                  .value(QStringLiteral("Configuration"))
                                  .toByteArray();
    const QString relative = parsePlist(config)
                                 .value->toMap()
                                 .value(QStringLiteral("module"))
                                 .toMap()
                                 .value(QStringLiteral("relative"))
                                 .toString();
    EXPECT_EQ(
        relative, QUrl::fromLocalFile(modulesDir() + QStringLiteral("/Flurry.saver")).toString(QUrl::FullyEncoded));
    EXPECT_TRUE(relative.contains(QStringLiteral("Screen%20Savers")));
}

TEST_F(ScreensaverStore, DisplayAndSpaceOperationsTouchOnlyTheirSlots)
{
    arrange({ 3, 3 });
    await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 2));
    QVariantMap after = store();
    EXPECT_EQ(idleModule(slotOf(after, 1)), QString());
    EXPECT_EQ(idleModule(slotOf(after, 4)), QStringLiteral("Flurry"));

    await(manager.setScreensaverForDisplaySpace(QStringLiteral("QuorvelExtension"), 1, 2));
    after = store();
    EXPECT_EQ(idleModule(slotOf(after, 2)), QStringLiteral("QuorvelExtension"));
    // Every connected screen's slot in that space gets the module; existing slots keep their wallpaper.
    EXPECT_TRUE(slotOf(after, 2, kMain).contains(QStringLiteral("Desktop")));
    EXPECT_EQ(idleModule(slotOf(after, 2, kSecond)), QStringLiteral("QuorvelExtension"));

    await(manager.setScreensaverForSpace(QStringLiteral("Flurry"), spaceUUID(3), ScreenIdentifier { 1 }));
    EXPECT_EQ(entry(store(), 3).value(QStringLiteral("Displays")).toMap().keys(), QStringList { kMain });
    EXPECT_EQ(idleModule(slotOf(store(), 3, kMain)), QStringLiteral("Flurry"));
}

TEST_F(ScreensaverStore, FailuresAreTypedAndLeaveTheStoreUntouched)
{
    arrange({ 3, 2 });
    const QByteArray before = storeBytes();
    const std::vector<std::tuple<const char*, std::function<void()>, QString>> rows = {
        { "unknown display", [&] { await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 7)); },
            QStringLiteral("Display 7 not found") },
        { "space not on display", [&] { await(manager.setScreensaverForDisplaySpace(QStringLiteral("Flurry"), 2, 1)); },
            QStringLiteral("Space 1 not found on Display 2") },
        { "unknown module", [&] { await(manager.setScreensaverEverywhere(QStringLiteral("Nope"))); },
            QStringLiteral("Screensaver not found: Nope") },
        { "unknown space number",
            [&] { await(manager.setScreensaverForSpaceID(QStringLiteral("Flurry"), 99, std::nullopt)); },
            QStringLiteral("Space not found") },
        { "negative idle time", [&] { manager.setIdleTime(-1); },
            QStringLiteral("Invalid configuration: Idle time cannot be negative") },
        { "screen not connected",
            [&] { await(manager.setScreensaver(QStringLiteral("Flurry"), ScreenIdentifier { 9 })); },
            QStringLiteral("Invalid screen identifier provided") },
        // Names from outside never become paths: this one would reach the bundle from a sibling folder.
        { "name leaving the folder",
            [&] { await(manager.setScreensaverEverywhere(QStringLiteral("../Screen Savers/Flurry"))); },
            QStringLiteral("Screensaver not found: ../Screen Savers/Flurry") },
        { "name that is a path", [&] { await(manager.setScreensaverForDisplay(modulesDir() + "/Flurry", 1)); },
            QStringLiteral("Screensaver not found: ") + modulesDir() + QStringLiteral("/Flurry") },
        { "empty name", [&] { await(manager.setScreensaverEverywhere(QString())); },
            QStringLiteral("Invalid configuration: Screensaver name cannot be empty") },
    };
    for (const auto& [name, run, message] : rows) {
        EXPECT_EQ(errorOf(run), message) << name;
        EXPECT_EQ(storeBytes(), before) << name;
    }
    EXPECT_TRUE(runner->detached.empty());

    // A damaged store is reported with its path and never overwritten.
    writeBytes(before.left(before.size() / 2));
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"))); }),
        QStringLiteral("Failed to read plist: ") + storePath());
    EXPECT_EQ(storeBytes(), before.left(before.size() / 2));
}

TEST_F(ScreensaverStore, ReadingActiveModulesHandlesLinkedWrongTypesAndUndecodableBytes)
{
    arrange({ 2 }, false);
    // Space 1: a "Linked" screensaver; space 2: a choice with bytes that are no property list.
    QVariantMap spaces = initial.value(QStringLiteral("Spaces")).toMap();
    const auto setDefault = [&](int n, const QString& key, const QVariantMap& value) {
        QVariantMap e = spaces.value(spaceUUID(n)).toMap();
        e.insert(QStringLiteral("Default"), QVariantMap { { key, value } });
        spaces.insert(spaceUUID(n), e);
    };
    setDefault(1, QStringLiteral("Linked"), screensaverChoice(QStringLiteral("file:///L/Aerial.saver")));
    setDefault(2, QStringLiteral("Idle"), screensaverChoice({}, QByteArray("garbage")));
    spaces.insert(QStringLiteral("WrongType"), QStringLiteral("not a dictionary"));
    initial.insert(QStringLiteral("Spaces"), spaces);
    initial.insert(QStringLiteral("AllSpacesAndDisplays"), QStringLiteral("wrong type"));
    writeStore(initial);

    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), QStringLiteral("Aerial"));
    EXPECT_EQ(manager.activeModuleName(spaceUUID(2)), std::nullopt); // though decoding such bytes alone is an error
    EXPECT_EQ(errorOf([&] { manager.decodeScreensaverConfiguration(QByteArray("garbage")); }),
        QStringLiteral("Failed to read plist: binary data"));
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { QStringLiteral("Aerial") });
    EXPECT_EQ(manager.getActiveScreensaver(std::nullopt)->name, QStringLiteral("Aerial"));
    EXPECT_TRUE(ScreensaverManager::isValidSpaceUUID(spaceUUID(1).toLower()));
    EXPECT_FALSE(ScreensaverManager::isValidSpaceUUID(QStringLiteral("SystemDefault")));
}
