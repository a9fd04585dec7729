#include "platform/linux/dbus_property_watch.h"
#include "platform/network_cost.h"

namespace quorvel::platform {
namespace {

// NetworkManager's NMMetered: 1 yes, 3 guessed yes; 0 unknown, 2 no, 4 guessed no.
bool meteredValue(const QVariant& value)
{
    bool ok = false;
    const uint metered = value.toUInt(&ok);
    return ok && (metered == 1 || metered == 3);
}

class NetworkManagerCost final : public NetworkCost {
public:
    NetworkManagerCost(const QString& busAddress, QObject* parent)
        : NetworkCost(parent)
        , watch_(busAddress,
              { QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/freedesktop/NetworkManager"),
                  QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("Metered") },
              [this](const QVariant& value) { update(meteredValue(value)); })
    {
    }
    bool isMetered() const override { return metered_; }

private:
    void update(bool metered)
    {
        if (metered == metered_)
            return;
        metered_ = metered;
        emit meteredChanged(metered);
    }

    bool metered_ = false;
    DBusPropertyWatch watch_;
};

} // namespace

std::unique_ptr<NetworkCost> makeNetworkCost(const QString& busAddress, QObject* parent)
{
    return std::make_unique<NetworkManagerCost>(busAddress, parent);
}

} // namespace quorvel::platform
