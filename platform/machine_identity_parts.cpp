#include "platform/machine_identity_parts.h"

#include <QMessageAuthenticationCode>
#include <QUuid>

#include <cctype>

namespace quorvel::platform::detail {

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

} // namespace quorvel::platform::detail
