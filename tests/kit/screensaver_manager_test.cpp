#include "kit/errors.h"
#include "kit/screensaver_manager.h"
#include "kit_environment_fixture.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace quorvel::kit::fixtures;

namespace {

struct ScreensaverStore : ::testing::Test, KitFixture {
    ScreensaverManager manager{env};

    // The module a slot's "Idle" choice names, or "" when it has none.
    QString idleModule(const QVariantMap& slot) const
    {
        const QVariantMap choice = slot.value(QStringLiteral("Idle")).toMap().value(QStringLiteral("Content")).toMap()
                                       .value(QStringLiteral("Choices")).toList().value(0).toMap();
        if (choice.isEmpty())
            return {};
        EXPECT_EQ(choice.value(QStringLiteral("Provider")).toString(), QStringLiteral("com.apple.wallpaper.choice.screen-saver"));
        EXPECT_EQ(choice.value(QStringLiteral("Files")).toList(), QVariantList{});
        return manager.decodeScreensaverConfiguration(choice.value(QStringLiteral("Configuration")).toByteArray()).value_or(QString());
    }
    QVariantMap spaceEntry(const QVariantMap& store, const QString& uuid) const
    {
        return store.value(QStringLiteral("Spaces")).toMap().value(uuid).toMap();
    }
};

} // namespace

TEST_F(ScreensaverStore, EverywhereWithoutSpacesGivesTwoEqualSlotsKeepingTheWallpaper)
{
    arrange({1});
    QVariantMap before = storeFor({1});
    before.remove(QStringLiteral("Spaces"));
    writeStore(before);
    await(manager.setScreensaverEverywhere(QStringLiteral("QuorvelExtension"), false, false));

    const QVariantMap after = store();
    const QVariantMap all = after.value(QStringLiteral("AllSpacesAndDisplays")).toMap();
    EXPECT_EQ(all, after.value(QStringLiteral("SystemDefault")).toMap());
    EXPECT_EQ(all.value(QStringLiteral("Type")).toString(), QStringLiteral("individual"));
    EXPECT_EQ(all.value(QStringLiteral("Desktop")), before.value(QStringLiteral("AllSpacesAndDisplays")).toMap().value(QStringLiteral("Desktop")));
    EXPECT_EQ(idleModule(all), QStringLiteral("QuorvelExtension"));
    EXPECT_EQ(all.value(QStringLiteral("Idle")).toMap().value(QStringLiteral("LastSet")).toDateTime(), clock->now());
    // Unknown keys ride through; nothing printed without debug; the agent restarted once after 3 s.
    EXPECT_EQ(after.value(QStringLiteral("UnknownRootData")), before.value(QStringLiteral("UnknownRootData")));
    EXPECT_EQ(after.value(QStringLiteral("StoreVersion")).typeId(), QMetaType::LongLong);
    EXPECT_TRUE(printed.isEmpty()) << printed.join('\n').toStdString();
    ASSERT_EQ(runner->detached.size(), 1u);
    EXPECT_EQ(runner->detached[0].program, QStringLiteral("/usr/bin/killall"));
    EXPECT_EQ(runner->detached[0].arguments, QStringList{QStringLiteral("WallpaperAgent")});
    EXPECT_EQ(sleeper->waits, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(3000)}));
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList{QStringLiteral("QuorvelExtension")});
}

TEST_F(ScreensaverStore, EverywhereOnTwoDisplaysWithThreeSpacesEach)
{
    arrange({3, 3});
    const QVariantMap before = storeFor({3, 3});
    writeStore(before);
    await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"), false, false));

    const QVariantMap after = store();
    const QVariantMap all = after.value(QStringLiteral("AllSpacesAndDisplays")).toMap();
    EXPECT_EQ(all.keys(), (QStringList{QStringLiteral("Idle"), QStringLiteral("Type")}));   // the former Desktop is dropped
    EXPECT_EQ(all.value(QStringLiteral("Type")).toString(), QStringLiteral("idle"));
    for (int n = 1; n <= 6; ++n) {
        const QVariantMap entry = spaceEntry(after, spaceUUID(n));
        EXPECT_EQ(idleModule(entry.value(QStringLiteral("Default")).toMap()), QStringLiteral("Flurry")) << n;
        const QString display = n <= 3 ? kMain : kSecond;
        const QVariantMap displaySlot = entry.value(QStringLiteral("Displays")).toMap().value(display).toMap();
        EXPECT_EQ(idleModule(displaySlot), QStringLiteral("Flurry")) << n;
        EXPECT_TRUE(displaySlot.contains(QStringLiteral("Desktop"))) << n;   // the wallpaper stays
        EXPECT_EQ(entry.value(QStringLiteral("FutureSpaceKey")), spaceEntry(before, spaceUUID(n)).value(QStringLiteral("FutureSpaceKey")));
    }
    const QVariantMap systemDefault = after.value(QStringLiteral("SystemDefault")).toMap();
    EXPECT_EQ(systemDefault.value(QStringLiteral("UnknownSlotKey")).toLongLong(), 4294967296LL);
    EXPECT_TRUE(systemDefault.contains(QStringLiteral("Linked")));
    EXPECT_EQ(idleModule(systemDefault), QStringLiteral("Flurry"));

    // The configuration names the bundle by its file URL, without a trailing slash.
    const QByteArray config = spaceEntry(after, spaceUUID(1)).value(QStringLiteral("Default")).toMap().value(QStringLiteral("Idle")).toMap()
                                  .value(QStringLiteral("Content")).toMap().value(QStringLiteral("Choices")).toList()[0].toMap()
                                  .value(QStringLiteral("Configuration")).toByteArray();
    const QString relative = parsePlist(config).value->toMap().value(QStringLiteral("module")).toMap().value(QStringLiteral("relative")).toString();
    EXPECT_EQ(relative, QUrl::fromLocalFile(modulesDir() + QStringLiteral("/Flurry.saver")).toString(QUrl::FullyEncoded));
    EXPECT_TRUE(relative.contains(QStringLiteral("Screen%20Savers")));
}

TEST_F(ScreensaverStore, DisplayAndSpaceOperationsTouchOnlyTheirSlots)
{
    arrange({3, 3});
    writeStore(storeFor({3, 3}));
    await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 2, false, false));
    QVariantMap after = store();
    EXPECT_EQ(idleModule(spaceEntry(after, spaceUUID(1)).value(QStringLiteral("Default")).toMap()), QString());
    EXPECT_EQ(idleModule(spaceEntry(after, spaceUUID(4)).value(QStringLiteral("Default")).toMap()), QStringLiteral("Flurry"));

    await(manager.setScreensaverForDisplaySpace(QStringLiteral("QuorvelExtension"), 1, 2, false, false));
    after = store();
    const QVariantMap entry = spaceEntry(after, spaceUUID(2));
    EXPECT_EQ(idleModule(entry.value(QStringLiteral("Default")).toMap()), QStringLiteral("QuorvelExtension"));
    // Every connected screen's slot in that space gets the module; existing slots keep their wallpaper.
    EXPECT_TRUE(entry.value(QStringLiteral("Displays")).toMap().value(kMain).toMap().contains(QStringLiteral("Desktop")));
    EXPECT_EQ(idleModule(entry.value(QStringLiteral("Displays")).toMap().value(kSecond).toMap()), QStringLiteral("QuorvelExtension"));

    await(manager.setScreensaverForSpace(QStringLiteral("Flurry"), spaceUUID(3), ScreenIdentifier{1}, false, false));
    const QVariantMap third = spaceEntry(store(), spaceUUID(3)).value(QStringLiteral("Displays")).toMap();
    EXPECT_EQ(third.keys(), QStringList{kMain});
    EXPECT_EQ(idleModule(third.value(kMain).toMap()), QStringLiteral("Flurry"));
}

TEST_F(ScreensaverStore, FailuresAreTypedAndLeaveTheStoreUntouched)
{
    arrange({3, 2});
    writeStore(storeFor({3, 2}));
    const QByteArray before = storeBytes();
    struct Row {
        const char* name;
        std::function<void()> run;
        QString message;
    };
    const std::vector<Row> rows = {
        {"unknown display", [&] { await(manager.setScreensaverForDisplay(QStringLiteral("Flurry"), 7, false, false)); }, QStringLiteral("Display 7 not found")},
        {"space not on display", [&] { await(manager.setScreensaverForDisplaySpace(QStringLiteral("Flurry"), 2, 1, false, false)); }, QStringLiteral("Space 1 not found on Display 2")},
        {"unknown module", [&] { await(manager.setScreensaverEverywhere(QStringLiteral("Nope"), false, false)); }, QStringLiteral("Screensaver not found: Nope")},
        {"unknown space number", [&] { await(manager.setScreensaverForSpaceID(QStringLiteral("Flurry"), 99, std::nullopt, false, false)); }, QStringLiteral("Space not found")},
        {"negative idle time", [&] { manager.setIdleTime(-1); }, QStringLiteral("Invalid configuration: Idle time cannot be negative")},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(errorOf(row.run), row.message) << row.name;
        EXPECT_EQ(storeBytes(), before) << row.name;
    }
    EXPECT_TRUE(runner->detached.empty());

    // A damaged store is reported with its path and never overwritten.
    writeStore(storeFor({3, 2}));
    QFile f(storePath());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(before.left(before.size() / 2));
    f.close();
    EXPECT_EQ(errorOf([&] { await(manager.setScreensaverEverywhere(QStringLiteral("Flurry"), false, false)); }),
              QStringLiteral("Failed to read plist: ") + storePath());
    EXPECT_EQ(storeBytes(), before.left(before.size() / 2));
}

TEST_F(ScreensaverStore, ReadingActiveModulesHandlesLinkedWrongTypesAndUndecodableBytes)
{
    arrange({2});
    QVariantMap s = storeFor({2});
    // Space 1: a "Linked" screensaver; space 2: a choice with bytes that are no property list.
    QVariantMap spaces = s.value(QStringLiteral("Spaces")).toMap();
    QVariantMap one = spaces.value(spaceUUID(1)).toMap();
    one.insert(QStringLiteral("Default"), QVariantMap{{QStringLiteral("Linked"), screensaverChoice(QStringLiteral("file:///L/Aerial.saver"))}});
    spaces.insert(spaceUUID(1), one);
    QVariantMap two = spaces.value(spaceUUID(2)).toMap();
    QVariantMap broken = screensaverChoice(QStringLiteral("x"));
    QVariantMap content = broken.value(QStringLiteral("Content")).toMap();
    QVariantMap choice = content.value(QStringLiteral("Choices")).toList()[0].toMap();
    choice.insert(QStringLiteral("Configuration"), QByteArray("garbage"));
    content.insert(QStringLiteral("Choices"), QVariantList{choice});
    broken.insert(QStringLiteral("Content"), content);
    two.insert(QStringLiteral("Default"), QVariantMap{{QStringLiteral("Idle"), broken}});
    spaces.insert(spaceUUID(2), two);
    spaces.insert(QStringLiteral("WrongType"), QStringLiteral("not a dictionary"));
    s.insert(QStringLiteral("Spaces"), spaces);
    s.insert(QStringLiteral("AllSpacesAndDisplays"), QStringLiteral("wrong type"));
    writeStore(s);

    EXPECT_EQ(manager.activeModuleName(spaceUUID(1)), QStringLiteral("Aerial"));
    EXPECT_EQ(manager.activeModuleName(spaceUUID(2)), std::nullopt);
    EXPECT_EQ(manager.getActiveScreensavers(), QStringList{QStringLiteral("Aerial")});
    EXPECT_EQ(manager.getActiveScreensaver(std::nullopt)->name, QStringLiteral("Aerial"));
    EXPECT_TRUE(ScreensaverManager::isValidSpaceUUID(spaceUUID(1).toLower()));
    EXPECT_FALSE(ScreensaverManager::isValidSpaceUUID(QStringLiteral("SystemDefault")));
}

TEST_F(ScreensaverStore, ConfigurationsByKindAndTheirDescriptions)
{
    EXPECT_EQ(manager.createScreensaverConfiguration(QStringLiteral("/x/Classic"), ScreensaverType::builtInMac), QByteArray());
    const QByteArray video = manager.createScreensaverConfiguration(QStringLiteral("/x/V"), ScreensaverType::sequoiaVideo);
    EXPECT_EQ(manager.decodeScreensaverConfiguration(video), QStringLiteral("Sequoia Video (automatic)"));
    EXPECT_EQ(parsePlist(video).value->toMap().value(QStringLiteral("values")).toMap().value(QStringLiteral("picker")).toMap()
                  .value(QStringLiteral("id")).typeId(), QMetaType::LongLong);
    const QByteArray dynamic = binary({{QStringLiteral("values"), QVariantMap{{QStringLiteral("legacyScreenSaverGenerationCount"), qint64(2)}}}});
    EXPECT_EQ(manager.decodeScreensaverConfiguration(dynamic), QStringLiteral("Dynamic Desktop"));
    EXPECT_EQ(manager.decodeScreensaverConfiguration(binary({})), std::nullopt);
    EXPECT_EQ(errorOf([&] { manager.decodeScreensaverConfiguration(QByteArray("junk")); }), QStringLiteral("Failed to read plist: binary data"));
}
