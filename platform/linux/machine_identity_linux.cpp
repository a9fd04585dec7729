#include "platform/machine_identity.h"
#include "platform/machine_identity_parts.h"

#include <QFile>
#include <QNetworkInterface>

#include <pwd.h>
#include <unistd.h>

namespace quorvel::platform {

LinuxMachineIdentity::LinuxMachineIdentity(QString machineIdPath)
    : machineIdPath_(std::move(machineIdPath))
{
}

QString LinuxMachineIdentity::machineIdentifier() const
{
    QFile file(machineIdPath_);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    // A machine-id file is 33 bytes; refuse to slurp anything much larger.
    return detail::appSpecificMachineId(file.read(64)).value_or(QStringLiteral("unknown"));
}

std::optional<QString> LinuxMachineIdentity::hardwareAddress(const QString& interfaceName) const
{
    QList<detail::InterfaceEntry> entries;
    for (const auto& interface : QNetworkInterface::allInterfaces())
        entries.append({ interface.name(),
            interface.type() == QNetworkInterface::Loopback
                || interface.flags().testFlag(QNetworkInterface::IsLoopBack),
            interface.hardwareAddress() });
    return detail::pickHardwareAddress(entries, interfaceName);
}

QString LinuxMachineIdentity::shortUserName() const
{
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

} // namespace quorvel::platform
