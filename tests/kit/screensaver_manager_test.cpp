#include "kit/screensaver_manager.h"
#include "kit_environment_fixture.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
using namespace quorvel::kit::fixtures;

namespace {

struct ScreensaverStore : ::testing::Test, KitFixture {
    ScreensaverManager manager { env };

    // The module a slot's "Idle" choice names, or "" when it has none.
    QString idleModule(const QVariantMap& slot) const
    {
        const QVariantMap choice = dig(slot, { "Idle", "Content", "Choices", 0 }).toMap();
        if (choice.isEmpty())
            return {};
        EXPECT_EQ(choice.value(u"Provider"_s).toString(), u"com.apple.wallpaper.choice.screen-saver"_s);
        EXPECT_EQ(choice.value(u"Files"_s).toList(), QVariantList {});
        return manager.decodeScreensaverConfiguration(choice.value(u"Configuration"_s).toByteArray())
            .value_or(QString());
    }
    QVariantMap entry(const QVariantMap& store, int space) const
    {
        return store.value(u"Spaces"_s).toMap().value(spaceUUID(space)).toMap();
    }
    QVariantMap slotOf(const QVariantMap& store, int space, const QString& display = {}) const
    {
        const QVariantMap e = entry(store, space);
        return display.isEmpty() ? e.value(u"Default"_s).toMap()
                                 : e.value(u"Displays"_s).toMap().value(display).toMap();
    }
};

} // namespace

TEST_F(ScreensaverStore, EverywhereWithoutSpacesGivesTwoEqualSlotsKeepingTheWallpaper)
{
    arrange({ 1 }, false);
    QVariantMap before = initial;
    before.remove(u"Spaces"_s);
    writeStore(before);
    await(manager.setScreensaverEverywhere(u"QuorvelExtension"_s));

    const QVariantMap after = store();
    const QVariantMap all = after.value(u"AllSpacesAndDisplays"_s).toMap();
    EXPECT_EQ(all, after.value(u"SystemDefault"_s).toMap());
    EXPECT_EQ(all.value(u"Type"_s).toString(), u"individual"_s);
    EXPECT_EQ(all.value(u"Desktop"_s), before.value(u"AllSpacesAndDisplays"_s).toMap().value(u"Desktop"_s));
    EXPECT_EQ(idleModule(all), u"QuorvelExtension"_s);
    EXPECT_EQ(all.value(u"Idle"_s).toMap().value(u"LastSet"_s).toDateTime(), clock->now());
    // Unknown keys ride through; nothing printed without debug; the agent restarted once after 3 s.
    EXPECT_EQ(after.value(u"UnknownRootData"_s), before.value(u"UnknownRootData"_s));
    EXPECT_EQ(after.value(u"StoreVersion"_s).typeId(), QMetaType::LongLong);
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
    ASSERT_EQ(runner->detached.size(), 1u);
    EXPECT_EQ(runner->detached[0].program, u"/usr/bin/killall"_s);
    EXPECT_EQ(runner->detached[0].arguments, QStringList { u"WallpaperAgent"_s });
    EXPECT_EQ(sleeper->waits, (std::vector<std::chrono::milliseconds> { std::chrono::milliseconds(3000) }));
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { u"QuorvelExtension"_s });
}

TEST_F(ScreensaverStore, EverywhereOnTwoDisplaysWithThreeSpacesEach)
{
    arrange({ 3, 3 });
    await(manager.setScreensaverEverywhere(u"Flurry"_s));

    const QVariantMap after = store();
    const QVariantMap all = after.value(u"AllSpacesAndDisplays"_s).toMap();
    EXPECT_EQ(all.keys(), (QStringList { u"Idle"_s, u"Type"_s })); // the former Desktop is dropped
    EXPECT_EQ(all.value(u"Type"_s).toString(), u"idle"_s);
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(idleModule(slotOf(after, n)), u"Flurry"_s) << n;
        const QVariantMap displaySlot = slotOf(after, n, n <= 3 ? kMain : kSecond);
        EXPECT_EQ(idleModule(displaySlot), u"Flurry"_s) << n;
        EXPECT_TRUE(displaySlot.contains(u"Desktop"_s)) << n; // the wallpaper stays
        EXPECT_EQ(entry(after, n).value(u"FutureSpaceKey"_s), entry(initial, n).value(u"FutureSpaceKey"_s));
    }
    const QVariantMap systemDefault = after.value(u"SystemDefault"_s).toMap();
    EXPECT_EQ(systemDefault.value(u"UnknownSlotKey"_s).toLongLong(), 4294967296LL);
    EXPECT_TRUE(systemDefault.contains(u"Linked"_s));
    EXPECT_EQ(idleModule(systemDefault), u"Flurry"_s);
    // The configuration names the bundle by its percent-encoded file URL, without a trailing slash.
    const QByteArray config = dig(slotOf(after, 1), { "Idle", "Content", "Choices", 0, "Configuration" }).toByteArray();
    const QString relative = dig(*parsePlist(config).value, { "module", "relative" }).toString();
    EXPECT_EQ(relative, QUrl::fromLocalFile(modulesDir() + u"/Flurry.saver"_s).toString(QUrl::FullyEncoded));
    EXPECT_TRUE(relative.contains(u"Screen%20Savers"_s));
}

TEST_F(ScreensaverStore, DisplayAndSpaceOperationsTouchOnlyTheirSlots)
{
    arrange({ 3, 3 });
    await(manager.setScreensaverForDisplay(u"Flurry"_s, 2));
    QVariantMap after = store();
    EXPECT_EQ(idleModule(slotOf(after, 1)), QString());
    EXPECT_EQ(idleModule(slotOf(after, 4)), u"Flurry"_s);

    await(manager.setScreensaverForDisplaySpace(u"QuorvelExtension"_s, 1, 2));
    after = store();
    EXPECT_EQ(idleModule(slotOf(after, 2)), u"QuorvelExtension"_s);
    // Every connected screen's slot in that space gets the module; existing slots keep their wallpaper.
    EXPECT_TRUE(slotOf(after, 2, kMain).contains(u"Desktop"_s));
    EXPECT_EQ(idleModule(slotOf(after, 2, kSecond)), u"QuorvelExtension"_s);

    await(manager.setScreensaverForSpace(u"Flurry"_s, spaceUUID(3), ScreenIdentifier { 1 }));
    EXPECT_EQ(entry(store(), 3).value(u"Displays"_s).toMap().keys(), QStringList { kMain });
    EXPECT_EQ(idleModule(slotOf(store(), 3, kMain)), u"Flurry"_s);
}

TEST_F(ScreensaverStore, FailuresAreTypedAndLeaveTheStoreUntouched)
{
    arrange({ 3, 2 });
    const QByteArray before = storeBytes();
    const std::vector<std::tuple<const char*, std::function<void()>, QString>> rows = {
        { "unknown display", [&] { await(manager.setScreensaverForDisplay(u"Flurry"_s, 7)); },
            u"Display 7 not found"_s },
        { "space not on display", [&] { await(manager.setScreensaverForDisplaySpace(u"Flurry"_s, 2, 1)); },
            u"Space 1 not found on Display 2"_s },
        { "unknown module", [&] { await(manager.setScreensaverEverywhere(u"Nope"_s)); },
            u"Screensaver not found: Nope"_s },
        { "unknown space number", [&] { await(manager.setScreensaverForSpaceID(u"Flurry"_s, 99, std::nullopt)); },
            u"Space not found"_s },
        { "negative idle time", [&] { manager.setIdleTime(-1); },
            u"Invalid configuration: Idle time cannot be negative"_s },
        { "screen not connected", [&] { await(manager.setScreensaver(u"Flurry"_s, ScreenIdentifier { 9 })); },
            u"Invalid screen identifier provided"_s },
        // Names from outside never become paths: this one would reach the bundle from a sibling folder.
        { "name leaving the folder", [&] { await(manager.setScreensaverEverywhere(u"../Screen Savers/Flurry"_s)); },
            u"Screensaver not found: ../Screen Savers/Flurry"_s },
        { "name that is a path", [&] { await(manager.setScreensaverForDisplay(modulesDir() + "/Flurry", 1)); },
            u"Screensaver not found: "_s + modulesDir() + u"/Flurry"_s },
        { "empty name", [&] { await(manager.setScreensaverEverywhere(QString())); },
            u"Invalid configuration: Screensaver name cannot be empty"_s },
    };
    for (const auto& [name, run, message] : rows) {
        EXPECT_EQ(errorOf(run), message) << name;
        EXPECT_EQ(storeBytes(), before) << name;
    }
    EXPECT_TRUE(runner->detached.empty());

    // A damaged store is reported with its path and never overwritten.
    writeBytes(before.left(before.size() / 2));
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(u"Flurry"_s)); }),
        u"Failed to read plist: "_s + storePath());
    EXPECT_EQ(storeBytes(), before.left(before.size() / 2));
}

TEST_F(ScreensaverStore, ReadingActiveModulesHandlesLinkedWrongTypesAndUndecodableBytes)
{
    arrange({ 2 }, false);
    // Space 1: a "Linked" screensaver; space 2: a choice with bytes that are no property list.
    QVariantMap spaces = initial.value(u"Spaces"_s).toMap();
    const auto setDefault = [&](int n, const QString& key, const QVariantMap& value) {
        QVariantMap e = spaces.value(spaceUUID(n)).toMap();
        e.insert(u"Default"_s, QVariantMap { { key, value } });
        spaces.insert(spaceUUID(n), e);
    };
    setDefault(1, u"Linked"_s, screensaverChoice(u"file:///L/Aerial.saver"_s));
    setDefault(2, u"Idle"_s, screensaverChoice({}, QByteArray("garbage")));
    spaces.insert(u"WrongType"_s, u"not a dictionary"_s);
    initial.insert(u"Spaces"_s, spaces);
    initial.insert(u"AllSpacesAndDisplays"_s, u"wrong type"_s);
    writeStore(initial);

    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), u"Aerial"_s);
    EXPECT_EQ(manager.activeModuleName(spaceUUID(2)), std::nullopt); // though decoding such bytes alone is an error
    EXPECT_EQ(errorOf([&] { manager.decodeScreensaverConfiguration(QByteArray("garbage")); }),
        u"Failed to read plist: binary data"_s);
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList { u"Aerial"_s });
    EXPECT_EQ(manager.getActiveScreensaver(std::nullopt)->name, u"Aerial"_s);
    EXPECT_TRUE(ScreensaverManager::isValidSpaceUUID(spaceUUID(1).toLower()));
    EXPECT_FALSE(ScreensaverManager::isValidSpaceUUID(u"SystemDefault"_s));
}
