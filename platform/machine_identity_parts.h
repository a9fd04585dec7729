#pragma once
// The pure pieces of the machine identity, kept apart from the OS reads so they can be tested.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quorvel::platform::detail {

// The application id our machine identifiers are derived for. Changing it changes every
// machine's identifier, so the service would see every Mac as new.
inline constexpr const char* kApplicationId = "6f0b7c3e-52d4-4a8e-9c1b-3e7a9d2f4b60";

// The app-specific identifier for the contents of a machine-id file (32 hex digits, optional
// trailing newline), or none when the contents are not a usable machine id.
std::optional<QString> appSpecificMachineId(const QByteArray& machineIdFileContents);

struct InterfaceEntry {
    QString name;
    bool isLoopback = false;
    QString hardwareAddress; // as Qt reports it, "AA:BB:CC:DD:EE:FF"; empty when none
};

// "en0" names the first non-loopback interface with a real hardware address; any other name
// must match an interface's name. The address comes back in lower case.
std::optional<QString> pickHardwareAddress(const QList<InterfaceEntry>& interfaces, const QString& name);

} // namespace quorvel::platform::detail
