#include "kit/spaces_configuration.h"
#include "kit_fixtures.h"
#include "platform/spaces.h"
#include "support/memory_preferences.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using quorvel::kit::fixtures::FakeScreens;

namespace {

const QString kMainUUID = QStringLiteral("37D8832A-2D66-02CA-B9F7-8F30A301B230");
const QString kSecondUUID = QStringLiteral("9C1E2A77-8B3D-4C5E-A1F2-0D3E4F5A6B7C");

QVariantMap space(qint64 id, const QString& uuid)
{
    return { { QStringLiteral("ManagedSpaceID"), id }, { QStringLiteral("id64"), id }, { QStringLiteral("uuid"), uuid },
        { QStringLiteral("type"), qint64(0) } };
}

QVariantMap monitor(const QString& identifier, const QVariantList& spaces, const QVariantMap& current)
{
    return { { QStringLiteral("Display Identifier"), identifier }, { QStringLiteral("Current Space"), current },
        { QStringLiteral("Spaces"), spaces } };
}

struct SpacesFixture : ::testing::Test {
    std::shared_ptr<quorvel::testing::MemoryPreferences> preferences
        = std::make_shared<quorvel::testing::MemoryPreferences>();
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
    SpacesConfiguration configuration { preferences, screens };

    void setMonitors(const QVariantList& monitors)
    {
        preferences->suite(QStringLiteral("com.apple.spaces"))
            ->setValue(QStringLiteral("SpacesDisplayConfiguration"),
                QVariantMap {
                    { QStringLiteral("Management Data"), QVariantMap { { QStringLiteral("Monitors"), monitors } } } });
    }
    void twoMonitors()
    {
        screens->list = { FakeScreens::screen(1, kMainUUID, true), FakeScreens::screen(2, kSecondUUID, false) };
        QVariantMap collapsed = space(99, QStringLiteral("COLLAPSED"));
        collapsed.insert(QStringLiteral("AutoCreated"), true);
        QVariantMap first = monitor(QStringLiteral("Main"),
            { space(1, QString()), space(3, QStringLiteral("A3")), space(4, QStringLiteral("A4")) },
            space(3, QStringLiteral("A3")));
        first.insert(QStringLiteral("Collapsed Space"), collapsed);
        setMonitors({ first,
            monitor(kSecondUUID, { space(5, QStringLiteral("B5")), space(6, QStringLiteral("B6")) },
                space(6, QStringLiteral("B6"))) });
    }
};

QList<qint64> numbersOf(const QVariantMap& monitor)
{
    QList<qint64> numbers;
    for (const QVariant& s : monitor.value(QStringLiteral("spaces")).toList())
        numbers.append(s.toMap().value(QStringLiteral("space_number")).toLongLong());
    return numbers;
}

} // namespace

TEST_F(SpacesFixture, SpaceNumbersRunOnAcrossMonitorsAndMainResolvesToTheMainScreen)
{
    twoMonitors();
    const QVariantList monitors = configuration.nativeSpaceTree().value(QStringLiteral("monitors")).toList();
    ASSERT_EQ(monitors.size(), 2);
    const QVariantMap first = monitors[0].toMap(), second = monitors[1].toMap();
    EXPECT_EQ(numbersOf(first), (QList<qint64> { 1, 2, 3 }));
    EXPECT_EQ(numbersOf(second), (QList<qint64> { 4, 5 }));
    EXPECT_EQ(first.value(QStringLiteral("name")).toString(), QStringLiteral("Main"));
    EXPECT_EQ(first.value(QStringLiteral("uuid")).toString(), kMainUUID);
    EXPECT_EQ(first.value(QStringLiteral("display_number")).toLongLong(), 1);
    EXPECT_EQ(second.value(QStringLiteral("display_number")).toLongLong(), 2);
    const QVariantList firstSpaces = first.value(QStringLiteral("spaces")).toList();
    EXPECT_FALSE(firstSpaces[0].toMap().value(QStringLiteral("is_current")).toBool());
    EXPECT_TRUE(firstSpaces[1].toMap().value(QStringLiteral("is_current")).toBool());
    EXPECT_EQ(firstSpaces[1].toMap().value(QStringLiteral("managed_id")).toLongLong(), 3);
    // The flat list also carries the collapsed space, after its monitor's own.
    const auto spaces = configuration.missionControlSpaces();
    ASSERT_EQ(spaces.size(), 6);
    EXPECT_EQ(spaces[3],
        (MissionControlSpace { 99, QStringLiteral("COLLAPSED"), QStringLiteral("Main"), false, true, true }));
    EXPECT_EQ(spaces[4].displayIdentifier, kSecondUUID);
}

// A remembered monitor that is not connected has display number 0; a current space with an empty
// UUID is the first desktop.
TEST_F(SpacesFixture, DisconnectedMonitorAndCurrentSpaceWithoutUUID)
{
    screens->list = { FakeScreens::screen(1, kMainUUID, true) };
    setMonitors(
        { monitor(QStringLiteral("Main"), { space(1, QString()), space(2, QStringLiteral("X")) }, space(1, QString())),
            monitor(kSecondUUID, { space(5, QStringLiteral("B5")) }, space(5, QStringLiteral("B5"))) });
    const auto spaces = configuration.missionControlSpaces();
    ASSERT_EQ(spaces.size(), 3);
    EXPECT_TRUE(spaces[0].isCurrent);
    EXPECT_FALSE(spaces[1].isCurrent);
    const QVariantList tree = configuration.nativeSpaceTree().value(QStringLiteral("monitors")).toList();
    EXPECT_TRUE(tree[0]
                    .toMap()
                    .value(QStringLiteral("spaces"))
                    .toList()[0]
                    .toMap()
                    .value(QStringLiteral("is_current"))
                    .toBool());
    EXPECT_EQ(tree[1].toMap().value(QStringLiteral("display_number")).toLongLong(), 0);
}

TEST_F(SpacesFixture, MalformedPreferencesGiveNothingRatherThanACrash)
{
    const std::vector<std::pair<const char*, QVariant>> rows = {
        { "missing", QVariant() },
        { "not a dictionary", QStringLiteral("oops") },
        { "no management data", QVariantMap { { QStringLiteral("Other"), qint64(1) } } },
        { "monitors not a list",
            QVariantMap {
                { QStringLiteral("Management Data"), QVariantMap { { QStringLiteral("Monitors"), qint64(3) } } } } },
        { "monitor entries of the wrong type",
            QVariantMap { { QStringLiteral("Management Data"),
                QVariantMap { { QStringLiteral("Monitors"), QVariantList { qint64(1), QStringLiteral("x") } } } } } },
    };
    for (const auto& [name, document] : rows) {
        preferences->suite(QStringLiteral("com.apple.spaces"))
            ->setValue(QStringLiteral("SpacesDisplayConfiguration"), document);
        EXPECT_TRUE(configuration.missionControlSpaces().isEmpty()) << name;
        EXPECT_TRUE(configuration.nativeSpaceTree().value(QStringLiteral("monitors")).toList().isEmpty()) << name;
    }
    // A monitor with spaces of the wrong type and no identifier is "Unknown" with no spaces.
    setMonitors({ QVariantMap { { QStringLiteral("Spaces"), QVariantList { QStringLiteral("x") } } } });
    EXPECT_TRUE(configuration.missionControlSpaces().isEmpty());
    EXPECT_EQ(configuration.nativeSpaceTree()
                  .value(QStringLiteral("monitors"))
                  .toList()[0]
                  .toMap()
                  .value(QStringLiteral("name"))
                  .toString(),
        QStringLiteral("Unknown"));
}

TEST_F(SpacesFixture, DisplaysListConnectedScreensThenRememberedOnes)
{
    screens->list = { FakeScreens::screen(1, kMainUUID, true, QStringLiteral("Built-in")) };
    const QVariantMap old { { QStringLiteral("ConfigVersion"), qint64(3) },
        { QStringLiteral("DisplayConfig"),
            QVariantList { QVariantMap { { QStringLiteral("UUID"), kSecondUUID },
                { QStringLiteral("CurrentInfo"),
                    QVariantMap {
                        { QStringLiteral("Wide"), qint64(1280) }, { QStringLiteral("High"), qint64(720) } } } } } } };
    const QVariantMap newer { { QStringLiteral("ConfigVersion"), qint64(9) },
        { QStringLiteral("DisplayConfig"),
            QVariantList {
                QVariantMap { { QStringLiteral("UUID"), kSecondUUID },
                    { QStringLiteral("CurrentInfo"),
                        QVariantMap { { QStringLiteral("Wide"), qint64(2560) }, { QStringLiteral("High"), 1440.0 },
                            { QStringLiteral("Scale"), qint64(2) }, { QStringLiteral("Hz"), qint64(60) } } } },
                QVariantMap { { QStringLiteral("UUID"), kMainUUID } } } } };
    preferences->domain(QStringLiteral("com.apple.windowserver.displays"), true)
        ->setValue(QStringLiteral("DisplaySets"),
            QVariantMap { { QStringLiteral("Configs"), QVariantList { old, newer } },
                { QStringLiteral("Underscan"),
                    QVariantList { kMainUUID, QVariantMap { { QStringLiteral("UUID"), kSecondUUID } } } } });
    const auto displays = configuration.displays();
    ASSERT_EQ(displays.size(), 2);
    EXPECT_TRUE(displays[0].isConnected);
    EXPECT_EQ(displays[0].friendlyName(), QStringLiteral("Built-in (Main)"));
    EXPECT_FALSE(displays[1].isConnected);
    EXPECT_EQ(displays[1].configVersion, 9);
    EXPECT_EQ(displays[1].resolutionDescription(), QStringLiteral("2560x1440 @ 60Hz @ 2x"));

    WindowServerDisplayManager windowServer(preferences);
    EXPECT_EQ(windowServer.getAllKnownDisplayUUIDs(), (QSet<QString> { kMainUUID, kSecondUUID }));
    const auto configs = windowServer.displayConfigs();
    ASSERT_EQ(configs.size(), 3);
    EXPECT_FALSE(configs[0].isInCurrentConfig);
    EXPECT_TRUE(configs[1].isInCurrentConfig);
}

// The synthesised spaces give each display one space whose identity survives a restart.
TEST_F(SpacesFixture, SynthesizedSpacesGiveOneStableSpacePerScreen)
{
    QTemporaryDir dir;
    screens->list = { FakeScreens::screen(1, kMainUUID, true), FakeScreens::screen(2, kSecondUUID, false) };
    quorvel::platform::SynthesizedSpaces first(screens, dir.path());
    const QVariantMap document = first.spacesDocument();
    preferences->suite(QStringLiteral("com.apple.spaces"))
        ->setValue(
            QStringLiteral("SpacesDisplayConfiguration"), document.value(QStringLiteral("SpacesDisplayConfiguration")));
    preferences->domain(QStringLiteral("com.apple.windowserver.displays"), true)
        ->setValue(
            QStringLiteral("DisplaySets"), first.windowServerDisplaysDocument().value(QStringLiteral("DisplaySets")));
    const auto spaces = configuration.missionControlSpaces();
    ASSERT_EQ(spaces.size(), 2);
    EXPECT_EQ(spaces[0].displayIdentifier, QStringLiteral("Main"));
    EXPECT_TRUE(spaces[0].isCurrent && spaces[1].isCurrent);
    EXPECT_NE(spaces[0].uuid, spaces[1].uuid);
    EXPECT_EQ(configuration.nativeSpaceTree()
                  .value(QStringLiteral("monitors"))
                  .toList()[1]
                  .toMap()
                  .value(QStringLiteral("display_number"))
                  .toLongLong(),
        2);
    EXPECT_EQ(configuration.displays().size(), 2);

    quorvel::platform::SynthesizedSpaces again(screens, dir.path());
    EXPECT_EQ(again.spacesDocument(), document);
}
