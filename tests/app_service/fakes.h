#pragma once
// Small doubles for the platform facts the service client reads.

#include "platform/machine_identity.h"
#include "platform/operating_system.h"

namespace quorvel::testing {

class FakeMachineIdentity final : public platform::MachineIdentity {
public:
    QString machineIdentifier() const override { return identifier; }
    std::optional<QString> hardwareAddress(const QString& interfaceName) const override
    {
        return interfaceName == QStringLiteral("en0") ? en0 : std::nullopt;
    }
    QString shortUserName() const override { return QStringLiteral("tester"); }

    QString identifier = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    std::optional<QString> en0 = QStringLiteral("AA:BB:CC:DD:EE:FF");
};

class FakeOperatingSystem final : public platform::OperatingSystem {
public:
    platform::OperatingSystemVersion version() const override { return { 14, 0, 0 }; }
    bool reduceMotion() const override { return false; }
    std::optional<platform::BundleInfo> mainBundle() const override
    {
        platform::BundleInfo info;
        info.identifier = QStringLiteral("com.quorvel.Quorvel");
        info.version = buildVersion;
        return info;
    }
    std::optional<platform::BundleInfo> bundle(const QString&) const override { return std::nullopt; }

    std::optional<QString> buildVersion = QStringLiteral("42");
};

} // namespace quorvel::testing
