#pragma once
// Who this machine and user are, the same answer in both deliverables.

#include <QString>

#include <optional>

namespace quorvel::platform {

class MachineIdentity {
public:
    virtual ~MachineIdentity() = default;
    // Stable upper-case UUID identifying this machine to the service; "unknown" when it cannot be read.
    virtual QString machineIdentifier() const = 0;
    // Hardware address of an interface in text form ("aa:bb:cc:dd:ee:ff"); "en0" names the first
    // non-loopback interface that has one. None when there is no such interface.
    virtual std::optional<QString> hardwareAddress(const QString& interfaceName) const = 0;
    // The login name of the current user.
    virtual QString shortUserName() const = 0;
};

// Derives an app-specific id from /etc/machine-id (HMAC-SHA-256 keyed by the machine id over a fixed
// application UUID, as systemd derives app-specific ids), so the raw machine id never leaves the machine.
class LinuxMachineIdentity final : public MachineIdentity {
public:
    explicit LinuxMachineIdentity(QString machineIdPath = QStringLiteral("/etc/machine-id"));
    QString machineIdentifier() const override;
    std::optional<QString> hardwareAddress(const QString& interfaceName) const override;
    QString shortUserName() const override;

private:
    QString machineIdPath_;
};

} // namespace quorvel::platform
