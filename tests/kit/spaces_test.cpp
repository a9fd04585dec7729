#include "kit/spaces_configuration.h"
#include "kit_fixtures.h"
#include "platform/spaces.h"
#include "support/memory_preferences.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
using quorvel::kit::fixtures::dig;
using quorvel::kit::fixtures::FakeScreens;

namespace {

const QString kMainUUID = u"37D8832A-2D66-02CA-B9F7-8F30A301B230"_s;
const QString kSecondUUID = u"9C1E2A77-8B3D-4C5E-A1F2-0D3E4F5A6B7C"_s;

QVariantMap space(qint64 id, const QString& uuid)
{
    return { { u"ManagedSpaceID"_s, id }, { u"id64"_s, id }, { u"uuid"_s, uuid }, { u"type"_s, qint64(0) } };
}

QVariantMap monitor(const QString& identifier, const QVariantList& spaces, const QVariantMap& current)
{
    return { { u"Display Identifier"_s, identifier }, { u"Current Space"_s, current }, { u"Spaces"_s, spaces } };
}

struct SpacesFixture : ::testing::Test {
    std::shared_ptr<quorvel::testing::MemoryPreferences> preferences
        = std::make_shared<quorvel::testing::MemoryPreferences>();
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
    SpacesConfiguration configuration { preferences, screens };

    void setMonitors(const QVariantList& monitors)
    {
        preferences->suite(u"com.apple.spaces"_s)
            ->setValue(u"SpacesDisplayConfiguration"_s,
                QVariantMap { { u"Management Data"_s, QVariantMap { { u"Monitors"_s, monitors } } } });
    }
    void twoMonitors()
    {
        screens->list = { FakeScreens::screen(1, kMainUUID, true), FakeScreens::screen(2, kSecondUUID, false) };
        QVariantMap collapsed = space(99, u"COLLAPSED"_s);
        collapsed.insert(u"AutoCreated"_s, true);
        QVariantMap first
            = monitor(u"Main"_s, { space(1, QString()), space(3, u"A3"_s), space(4, u"A4"_s) }, space(3, u"A3"_s));
        first.insert(u"Collapsed Space"_s, collapsed);
        setMonitors({ first, monitor(kSecondUUID, { space(5, u"B5"_s), space(6, u"B6"_s) }, space(6, u"B6"_s)) });
    }
};

QList<qint64> numbersOf(const QVariantMap& monitor)
{
    QList<qint64> numbers;
    for (const QVariant& s : monitor.value(u"spaces"_s).toList())
        numbers.append(s.toMap().value(u"space_number"_s).toLongLong());
    return numbers;
}

} // namespace

TEST_F(SpacesFixture, SpaceNumbersRunOnAcrossMonitorsAndMainResolvesToTheMainScreen)
{
    twoMonitors();
    const QVariantList monitors = configuration.nativeSpaceTree().value(u"monitors"_s).toList();
    ASSERT_EQ(monitors.size(), 2);
    const QVariantMap first = monitors[0].toMap(), second = monitors[1].toMap();
    EXPECT_EQ(numbersOf(first), (QList<qint64> { 1, 2, 3 }));
    EXPECT_EQ(numbersOf(second), (QList<qint64> { 4, 5 }));
    EXPECT_EQ(first.value(u"name"_s).toString(), u"Main"_s);
    EXPECT_EQ(first.value(u"uuid"_s).toString(), kMainUUID);
    EXPECT_EQ(first.value(u"display_number"_s).toLongLong(), 1);
    EXPECT_EQ(second.value(u"display_number"_s).toLongLong(), 2);
    const QVariantList firstSpaces = first.value(u"spaces"_s).toList();
    EXPECT_FALSE(firstSpaces[0].toMap().value(u"is_current"_s).toBool());
    EXPECT_TRUE(firstSpaces[1].toMap().value(u"is_current"_s).toBool());
    EXPECT_EQ(firstSpaces[1].toMap().value(u"managed_id"_s).toLongLong(), 3);
    // The flat list also carries the collapsed space, after its monitor's own.
    const auto spaces = configuration.missionControlSpaces();
    ASSERT_EQ(spaces.size(), 6);
    EXPECT_EQ(spaces[3], (MissionControlSpace { 99, u"COLLAPSED"_s, u"Main"_s, false, true, true }));
    EXPECT_EQ(spaces[4].displayIdentifier, kSecondUUID);
}

// A remembered monitor that is not connected has display number 0; a current space with an empty
// UUID is the first desktop.
TEST_F(SpacesFixture, DisconnectedMonitorAndCurrentSpaceWithoutUUID)
{
    screens->list = { FakeScreens::screen(1, kMainUUID, true) };
    setMonitors({ monitor(u"Main"_s, { space(1, QString()), space(2, u"X"_s) }, space(1, QString())),
        monitor(kSecondUUID, { space(5, u"B5"_s) }, space(5, u"B5"_s)) });
    const auto spaces = configuration.missionControlSpaces();
    ASSERT_EQ(spaces.size(), 3);
    EXPECT_TRUE(spaces[0].isCurrent);
    EXPECT_FALSE(spaces[1].isCurrent);
    const QVariantList tree = configuration.nativeSpaceTree().value(u"monitors"_s).toList();
    EXPECT_TRUE(dig(tree, { 0, "spaces", 0, "is_current" }).toBool());
    EXPECT_EQ(tree[1].toMap().value(u"display_number"_s).toLongLong(), 0);
}

TEST_F(SpacesFixture, MalformedPreferencesGiveNothingRatherThanACrash)
{
    const std::vector<std::pair<const char*, QVariant>> rows = {
        { "missing", QVariant() },
        { "not a dictionary", u"oops"_s },
        { "no management data", QVariantMap { { u"Other"_s, qint64(1) } } },
        { "monitors not a list",
            QVariantMap { { u"Management Data"_s, QVariantMap { { u"Monitors"_s, qint64(3) } } } } },
        { "monitor entries of the wrong type",
            QVariantMap {
                { u"Management Data"_s, QVariantMap { { u"Monitors"_s, QVariantList { qint64(1), u"x"_s } } } } } },
    };
    for (const auto& [name, document] : rows) {
        preferences->suite(u"com.apple.spaces"_s)->setValue(u"SpacesDisplayConfiguration"_s, document);
        EXPECT_TRUE(configuration.missionControlSpaces().isEmpty()) << name;
        EXPECT_TRUE(configuration.nativeSpaceTree().value(u"monitors"_s).toList().isEmpty()) << name;
    }
    // A monitor with spaces of the wrong type and no identifier is "Unknown" with no spaces.
    setMonitors({ QVariantMap { { u"Spaces"_s, QVariantList { u"x"_s } } } });
    EXPECT_TRUE(configuration.missionControlSpaces().isEmpty());
    EXPECT_EQ(dig(configuration.nativeSpaceTree(), { "monitors", 0, "name" }).toString(), u"Unknown"_s);
}

TEST_F(SpacesFixture, DisplaysListConnectedScreensThenRememberedOnes)
{
    screens->list = { FakeScreens::screen(1, kMainUUID, true, u"Built-in"_s) };
    const QVariantMap old { { u"ConfigVersion"_s, qint64(3) },
        { u"DisplayConfig"_s,
            QVariantList { QVariantMap { { u"UUID"_s, kSecondUUID },
                { u"CurrentInfo"_s, QVariantMap { { u"Wide"_s, qint64(1280) }, { u"High"_s, qint64(720) } } } } } } };
    const QVariantMap newer { { u"ConfigVersion"_s, qint64(9) },
        { u"DisplayConfig"_s,
            QVariantList { QVariantMap { { u"UUID"_s, kSecondUUID },
                               { u"CurrentInfo"_s,
                                   QVariantMap { { u"Wide"_s, qint64(2560) }, { u"High"_s, 1440.0 },
                                       { u"Scale"_s, qint64(2) }, { u"Hz"_s, qint64(60) } } } },
                QVariantMap { { u"UUID"_s, kMainUUID } } } } };
    preferences->domain(u"com.apple.windowserver.displays"_s, true)
        ->setValue(u"DisplaySets"_s,
            QVariantMap { { u"Configs"_s, QVariantList { old, newer } },
                { u"Underscan"_s, QVariantList { kMainUUID, QVariantMap { { u"UUID"_s, kSecondUUID } } } } });
    const auto displays = configuration.displays();
    ASSERT_EQ(displays.size(), 2);
    EXPECT_TRUE(displays[0].isConnected);
    EXPECT_EQ(displays[0].friendlyName(), u"Built-in (Main)"_s);
    EXPECT_FALSE(displays[1].isConnected);
    EXPECT_EQ(displays[1].configVersion, 9);
    EXPECT_EQ(displays[1].resolutionDescription(), u"2560x1440 @ 60Hz @ 2x"_s);

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
    preferences->suite(u"com.apple.spaces"_s)
        ->setValue(u"SpacesDisplayConfiguration"_s, document.value(u"SpacesDisplayConfiguration"_s));
    preferences->domain(u"com.apple.windowserver.displays"_s, true)
        ->setValue(u"DisplaySets"_s, first.windowServerDisplaysDocument().value(u"DisplaySets"_s));
    const auto spaces = configuration.missionControlSpaces();
    ASSERT_EQ(spaces.size(), 2);
    EXPECT_EQ(spaces[0].displayIdentifier, u"Main"_s);
    EXPECT_TRUE(spaces[0].isCurrent && spaces[1].isCurrent);
    EXPECT_NE(spaces[0].uuid, spaces[1].uuid);
    EXPECT_EQ(dig(configuration.nativeSpaceTree(), { "monitors", 1, "display_number" }).toLongLong(), 2);
    EXPECT_EQ(configuration.displays().size(), 2);

    quorvel::platform::SynthesizedSpaces again(screens, dir.path());
    EXPECT_EQ(again.spacesDocument(), document);
}
