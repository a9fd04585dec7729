#include "platform/linux/machine_identity_parts.h"
#include "platform/machine_identity.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QNetworkInterface>
#include <QUuid>

#include <cctype>

#include <pwd.h>
#include <unistd.h>

namespace quorvel::platform {

namespace detail {

std::optional<QString> appSpecificMachineId(const QByteArray& machineIdFileContents)
{
    const QByteArray hex = machineIdFileContents.trimmed();
    if (hex.size() != 32)
        return std::nullopt;
    for (const char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    const QByteArray machineId = QByteArray::fromHex(hex);
    // An all-zero id is what an unprovisioned image carries; every such machine would share it.
    if (machineId.count('\0') == machineId.size())
        return std::nullopt;

    const QByteArray applicationId = QUuid::fromString(QLatin1String(kApplicationId)).toRfc4122();
    QByteArray digest = QMessageAuthenticationCode::hash(applicationId, machineId, QCryptographicHash::Sha256).left(16);
    // Same shaping as systemd's app-specific ids: a random-kind (version 4) RFC 4122 UUID.
    digest[6] = static_cast<char>((digest[6] & 0x0F) | 0x40);
    digest[8] = static_cast<char>((digest[8] & 0x3F) | 0x80);
    return QUuid::fromRfc4122(digest).toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QString> pickHardwareAddress(const QList<InterfaceEntry>& interfaces, const QString& name)
{
    const bool firstUsable = name == QLatin1String("en0");
    for (const auto& entry : interfaces) {
        if (firstUsable) {
            const bool allZero
                = entry.hardwareAddress.count(QLatin1Char('0')) + entry.hardwareAddress.count(QLatin1Char(':'))
                == entry.hardwareAddress.size();
            if (entry.isLoopback || entry.hardwareAddress.isEmpty() || allZero)
                continue;
        } else if (entry.name != name || entry.hardwareAddress.isEmpty()) {
            continue;
        }
        return entry.hardwareAddress.toLower();
    }
    return std::nullopt;
}

} // namespace detail

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
