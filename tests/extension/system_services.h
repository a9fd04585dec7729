#pragma once
// Stand-ins for the system services the saver asks, for a bus of the test's own
// (support/private_bus.h): NetworkManager's "Metered" and UPower's "OnBattery", with their
// PropertiesChanged signals.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QUuid>

#include <gtest/gtest.h>

namespace quorvel::testing {

class FakeNetworkManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint Metered READ metered)
public:
    uint metered() const { return value; }
    uint value = 4; // guessed no
};

class FakeUPower : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower")
    Q_PROPERTY(bool OnBattery READ onBattery)
public:
    bool onBattery() const { return value; }
    bool value = false;
};

// Both services on a connection of their own to `address`.
class SystemServices {
public:
    explicit SystemServices(const QString& address)
        : bus_(QDBusConnection::connectToBus(address, "services-" + QUuid::createUuid().toString()))
    {
        EXPECT_TRUE(bus_.registerService("org.freedesktop.NetworkManager"));
        EXPECT_TRUE(bus_.registerService("org.freedesktop.UPower"));
        bus_.registerObject("/org/freedesktop/NetworkManager", &networkManager, QDBusConnection::ExportAllProperties);
        bus_.registerObject("/org/freedesktop/UPower", &upower, QDBusConnection::ExportAllProperties);
    }
    ~SystemServices() { QDBusConnection::disconnectFromBus(bus_.name()); }

    void setMetered(uint value)
    {
        networkManager.value = value;
        announce("/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager", "Metered", value);
    }
    void setOnBattery(bool value)
    {
        upower.value = value;
        announce("/org/freedesktop/UPower", "org.freedesktop.UPower", "OnBattery", value);
    }

    FakeNetworkManager networkManager;
    FakeUPower upower;

private:
    void announce(const QString& path, const QString& interface, const QString& name, const QVariant& value)
    {
        QDBusMessage changed = QDBusMessage::createSignal(path, "org.freedesktop.DBus.Properties", "PropertiesChanged");
        changed << interface << QVariantMap { { name, value } } << QStringList {};
        bus_.send(changed);
    }

    QDBusConnection bus_;
};

} // namespace quorvel::testing
