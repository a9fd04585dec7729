// The desktop's settings read from a settings portal of the test's own, on a private bus.
#include "platform/desktop_appearance.h"
#include "support/environment_guard.h"
#include "support/private_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace quorvel::testing {
namespace {

const QString kInterfaceGroup = QStringLiteral("org.gnome.desktop.interface");
const QString kAnimations = QStringLiteral("enable-animations");

// Answers Read for the animations key (in two variants, as older portals do) and holds its
// answers back on request, so a test can tell whether anyone waited for them.
class FakeSettingsPortal final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    explicit FakeSettingsPortal(QDBusConnection bus)
        : bus_(std::move(bus))
    {
    }

    void announce(const QString& group, const QString& key, const QVariant& value)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        bus_.send(signal);
    }
    void releaseAnswers()
    {
        for (const QDBusMessage& answer : std::as_const(held))
            bus_.send(answer);
        held.clear();
    }

    std::optional<bool> animations;
    QList<QDBusMessage> held;

public slots:
    QDBusVariant Read(const QString& group, const QString& key, const QDBusMessage& message)
    {
        message.setDelayedReply(true);
        if (group != kInterfaceGroup || key != kAnimations || !animations) {
            bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                QStringLiteral("Requested setting not found")));
            return {};
        }
        const QDBusVariant inner { QVariant(*animations) };
        held << message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(inner))));
        return {};
    }

private:
    QDBusConnection bus_;
};

class DesktopAppearanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        address = privateBus.address();
        ASSERT_FALSE(address.isEmpty());
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("fake-portal"));
        ASSERT_TRUE(bus.isConnected());
        portal = std::make_unique<FakeSettingsPortal>(bus);
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        ASSERT_TRUE(bus.registerObject(
            QStringLiteral("/org/freedesktop/portal/desktop"), portal.get(), QDBusConnection::ExportAllSlots));
        // The colour scheme is awaited at creation; fixed here, only reduced motion goes to the portal.
        qputenv("QUORVEL_COLOR_SCHEME", "dark");
        qunsetenv("QUORVEL_REDUCE_MOTION");
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal")); }

    EnvironmentGuard scheme { "QUORVEL_COLOR_SCHEME" };
    EnvironmentGuard motion { "QUORVEL_REDUCE_MOTION" };
    PrivateBus privateBus;
    QString address;
    std::unique_ptr<FakeSettingsPortal> portal;
};

TEST_F(DesktopAppearanceTest, ReducedMotionArrivesWithoutWaitingAndFollowsTheDesktop)
{
    portal->animations = false;
    platform::PortalDesktopAppearance appearance(nullptr, address);
    QSignalSpy changes(&appearance, &platform::PortalDesktopAppearance::reduceMotionChanged);
    // Made while the portal has not answered yet: nothing waited for it.
    EXPECT_FALSE(appearance.reduceMotion());
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->held.size() == 1; }, 5000));
    EXPECT_FALSE(appearance.reduceMotion());
    portal->releaseAnswers();
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 1; }, 5000));
    EXPECT_TRUE(appearance.reduceMotion());

    // Changes while running; other keys and values of another type are not this setting.
    portal->announce(kInterfaceGroup, QStringLiteral("cursor-size"), 24);
    portal->announce(QStringLiteral("org.gnome.desktop.a11y"), kAnimations, true);
    portal->announce(kInterfaceGroup, kAnimations, QStringLiteral("true"));
    portal->announce(kInterfaceGroup, kAnimations, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 2; }, 5000));
    EXPECT_FALSE(appearance.reduceMotion());
    EXPECT_EQ(changes[1].at(0).toBool(), false);
    portal->announce(kInterfaceGroup, kAnimations, true);
    portal->announce(kInterfaceGroup, kAnimations, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 3; }, 5000));
    EXPECT_TRUE(appearance.reduceMotion());
    QTest::qWait(20);
    EXPECT_EQ(changes.size(), 3) << "an unchanged value was announced again";
}

TEST_F(DesktopAppearanceTest, APortalWithoutTheSettingOrAnOverrideLeavesItAlone)
{
    portal->animations.reset();
    platform::PortalDesktopAppearance unknown(nullptr, address);
    QSignalSpy changes(&unknown, &platform::PortalDesktopAppearance::reduceMotionChanged);
    QTest::qWait(50);
    EXPECT_FALSE(unknown.reduceMotion());
    EXPECT_TRUE(changes.isEmpty());

    // The override wins over the portal and its changes.
    qputenv("QUORVEL_REDUCE_MOTION", "1");
    portal->animations = true;
    platform::PortalDesktopAppearance forced(nullptr, address);
    QSignalSpy forcedChanges(&forced, &platform::PortalDesktopAppearance::reduceMotionChanged);
    portal->announce(kInterfaceGroup, kAnimations, true);
    QTest::qWait(50);
    EXPECT_TRUE(forced.reduceMotion());
    EXPECT_TRUE(forcedChanges.isEmpty());
    EXPECT_TRUE(portal->held.isEmpty()) << "the portal was asked anyway";
}

} // namespace
} // namespace quorvel::testing

#include "desktop_appearance_test.moc"
