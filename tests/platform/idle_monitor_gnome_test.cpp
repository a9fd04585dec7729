#include "platform/linux/idle_monitors.h"
#include "support/private_bus.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QTest>

#include <map>

namespace {

using namespace quorvel::platform;
using quorvel::testing::PrivateBus;
using namespace std::chrono_literals;

// GNOME's idle monitor as the test drives it: the idle time moves only when told.
class FakeMutterIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    quint64 idletime = 0;
    std::map<uint, quint64> idleWatches; // id -> interval
    std::vector<uint> activeWatches;

    // The session has been idle for `ms`: every idle watch that this crosses fires.
    void idleFor(quint64 ms)
    {
        const quint64 before = idletime;
        idletime = ms;
        for (const auto& [id, interval] : idleWatches)
            if (before < interval && interval <= ms)
                emit WatchFired(id);
    }
    void input()
    {
        idletime = 0;
        const std::vector<uint> fired = std::exchange(activeWatches, {});
        for (uint id : fired)
            emit WatchFired(id);
    }

public slots:
    quint64 GetIdletime() { return idletime; }
    uint AddIdleWatch(quint64 interval)
    {
        idleWatches[++lastId_] = interval;
        return lastId_;
    }
    uint AddUserActiveWatch()
    {
        activeWatches.push_back(++lastId_);
        return lastId_;
    }
    void RemoveWatch(uint id) { idleWatches.erase(id); }

signals:
    void WatchFired(uint id);

private:
    uint lastId_ = 0;
};

class FakeSessionManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")
public:
    uint inhibitedFlags = 0;

public slots:
    bool IsInhibited(uint flags) { return (inhibitedFlags & flags) != 0; }

signals:
    void InhibitorAdded(const QDBusObjectPath& id);
    void InhibitorRemoved(const QDBusObjectPath& id);
};

// A session bus of the test's own, with the two services on it.
class PrivateGnomeSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        qRegisterMetaType<QDBusObjectPath>();
        const QString address = bus_.address();
        ASSERT_FALSE(address.isEmpty());
        serviceBus_ = QDBusConnection::connectToBus(address, "quorvel-test-gnome-service");
        ASSERT_TRUE(serviceBus_.isConnected());
        ASSERT_TRUE(serviceBus_.registerObject("/org/gnome/Mutter/IdleMonitor/Core", &mutter,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(serviceBus_.registerService("org.gnome.Mutter.IdleMonitor"));
        ASSERT_TRUE(serviceBus_.registerObject("/org/gnome/SessionManager", &session,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(serviceBus_.registerService("org.gnome.SessionManager"));
        monitorBus_ = QDBusConnection::connectToBus(address, "quorvel-test-gnome-monitor");
        ASSERT_TRUE(monitorBus_.isConnected());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus("quorvel-test-gnome-monitor");
        QDBusConnection::disconnectFromBus("quorvel-test-gnome-service");
    }

    // The monitor's calls travel through the bus daemon: let them arrive and come back.
    static void settle() { QTest::qWait(100); }

    FakeMutterIdleMonitor mutter;
    FakeSessionManager session;
    QDBusConnection monitorBus_ { QString() };

private:
    PrivateBus bus_;
    QDBusConnection serviceBus_ { QString() };
};

TEST_F(PrivateGnomeSession, AFiredWatchIsIdleUnlessInhibitedUntilTheInhibitorGoes)
{
    auto monitor = makeGnomeIdleMonitor(monitorBus_);
    QSignalSpy idle(monitor.get(), &IdleMonitor::becameIdle);
    QSignalSpy active(monitor.get(), &IdleMonitor::becameActive);
    monitor->watch(300ms);
    settle();
    ASSERT_EQ(mutter.idleWatches.size(), 1u);
    EXPECT_EQ(mutter.idleWatches.begin()->second, 300u);

    mutter.idleFor(300);
    ASSERT_TRUE(idle.wait(2000));
    mutter.idleFor(5000);
    settle();
    EXPECT_EQ(idle.count(), 1);
    mutter.input();
    ASSERT_TRUE(active.wait(2000));

    // A player inhibits idleness: the watch fires, but the session is not idle.
    session.inhibitedFlags = 8 | 4;
    mutter.idleFor(300);
    settle();
    EXPECT_EQ(idle.count(), 1);
    // Another inhibitor goes while the player's stays.
    emit session.InhibitorRemoved(QDBusObjectPath("/org/gnome/SessionManager/Inhibitor7"));
    settle();
    EXPECT_EQ(idle.count(), 1);
    session.inhibitedFlags = 0;
    emit session.InhibitorRemoved(QDBusObjectPath("/org/gnome/SessionManager/Inhibitor3"));
    ASSERT_TRUE(idle.wait(2000));
    EXPECT_EQ(idle.count(), 2);

    // An inhibitor that goes after the input that ended the spell makes nothing idle.
    mutter.input();
    ASSERT_TRUE(active.wait(2000));
    emit session.InhibitorRemoved(QDBusObjectPath("/org/gnome/SessionManager/Inhibitor3"));
    settle();
    EXPECT_EQ(idle.count(), 2);
    EXPECT_EQ(active.count(), 2);
}

TEST_F(PrivateGnomeSession, ARearmedThresholdReplacesTheWatchAndAppliesToTheSpellInProgress)
{
    auto monitor = makeGnomeIdleMonitor(monitorBus_);
    QSignalSpy idle(monitor.get(), &IdleMonitor::becameIdle);
    monitor->watch(10s);
    settle();
    mutter.idletime = 4000;
    monitor->watch(3s);
    ASSERT_TRUE(idle.wait(2000));
    ASSERT_EQ(mutter.idleWatches.size(), 1u);
    EXPECT_EQ(mutter.idleWatches.begin()->second, 3000u);

    mutter.input();
    monitor->watch(0ms);
    settle();
    EXPECT_TRUE(mutter.idleWatches.empty());
    mutter.idleFor(60000);
    settle();
    EXPECT_EQ(idle.count(), 1);
}

TEST_F(PrivateGnomeSession, TheSessionMonitorIsGnomesWhereItsIdleMonitorIsOnTheBus)
{
    const SessionFacts gnome { "ubuntu:GNOME", true, QString() };
    EXPECT_EQ(makeIdleMonitorFor(gnome, monitorBus_)->mechanism(), "GNOME's idle monitor and session inhibitors");
    const SessionFacts kde { "KDE", true, QString() };
    auto elsewhere = makeIdleMonitorFor(kde, monitorBus_);
    EXPECT_EQ(elsewhere->unavailableReason(), idle_reason::kNoDesktopSupport);
}

} // namespace

#include "idle_monitor_gnome_test.moc"
