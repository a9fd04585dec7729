#pragma once
// Follows one property of a D-Bus service: its value at the start, every PropertiesChanged, and the
// service coming and going. All calls are asynchronous: a slow or absent bus never blocks the caller.

#include <QDBusConnection>
#include <QObject>
#include <QVariant>

#include <functional>

namespace quorvel::platform {

struct DBusProperty {
    QString service;
    QString path;
    QString interface;
    QString name;
};

class DBusPropertyWatch : public QObject {
    Q_OBJECT
public:
    // `busAddress` empty means the system bus. `onValue` gets each value the property takes, and an
    // invalid value when the service leaves the bus or cannot tell.
    DBusPropertyWatch(const QString& busAddress, DBusProperty property, std::function<void(const QVariant&)> onValue,
        QObject* parent = nullptr);
    ~DBusPropertyWatch() override;

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void fetch();

    QDBusConnection bus_;
    // A connection of this watch's own (not the shared system bus), closed with it.
    bool ownsConnection_ = false;
    DBusProperty property_;
    std::function<void(const QVariant&)> onValue_;
};

} // namespace quorvel::platform
