#include "platform/linux/dbus_property_watch.h"
#include "platform/power_source.h"

namespace quorvel::platform {
namespace {

class UPowerSource final : public PowerSource {
public:
    UPowerSource(const QString& busAddress, QObject* parent)
        : PowerSource(parent)
        , watch_(busAddress,
              { QStringLiteral("org.freedesktop.UPower"), QStringLiteral("/org/freedesktop/UPower"),
                  QStringLiteral("org.freedesktop.UPower"), QStringLiteral("OnBattery") },
              [this](const QVariant& value) { update(value.typeId() == QMetaType::Bool && value.toBool()); })
    {
    }
    bool isOnBattery() const override { return onBattery_; }

private:
    void update(bool onBattery)
    {
        if (onBattery == onBattery_)
            return;
        onBattery_ = onBattery;
        emit onBatteryChanged(onBattery);
    }

    bool onBattery_ = false;
    DBusPropertyWatch watch_;
};

} // namespace

std::unique_ptr<PowerSource> makePowerSource(const QString& busAddress, QObject* parent)
{
    return std::make_unique<UPowerSource>(busAddress, parent);
}

} // namespace quorvel::platform
