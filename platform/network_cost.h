#pragma once
// Whether the connection is metered: a screensaver must not spend someone's data plan on clips.

#include <QObject>
#include <QString>

#include <memory>

namespace quorvel::platform {

class NetworkCost : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isMetered() const = 0;

signals:
    void meteredChanged(bool metered);
};

// NetworkManager's word on the connection (metered: yes or guessed yes) over D-Bus: the system bus,
// or the bus at `busAddress` when one is given. Unmetered until it answers, and while nobody does.
std::unique_ptr<NetworkCost> makeNetworkCost(const QString& busAddress = {}, QObject* parent = nullptr);

} // namespace quorvel::platform
