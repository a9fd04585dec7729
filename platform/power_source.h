#pragma once
// Whether the machine runs on its battery: a screensaver then spends no power on downloads.

#include <QObject>
#include <QString>

#include <memory>

namespace quorvel::platform {

class PowerSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isOnBattery() const = 0;

signals:
    void onBatteryChanged(bool onBattery);
};

// UPower's word on the power source over D-Bus: the system bus, or the bus at `busAddress` when one
// is given. On mains until it answers, and while nobody does.
std::unique_ptr<PowerSource> makePowerSource(const QString& busAddress = {}, QObject* parent = nullptr);

} // namespace quorvel::platform
