#pragma once
// A dbus-daemon of the test's own, and on it stand-ins for the system services the saver asks:
// NetworkManager's "Metered" and UPower's "OnBattery", with their PropertiesChanged signals.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

namespace quorvel::testing {

class PrivateBus {
public:
    PrivateBus()
    {
        const QString config = dir_.filePath("bus.conf");
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write("<busconfig><type>session</type><listen>unix:dir=" + dir_.path().toUtf8()
            + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
              "eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        file.close();
        daemon_.start("/usr/bin/dbus-daemon", { "--nofork", "--print-address=1", "--config-file=" + config });
        if (daemon_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        EXPECT_FALSE(address_.isEmpty()) << "dbus-daemon did not start";
    }
    ~PrivateBus()
    {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QString address() const { return address_; }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

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
