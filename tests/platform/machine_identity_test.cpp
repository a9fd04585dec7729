#include "platform/machine_identity.h"
#include "platform/machine_identity_parts.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using quorvel::platform::LinuxMachineIdentity;
using quorvel::platform::detail::appSpecificMachineId;
using quorvel::platform::detail::InterfaceEntry;
using quorvel::platform::detail::pickHardwareAddress;

// Reference value computed independently (HMAC-SHA-256 keyed by the machine id over our application id,
// shaped as systemd shapes app-specific ids); a change here changes every user's identity at the service.
const QString kDerived = QStringLiteral("93C9051B-65CF-49BB-A175-14D57F1FD4FD");

TEST(MachineIdentity, DerivesTheAppSpecificIdAndRefusesWhatIsNotAMachineId)
{
    EXPECT_EQ(appSpecificMachineId("0123456789abcdef0123456789abcdef\n"), kDerived);
    EXPECT_EQ(appSpecificMachineId("0123456789ABCDEF0123456789ABCDEF"), kDerived); // upper-case hex, same id
    const struct {
        const char* name;
        QByteArray contents;
    } rows[] = {
        { "empty", "" },
        { "one digit short", "0123456789abcdef0123456789abcde\n" },
        { "one digit long", "0123456789abcdef0123456789abcdef0\n" },
        { "not hex", "0123456789abcdef0123456789abcdeg\n" },
        { "a uuid with dashes", "01234567-89ab-cdef-0123-456789abcdef" },
        { "all zero, shared by unprovisioned images", "00000000000000000000000000000000\n" },
    };
    for (const auto& row : rows)
        EXPECT_FALSE(appSpecificMachineId(row.contents).has_value()) << row.name;
}

TEST(MachineIdentity, ReadsTheInjectedFileAndFallsBackToUnknown)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("machine-id"));
    const LinuxMachineIdentity identity(path);
    EXPECT_EQ(identity.machineIdentifier(), "unknown"); // missing

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789abcdef0123456789abcdef\n");
    file.close();
    EXPECT_EQ(identity.machineIdentifier(), kDerived);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.close();
    EXPECT_EQ(identity.machineIdentifier(), "unknown"); // empty
    EXPECT_FALSE(identity.shortUserName().isEmpty());
}

TEST(MachineIdentity, PicksHardwareAddresses)
{
    const QList<InterfaceEntry> interfaces
        = { { "lo", true, "00:00:00:00:00:00" }, { "tun0", false, "" }, { "dummy0", false, "00:00:00:00:00:00" },
              { "eth0", false, "AA:BB:CC:DD:EE:01" }, { "wlan0", false, "AA:BB:CC:DD:EE:02" } };
    EXPECT_EQ(pickHardwareAddress(interfaces, "en0"), QStringLiteral("aa:bb:cc:dd:ee:01"));
    EXPECT_EQ(pickHardwareAddress(interfaces, "wlan0"), QStringLiteral("aa:bb:cc:dd:ee:02"));
    EXPECT_FALSE(pickHardwareAddress(interfaces, "tun0").has_value());
    EXPECT_FALSE(pickHardwareAddress(interfaces, "eth9").has_value());
    // A machine with only loopback and address-less interfaces has no "en0".
    EXPECT_FALSE(pickHardwareAddress(interfaces.mid(0, 3), "en0").has_value());
}

} // namespace
