#include "platform/linux/dbus_property_watch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QUuid>

namespace quorvel::platform {
namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusConnection openBus(const QString& address)
{
    if (address.isEmpty())
        return QDBusConnection::systemBus();
    // A connection of its own, so that closing it touches nobody else's.
    return QDBusConnection::connectToBus(address, QStringLiteral("quorvel-") + QUuid::createUuid().toString());
}

} // namespace

DBusPropertyWatch::DBusPropertyWatch(
    const QString& busAddress, DBusProperty property, std::function<void(const QVariant&)> onValue, QObject* parent)
    : QObject(parent)
    , bus_(openBus(busAddress))
    , ownsConnection_(!busAddress.isEmpty())
    , property_(std::move(property))
    , onValue_(std::move(onValue))
{
    if (!bus_.isConnected())
        return;
    bus_.connect(property_.service, property_.path, kProperties, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    auto* watcher = new QDBusServiceWatcher(property_.service, bus_,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &DBusPropertyWatch::fetch);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { onValue_(QVariant()); });
    fetch();
}

DBusPropertyWatch::~DBusPropertyWatch()
{
    if (ownsConnection_)
        QDBusConnection::disconnectFromBus(bus_.name());
}

void DBusPropertyWatch::fetch()
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(property_.service, property_.path, kProperties, QStringLiteral("Get"));
    get << property_.interface << property_.name;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        onValue_(reply.isError() ? QVariant() : reply.value().variant());
    });
}

void DBusPropertyWatch::propertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList& invalidated)
{
    if (interface != property_.interface)
        return;
    if (const auto value = changed.find(property_.name); value != changed.end())
        onValue_(*value);
    else if (invalidated.contains(property_.name))
        fetch();
}

} // namespace quorvel::platform
